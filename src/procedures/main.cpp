// Main and its event loop over MAIN$WINDOW: each event is handled first by its kind, then by the
// control it concerns.
#include "procedures/main.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "browse/page_browse.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/program.h"
#include "files/open_record_file.h"
#include "procedures/activity_log.h"
#include "procedures/application_form.h"
#include "procedures/application_list.h"
#include "procedures/ide_choice.h"
#include "procedures/kept_settings.h"
#include "procedures/main_def.h"
#include "procedures/main_ide.h"
#include "procedures/procedure.h"
#include "store/last_results.h"

namespace procedures {
namespace {

using rt::EventKind;
namespace f = main_field;
constexpr int kLookForChanges = 100;  // hundredths of a second
// The batch choices as kept, after the window's name.
constexpr const char* kChoiceOnlyChanged = "OnlyChanged";
constexpr const char* kChoiceStopOnFailure = "StopOnFailure";

class MainProcedure {
 public:
  explicit MainProcedure(Program& program)
      : program_(program), runtime_(program.runtime), list_(program, UpdateApps) {}

  void Run() {
    const std::int32_t entry_request = TakeRequest(program_);
    DiscardRightClick(runtime_);

    // Apps stays open while Main runs; a file that cannot be opened ends the program in there.
    files::RaiseUseCount(runtime_, program_.files, program_.files.Apps);

    ide_.LastAction.Clear();
    // Read once, and briefly waited for: a program that holds the file does not hold the window.
    const KeptSettings kept = KeptSettings::Read();
    kept_busy_ = kept.Busy();
    const rt::ControlDef& time_out = kMainWindow.control(f::TimeOut);
    if (auto minutes = kept.TimeOut(time_out.range_low, time_out.range_high))
      ide_.DDETimeOut = static_cast<std::uint8_t>(*minutes);
    const rt::ControlDef& ides = kMainWindow.control(f::IDEs);
    if (auto count = kept.Ides(ides.range_low, ides.range_high)) ide_.IDEs = static_cast<std::uint8_t>(*count);
    if (auto program = kept.IdeProgram()) ide_.IDEProgram = *program;
    std::int32_t response = RequestCancelled;
    {
      rt::Window window(runtime_, kMainWindow, kept.Placement(kMainWindow));
      browse::PageBrowse browse(list_, window, f::Browse_1, entry_request);
      browse_ = &browse;
      browse.OpenBrowse();  // binds the list's page
      // The IDE connection and the batch operations work on this window; the list's
      // RereadSelected brings the highlighted record back after them.
      MainIde ide(window, ide_, program_.services, program_.files);
      IdeChoice ide_choice(window, ide_, program_.services.lister);
      ide_choice_ = &ide_choice;
      const std::string prefix = std::string(kMainWindow.id) + ".";
      ide.OnlyChanged = static_cast<std::uint8_t>(kept.Value(prefix + kChoiceOnlyChanged, 0, 1).value_or(0));
      ide.StopOnFailure = static_cast<std::uint8_t>(kept.Value(prefix + kChoiceStopOnFailure, 0, 1).value_or(0));
      list_.Setup(window);
      // The list looks for changes made elsewhere every second while it is idle.
      window.SetTimerPeriod(kLookForChanges);
      window.Display();
      ide_part_ = &ide;
      ide.FirstAttempt();
      while (window.Accept()) {
        DispatchByKind(window);
        DispatchByField(window);
      }
      KeepSettings(window, true, ide_.DDETimeOut,
                   {{kChoiceOnlyChanged, ide.OnlyChanged}, {kChoiceStopOnFailure, ide.StopOnFailure}},
                   KeptIde{.program = ide_.IDEProgram, .ides = ide_.IDEs});
      files::LowerUseCount(program_.files, program_.files.Apps);
      browse.CloseBrowse();
      response = browse.Response;
      browse_ = nullptr;
      ide_part_ = nullptr;
      ide_choice_ = nullptr;
    }
    GiveResponse(program_, response);
  }

 private:
  void DispatchByKind(rt::Window& window) {
    switch (window.Kind()) {
      case EventKind::OpenWindow:
        ide_part_->Opened();
        RefreshDisplay();
        window.Select(f::Browse_1);
        if (kept_busy_) TellFileBusy();  // over the list it has filled
        break;
      case EventKind::GainFocus:
      case EventKind::Sized:  // the list shows another number of rows: the page is filled again
        Refill();
        break;
      case EventKind::Rejected:
        OnRejected(window);
        break;
      case EventKind::Timer:
        ide_part_->Timer();
        // A batch run by the console or another station leaves new results behind.
        if (list_.ReadResults())
          Refill();
        else
          browse_->NoticeOtherChanges();
        break;
      default:
        break;
    }
  }

  void DispatchByField(rt::Window& window) {
    if (window.Field() == f::TimeOut && window.Kind() == EventKind::NewSelection) KeepTimeOut(ide_.DDETimeOut);
    if (window.Field() == f::Browse_1) {
      browse_->TakeListEvent(window.Kind());
      return;
    }
    if (ide_choice_->Take()) return;
    // Buttons act on their Accepted event only; the check box, the time-out and the last-action
    // field have no actions of their own.
    if (window.Kind() != EventKind::Accepted) return;
    // While a batch waits, the list still scrolls and moves its highlight.
    auto list_events = [this](rt::Window& w) {
      if (w.Field() == f::Browse_1) browse_->TakeListEvent(w.Kind());
      if (w.Kind() == EventKind::Sized) Refill();
    };
    switch (ide_part_->Accepted(window.Field(), list_events)) {
      case MainIde::Handled::kDone:
        browse_->RereadSelected();
        // The list shows the results the batch has just kept.
        if (list_.ReadResults(true)) Refill();
        return;
      case MainIde::Handled::kWindowClosed: return;
      case MainIde::Handled::kNotMine: break;
    }
    switch (window.Field()) {
      case f::Tag: ToggleTag(window); break;
      case f::Insert:
        browse_->RereadSelected();
        browse_->InsertRow();
        break;
      // Change and Delete act only on the highlighted record itself; when another station deleted
      // it, the list now shows the nearest one and nothing else happens.
      case f::Change:
        if (browse_->RereadSelected()) browse_->ChangeRow();
        break;
      case f::Delete:
        if (browse_->RereadSelected()) browse_->DeleteRow();
        break;
      case f::Log:
        browse_->RereadSelected();
        ViewEvents(program_);
        browse_->Request = browse_->EntryRequest;
        RefreshDisplay();
        break;
      case f::Close:
        // The button's own close action closes the window after this event.
        browse_->RereadSelected();
        break;
      default:
        break;
    }
  }

  // Tags or untags the highlighted application and moves the highlight on to the next one.
  void ToggleTag(rt::Window& window) {
    if (!browse_->RereadSelected()) return;  // gone: the rebuilt list shows what is there
    store::AppsRecord& app = program_.files.APP;
    app.Tag = static_cast<std::int16_t>(std::abs(app.Tag - 1));
    program_.files.Apps.Put();  // a failed write-back is not reported: the list shows the truth
    window.Select(f::Browse_1);
    window.PressKey(f::Browse_1, rt::key::kDown);
    Refill();
  }

  // Once, when the window opens without what was kept because another program holds the file.
  void TellFileBusy() {
    runtime_.Message(std::string("Another program is using ") + store::kLastResultsFile +
                         ", so the window opens at its usual size, with its usual choices and "
                         "without the last results. The results show as soon as the file is free.",
                     "Kept settings", rt::BoxIcon::Exclamation, rt::ButtonOk);
  }

  void RefreshDisplay() {
    if (list_.ReadResults()) browse_->ForceReset = true;
    browse_->RefreshDisplay();
  }

  // The page is built again from the records (and the kept results) rather than kept as it is.
  void Refill() {
    browse_->ForceReset = true;
    RefreshDisplay();
  }

  Program& program_;
  rt::Runtime& runtime_;
  ApplicationList list_;
  browse::PageBrowse* browse_ = nullptr;
  MainIde* ide_part_ = nullptr;
  IdeChoice* ide_choice_ = nullptr;
  bool kept_busy_ = false;

  // The connection state of one activation (DDEChannel, DDEConnected, DDETimeOut, LastAction...).
  ide::ConnectionState ide_;
};

}  // namespace

void Main(Program& program) { MainProcedure(program).Run(); }

}  // namespace procedures
