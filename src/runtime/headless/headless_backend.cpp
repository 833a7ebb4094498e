// The headless backend: scripted input, recorded output, virtual time.
#include "runtime/headless/headless_backend.h"

#include <algorithm>

#include "runtime/model_peer.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace rt::headless {

// --- Script ---------------------------------------------------------------------------------

Script& Script::Add(Step step) {
  step.window = window_;
  steps_.push_back(std::move(step));
  return *this;
}

Script& Script::In(std::string window_id) {
  window_ = std::move(window_id);
  return *this;
}
Script& Script::Press(int field) { return Add({.kind = Step::Kind::Press, .field = field}); }
Script& Script::Type(int field, std::string text) {
  return Add({.kind = Step::Kind::Type, .field = field, .text = std::move(text)});
}
Script& Script::Check(int field, bool checked) {
  return Add({.kind = Step::Kind::Check, .field = field, .flag = checked});
}
Script& Script::Spin(int field, int direction) {
  return Add({.kind = Step::Kind::Spin, .field = field, .value = direction});
}
Script& Script::SelectRow(int field, int row, int key_code) {
  return Add({.kind = Step::Kind::SelectRow, .field = field, .value = row, .character = key_code});
}
Script& Script::Key(int field, int key_code, int character) {
  return Add({.kind = Step::Kind::Key, .field = field, .value = key_code, .character = character});
}
Script& Script::Thumb(int field, int position) {
  return Add({.kind = Step::Kind::Thumb, .field = field, .value = position});
}
Script& Script::CloseBox() { return Add({.kind = Step::Kind::CloseBox}); }
Script& Script::Resize(int width, int height) {
  return Add({.kind = Step::Kind::Resize, .value = width, .amount = height});
}
Script& Script::Maximise() { return Add({.kind = Step::Kind::Resize, .flag = true}); }
Script& Script::Wait(std::int64_t hundredths) { return Add({.kind = Step::Kind::Wait, .amount = hundredths}); }
Script& Script::Raise(EventKind kind, int field) {
  return Add({.kind = Step::Kind::Raise, .field = field, .event = kind});
}
Script& Script::Answer(int button, std::string expected_text) {
  return Add({.kind = Step::Kind::Answer, .value = button, .text = std::move(expected_text)});
}
Script& Script::ChooseFile(std::string path) {
  return Add({.kind = Step::Kind::File, .text = std::move(path), .flag = true});
}
Script& Script::CancelFile() { return Add({.kind = Step::Kind::File, .flag = false}); }
Script& Script::Inspect(std::function<void(Window&)> look) {
  return Add({.kind = Step::Kind::Inspect, .look = std::move(look)});
}
Script& Script::ChoosePopup(int entry) { return Add({.kind = Step::Kind::Popup, .value = entry}); }

// --- Peer -----------------------------------------------------------------------------------

class HeadlessBackend::Peer final : public ModelPeer {
 public:
  Peer(HeadlessBackend& backend, Window& window) : ModelPeer(window, backend.clock_), backend_(backend) {
    backend_.peers_.push_back(this);
  }
  ~Peer() override {
    auto& peers = backend_.peers_;
    peers.erase(std::remove(peers.begin(), peers.end(), this), peers.end());
  }
  int VisibleRows(int field) override {
    return backend_.visible_rows_ > 0 ? backend_.visible_rows_ : ModelPeer::VisibleRows(field);
  }

 private:
  HeadlessBackend& backend_;
};

// --- Backend --------------------------------------------------------------------------------

HeadlessBackend::HeadlessBackend() : clock_(MakeVirtualClock()) {}
HeadlessBackend::~HeadlessBackend() = default;

std::unique_ptr<WindowPeer> HeadlessBackend::CreatePeer(Window& window) {
  return std::make_unique<Peer>(*this, window);
}

const Script::Step* HeadlessBackend::NextStep() {
  if (script_.Done()) return nullptr;
  return &script_.steps_[script_.next_++];
}

void HeadlessBackend::WaitForInput(Window& window) {
  while (!window.HasEvents() && !window.IsClosed()) {
    if (wait_until_ >= 0) {
      AdvanceTime(window);
      continue;
    }
    const Script::Step* step = NextStep();
    if (!step)
      throw ScriptError(std::string("the script ran out while ") + window.definition().id +
                        " waits for input");
    if (step->kind == Script::Step::Kind::Answer || step->kind == Script::Step::Kind::File ||
        step->kind == Script::Step::Kind::Popup)
      throw ScriptError(std::string("the script answers a dialog, but ") + window.definition().id +
                        " waits for input");
    if (!step->window.empty() && step->window != window.definition().id)
      throw ScriptError("the script's step is for " + step->window + ", but " +
                        window.definition().id + " takes the input");
    Apply(window, *step);
  }
}

void HeadlessBackend::Apply(Window& window, const Script::Step& step) {
  using Kind = Script::Step::Kind;
  if (step.field > window.ControlCount())
    throw ScriptError(std::string(window.definition().id) + " has no control " + std::to_string(step.field));
  switch (step.kind) {
    case Kind::Press: window.UserPress(step.field); break;
    case Kind::Type: window.UserText(step.field, step.text); break;
    case Kind::Check: window.UserCheck(step.field, step.flag); break;
    case Kind::Spin: window.UserSpin(step.field, step.value); break;
    case Kind::SelectRow: window.UserSelectRow(step.field, step.value, step.character); break;
    case Kind::Key: window.UserKey(step.field, step.value, step.character); break;
    case Kind::Thumb: window.UserThumb(step.field, step.value); break;
    case Kind::CloseBox: window.UserClose(); break;
    case Kind::Resize:
      for (Peer* p : peers_) {
        if (&p->window() != &window) continue;
        if (step.flag) p->Maximise();
        else p->Resize(step.value, static_cast<int>(step.amount));
      }
      break;
    case Kind::Wait:
      wait_until_ = clock_.Ticks() + step.amount;
      AdvanceTime(window);
      break;
    case Kind::Raise: window.Post(step.event, step.field); break;
    case Kind::Inspect: step.look(window); break;
    default: break;
  }
}

void HeadlessBackend::At(std::int64_t ticks, std::function<void()> action) { alarms_.At(ticks, std::move(action)); }

void HeadlessBackend::ChangeDirectory(const std::string& folder) {
  // A copy: a window may close (and its peer go) in between only through its procedure, which
  // does not run here, but the list must not change under the loop either way.
  std::vector<Peer*> peers = peers_;
  for (Peer* p : peers)
    if (p->Watches(folder)) p->window().DirectoryChanged();
}

void HeadlessBackend::AdvanceTime(Window& window) {
  const std::int64_t end = wait_until_;
  while (!window.HasEvents() && !window.IsClosed()) {
    // The next timer or alarm to fall due within the wait, if any; an alarm goes first on a tie.
    Peer* due = nullptr;
    for (Peer* p : peers_)
      if (p->next_tick() >= 0 && p->next_tick() <= end && (!due || p->next_tick() < due->next_tick())) due = p;
    if (alarms_.DueBy(due ? due->next_tick() : end)) {
      alarms_.RunNext(clock_);
      continue;
    }
    if (!due) {
      clock_.Advance(end - clock_.Ticks());
      wait_until_ = -1;
      return;
    }
    clock_.Advance(due->next_tick() - clock_.Ticks());
    due->TimerFired(clock_.Ticks());
    due->window().TimerTick();
  }
}

int HeadlessBackend::Message(const MessageBoxSpec& box) {
  boxes_.push_back(box);
  trace_.push_back("box " + box.caption + ": " + box.text);
  const Script::Step* step = NextStep();
  if (!step || step->kind != Script::Step::Kind::Answer)
    throw ScriptError("unexpected message box \"" + box.caption + "\": " + box.text);
  if (!step->text.empty() && box.text.find(step->text) == std::string::npos)
    throw ScriptError("expected a message box saying \"" + step->text + "\", got: " + box.text);
  if ((box.buttons & step->value) == 0)
    throw ScriptError("the script presses a button the box \"" + box.text + "\" does not have");
  if (box.while_open) box.while_open();
  return step->value;
}

std::optional<std::string> HeadlessBackend::OpenFile(const FileDialogSpec& dialog) {
  file_dialogs_.push_back(dialog);
  trace_.push_back("file dialog " + dialog.title);
  const Script::Step* step = NextStep();
  if (!step || step->kind != Script::Step::Kind::File)
    throw ScriptError("unexpected file dialog \"" + dialog.title + "\"");
  if (!step->flag) return std::nullopt;
  return step->text;
}

int HeadlessBackend::Popup(const std::string& definition) {
  popups_.push_back(definition);
  trace_.push_back("popup " + definition);
  const Script::Step* step = NextStep();
  if (!step || step->kind != Script::Step::Kind::Popup)
    throw ScriptError("unexpected popup menu \"" + definition + "\"");
  if (step->value == 0) return 0;
  int number = 0;
  for (const PopupEntry& e : ParsePopup(definition)) {
    if (e.separator) continue;
    if (++number == step->value) {
      if (e.greyed) throw ScriptError("popup entry " + e.text + " is greyed and cannot be chosen");
      return number;
    }
  }
  throw ScriptError("popup \"" + definition + "\" has no entry " + std::to_string(step->value));
}

void HeadlessBackend::Beep() {
  ++beeps_;
  trace_.push_back("beep");
}

void HeadlessBackend::SetBusyCursor(bool busy) {
  busy_ = busy;
  trace_.push_back(busy ? "cursor busy" : "cursor normal");
}

void HeadlessBackend::SetWorkingCursor(bool working) {
  working_ = working;
  trace_.push_back(working ? "cursor working" : "cursor normal");
}

void HeadlessBackend::Halt(const std::string& text) {
  trace_.push_back("halt " + text);
  throw Halted(text);
}

}  // namespace rt::headless
