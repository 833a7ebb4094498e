// The console backend: windows exist only as model state and nothing is drawn. Message boxes are
// written as lines and answered without anyone there; time passes through a Waiter, which the
// console program (nightjar.com) takes from the system and tests take as a virtual clock.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "runtime/backend.h"
#include "runtime/virtual_time.h"

namespace rt::console {

// Text shown where its control characters must not act (a terminal, a pipe, a report): each C0
// control, DEL and each byte that the records' code page (Windows-1252) leaves to a C1 control (the
// escape that starts a terminal's control sequence among them) shown as \xHH, but those in `kept`.
std::string ControlsEscaped(std::string_view text, std::string_view kept = {});

// How the backend lets time pass: until a tick of the clock, or until the watched folder changes.
class Waiter {
 public:
  // An `until` that never comes: the wait ends only with a change in the folder.
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

  virtual ~Waiter() = default;
  virtual platform::Clock& clock() = 0;
  // Returns when clock().Ticks() >= until (hundredths) or, when `folder` is not "", when a file in
  // that folder changes (made, renamed, deleted, written); true in the second case. May return
  // early for no reason (the caller re-checks). A change made while nobody waited on the folder is
  // reported by the next wait on it, as long as the folder stayed the one watched.
  virtual bool WaitUntil(std::int64_t until, const std::string& folder) = 0;
};

// The real one: the system clock and the platform's folder wait (platform/folder_wait.h), which
// also serves the thread's messages (Windows) while it waits. A wait on "" keeps the last folder's
// watch open, so that the changes made while a called window takes the input are reported when its
// caller waits on that folder again.
std::unique_ptr<Waiter> MakeSystemWaiter();

// For tests: a virtual clock that only moves in WaitUntil, straight to `until` or to the next
// alarm before it; alarms run in time order; Changed(folder) marks a change that the next (or the
// current, when called from an alarm) WaitUntil on that folder reports at once.
class VirtualWaiter final : public Waiter {
 public:
  // Starts at the virtual start moment, like the headless backend.
  VirtualWaiter();

  platform::Clock& clock() override { return clock_; }
  platform::VirtualClock& virtual_clock() { return clock_; }
  // Runs `action` when virtual time reaches `ticks` during a wait; alarms due at the same tick
  // run in the order set, an alarm already due runs at the next wait.
  void At(std::int64_t ticks, std::function<void()> action);
  // Files in `folder` changed (final separators ignored when comparing).
  void Changed(const std::string& folder);

  // Throws std::logic_error when asked to wait for ever with nothing left that could end the wait
  // (no alarm, no change marked): the program under test would hang.
  bool WaitUntil(std::int64_t until, const std::string& folder) override;

 private:
  bool TakeChange(const std::string& folder);

  platform::VirtualClock clock_;
  Alarms alarms_;
  std::vector<std::string> changed_;
};

// The program halted: thrown out of the procedure so that the console program's main can report
// it and end with its exit code.
using rt::Halted;

// What the program would show in a box goes to `messages` as one line: the caption, ": " and the
// text (just the text when the caption is empty), with line breaks in the text turned into blanks.
// The answer is the one that does least, unless `confirm` is set: Yes when the box has Yes and
// `confirm`; otherwise No, else Cancel, else OK, else the box's first button.
class ConsoleBackend final : public Backend {
 public:
  ConsoleBackend(Waiter& waiter, std::ostream& messages, bool confirm);
  ~ConsoleBackend() override;
  ConsoleBackend(const ConsoleBackend&) = delete;
  ConsoleBackend& operator=(const ConsoleBackend&) = delete;

  // The boxes shown, in order (for the caller's exit code and for tests).
  const std::vector<MessageBoxSpec>& boxes() const { return boxes_; }

  // A peer keeps the window's timer (period and next due tick) and its watched folder; a folder
  // can be watched when it exists.
  std::unique_ptr<WindowPeer> CreatePeer(Window& window) override;
  // Waits for the earliest timer of all open windows, or for a change in the folder that `window`
  // watches; a due timer gives its own window a Timer event, a change gives `window` its
  // DirectoryChanged event. A window with neither timer nor watch would wait for ever: it is
  // closed as with its close box, so that its procedure's loop ends.
  void WaitForInput(Window& window) override;
  int Message(const MessageBoxSpec& box) override;
  std::optional<std::string> OpenFile(const FileDialogSpec&) override { return std::nullopt; }
  int Popup(const std::string&) override { return 0; }
  void Beep() override {}
  void SetBusyCursor(bool) override {}
  void SetWorkingCursor(bool) override {}
  // Writes `text` to the messages and throws Halted.
  [[noreturn]] void Halt(const std::string& text) override;
  platform::Clock& clock() override { return waiter_.clock(); }

 private:
  class Peer;
  friend class Peer;

  Waiter& waiter_;
  std::ostream& messages_;
  bool confirm_;
  std::vector<Peer*> peers_;
  std::vector<MessageBoxSpec> boxes_;
};

}  // namespace rt::console
