// The shared form pattern: entry, delete request, event loop, guarded save, leaving.
#include "procedures/record_form.h"

#include <cstring>

#include "messages/standard_warnings.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "files/change_guard.h"
#include "files/open_record_file.h"
#include "procedures/procedure.h"

namespace procedures {

using rt::EventKind;

RecordForm::RecordForm(Program& program, const rt::WindowDef& definition, RecordOps ops, int first_field,
                       int ok, int cancel)
    : program_(program), runtime_(program.runtime), first_field_(first_field), definition_(definition),
      ops_(ops), ok_(ok), cancel_(cancel) {}

std::int32_t RecordForm::Warn(std::int32_t id, const char* first) {
  messages::WarningContext context = program_.files.Warnings(runtime_);
  return first ? messages::ShowStandardWarning(context, id, first) : messages::ShowStandardWarning(context, id);
}

void RecordForm::RefreshWindow(rt::Window& window) {
  if (!window.InAcceptAll()) window.Display();
}

void RecordForm::Run() {
  Request = EntryRequest = TakeRequest(program_);
  Response = RequestCancelled;
  Prepare();
  DiscardRightClick(runtime_);
  files::RaiseUseCount(runtime_, program_.files, ops_.file);
  const auto* bytes = static_cast<const unsigned char*>(ops_.buffer);
  saved_.assign(bytes, bytes + ops_.size);
  if (Request == DeleteRecord) {
    Delete();  // never shows the form
  } else {
    rt::Window window(runtime_, definition_);
    Opened(window);
    while (window.Accept()) {
      if (!TakeWindowEvent(window)) TakeControlEvent(window);
    }
  }
  files::LowerUseCount(program_.files, ops_.file);
  GiveResponse(program_, Response);
}

void RecordForm::Delete() {
  if (Warn(messages::WarnConfirmDelete) != rt::ButtonOk) return;
  for (;;) {
    Response = RequestCancelled;
    runtime_.SetBusyCursor(true);
    std::int32_t result = ops_.remove(runtime_, program_.files);
    runtime_.SetBusyCursor(false);
    if (result == files::kDeleted) {
      Response = RequestCompleted;
      return;
    }
    // Yes tries again without asking for the confirmation once more.
    if (Warn(messages::WarnRetryDelete) != rt::ButtonYes) return;
  }
}

bool RecordForm::TakeWindowEvent(rt::Window& window) {
  switch (window.Kind()) {
    case EventKind::Rejected:
      OnRejected(window);
      return false;
    case EventKind::OpenWindow:
      if (!window_initialised_) {
        RefreshWindow(window);
        window_initialised_ = true;
      }
      window.Select(first_field_);
      return false;
    case EventKind::GainFocus:
      RefreshWindow(window);
      window_initialised_ = true;
      return false;
    case EventKind::Completed:
      if (Request == InsertRecord) return Insert(window);
      if (Request == ChangeRecord) SaveChange(window);
      return false;
    default:
      return false;
  }
}

void RecordForm::TakeControlEvent(rt::Window& window) {
  if (window.Kind() == EventKind::Accepted && window.Field() == ok_) {
    if (!CheckBeforeSave(window)) return;
    // Each entry is accepted in turn before the record is saved; the pass ends in Completed.
    if (EntryRequest == InsertRecord || EntryRequest == ChangeRecord) window.AcceptAll();
    else window.Post(EventKind::Completed);
  } else if (window.Kind() == EventKind::Accepted && window.Field() == cancel_) {
    Response = RequestCancelled;
    window.Post(EventKind::CloseWindow);
  } else {
    ControlEvent(window);
  }
}

void RecordForm::SaveChange(rt::Window& window) {
  for (;;) {
    Response = RequestCancelled;
    runtime_.SetBusyCursor(true);
    const bool differs = std::memcmp(ops_.buffer, saved_.data(), ops_.size) != 0;
    std::int32_t result = differs ? ops_.change(runtime_, program_.files) : files::kChanged;
    runtime_.SetBusyCursor(false);
    switch (result) {
      case files::kChanged:
        // An unchanged record confirmed with OK counts as completed too: the caller rebuilds its
        // page around it as after any change.
        Response = RequestCompleted;
        window.Post(EventKind::CloseWindow);
        return;
      case files::kChangedElsewhere:
        ChangedElsewhere();
        window.Display();
        window.Select(first_field_);
        return;
      case files::kRecordGone:
        // Deleted by another station, which the warning has said: nothing is left to save.
        window.Post(EventKind::CloseWindow);
        return;
      default:
        switch (Warn(messages::WarnRetryChange)) {
          case rt::ButtonYes: continue;
          case rt::ButtonNo: window.Post(EventKind::CloseWindow); return;
          default:
            window.Display();
            window.Select(first_field_);
            return;
        }
    }
  }
}

}  // namespace procedures
