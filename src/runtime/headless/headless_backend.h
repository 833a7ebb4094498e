// The headless backend: windows exist only as control state in memory, user input comes from a
// script, and time is a virtual clock. Tests drive procedures with it; nothing here sleeps.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "runtime/backend.h"
#include "runtime/event.h"
#include "runtime/virtual_time.h"

namespace rt {
class Window;
}

namespace rt::headless {

using rt::Halted;

// The program did something the script did not expect (a message box nobody answers, input asked
// for after the script ran out, a greyed popup entry chosen...). The message says what.
struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What the user does, in order. Window actions go to the window taking input at that moment.
class Script {
 public:
  struct Step;

  // The following window actions must reach the window with this identifier ("" = any).
  Script& In(std::string window_id);
  Script& Press(int field);
  Script& Type(int field, std::string text);
  Script& Check(int field, bool checked);
  Script& Spin(int field, int direction);
  Script& SelectRow(int field, int row, int key_code = key::kMouseLeft);
  Script& Key(int field, int key_code, int character = 0);
  Script& TypeChar(int field, char c) { return Key(field, static_cast<unsigned char>(c), static_cast<unsigned char>(c)); }
  Script& Thumb(int field, int position);
  Script& CloseBox();
  // Resizes the window to `width` x `height` dialog units, as dragging its frame does (a window of
  // fixed size keeps its size); Maximise fills the screen (rt::kModelScreen).
  Script& Resize(int width, int height);
  Script& Maximise();
  // Lets `hundredths` of virtual time pass; the windows' timers and the backend's alarms fire as
  // they fall due. Whenever one leaves the window taking input with an event, the wait pauses for
  // the program to serve it (at that moment of virtual time) and then goes on.
  Script& Wait(std::int64_t hundredths);
  // An event as the platform would queue it, for paths no user action reaches directly.
  Script& Raise(EventKind kind, int field = 0);
  // Answers the next message box with `button`; when `expected_text` is given the box's text must
  // contain it.
  Script& Answer(int button, std::string expected_text = "");
  Script& ChooseFile(std::string path);
  Script& CancelFile();
  Script& ChoosePopup(int entry);
  // Runs `look` on the window taking input when the script gets here (the procedure is idle in its
  // event loop then), so a test can examine the controls between two user actions.
  Script& Inspect(std::function<void(Window&)> look);

  bool Done() const { return next_ >= steps_.size(); }
  std::size_t Remaining() const { return steps_.size() - next_; }

 private:
  friend class HeadlessBackend;
  Script& Add(Step step);
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::string window_;
};

struct Script::Step {
  enum class Kind { Press, Type, Check, Spin, SelectRow, Key, Thumb, CloseBox, Resize, Wait, Raise, Inspect, Answer, File, Popup };
  Kind kind;
  std::string window;
  int field = 0;
  int value = 0;
  int character = 0;
  std::int64_t amount = 0;
  std::string text;
  bool flag = false;
  EventKind event = EventKind::None;
  std::function<void(Window&)> look;
};

class HeadlessBackend final : public Backend {
 public:
  // The virtual clock starts on 1 March 2024 (day 81,513) at 9:00 AM unless the test sets it.
  HeadlessBackend();
  ~HeadlessBackend() override;

  Script& script() { return script_; }
  platform::VirtualClock& virtual_clock() { return clock_; }
  // Rows that fit in every list control (the page size); 0: derived from the list's height.
  void set_visible_rows(int rows) { visible_rows_ = rows; }
  // Runs `action` when virtual time reaches `ticks` (the clock's Ticks) during a script's Wait; an
  // action due already runs at the next Wait. Alarms due at the same tick run in the order set.
  void At(std::int64_t ticks, std::function<void()> action);
  // The platform's report that files in `folder` changed: every window watching that folder (its
  // final separator ignored) gets its DirectoryChanged event. Folders that exist can be watched.
  void ChangeDirectory(const std::string& folder);

  // What the program showed, for the test to examine.
  const std::vector<MessageBoxSpec>& boxes() const { return boxes_; }
  const std::vector<std::string>& popups() const { return popups_; }
  // Every open-file dialog shown, with its title, filter and start path.
  const std::vector<FileDialogSpec>& file_dialogs() const { return file_dialogs_; }
  int beeps() const { return beeps_; }
  bool busy() const { return busy_; }
  bool working() const { return working_; }
  const char* program_icon() const { return program_icon_; }
  const std::string& program_name() const { return program_name_; }
  // One line per service call and per event-producing step, in order ("beep", "box Warning: ...").
  const std::vector<std::string>& trace() const { return trace_; }

  std::unique_ptr<WindowPeer> CreatePeer(Window& window) override;
  void WaitForInput(Window& window) override;
  int Message(const MessageBoxSpec& box) override;
  std::optional<std::string> OpenFile(const FileDialogSpec& dialog) override;
  int Popup(const std::string& definition) override;
  void Beep() override;
  void SetBusyCursor(bool busy) override;
  void SetWorkingCursor(bool working) override;
  void SetProgramIcon(const char* icon) override { program_icon_ = icon; }
  void SetProgramName(const std::string& name) override { program_name_ = name; }
  [[noreturn]] void Halt(const std::string& text) override;
  platform::Clock& clock() override { return clock_; }

 private:
  class Peer;
  friend class Peer;
  const Script::Step* NextStep();
  void Apply(Window& window, const Script::Step& step);
  // Moves virtual time towards wait_until_, firing timers and alarms in order, until it gets
  // there or `window` has an event to serve.
  void AdvanceTime(Window& window);

  Script script_;
  platform::VirtualClock clock_;
  int visible_rows_ = 0;
  std::vector<Peer*> peers_;
  Alarms alarms_;
  std::int64_t wait_until_ = -1;  // the end of the script's current Wait; -1: none
  std::vector<MessageBoxSpec> boxes_;
  std::vector<std::string> popups_;
  std::vector<FileDialogSpec> file_dialogs_;
  std::vector<std::string> trace_;
  int beeps_ = 0;
  bool busy_ = false;
  bool working_ = false;
  const char* program_icon_ = nullptr;
  std::string program_name_;
};

}  // namespace rt::headless
