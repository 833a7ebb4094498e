// The seam between the portable window runtime and a platform: a backend renders windows and turns
// user input into calls on the window model, and provides the services beside windows (message box,
// open-file dialog, popup menu, beep, cursor, halt, clock). Implementations: headless/ for tests and
// win32/ for the real program, console/ for nightjar.com.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <functional>
#include <string>

#include "runtime/resize_layout.h"

namespace platform {
class Clock;
}

namespace rt {

class Window;

// The program halted (a record file could not be opened, ...): what the backends that draw nothing
// throw out of the procedure, so that a test or the console program's main sees it; `text` is the
// halt text.
struct Halted : std::runtime_error {
  explicit Halted(const std::string& text) : std::runtime_error(text), text(text) {}
  std::string text;
};

// Message-box buttons are flags that add up; a box returns the flag of the button pressed.
inline constexpr int ButtonOk = 1;
inline constexpr int ButtonYes = 2;
inline constexpr int ButtonNo = 4;
inline constexpr int ButtonAbort = 8;
inline constexpr int ButtonRetry = 16;
inline constexpr int ButtonIgnore = 32;
inline constexpr int ButtonCancel = 64;

enum class BoxIcon { None, Stop, Question, Exclamation, Information };

struct MessageBoxSpec {
  std::string text;
  std::string caption;
  BoxIcon icon = BoxIcon::None;
  int buttons = ButtonOk;
  int default_button = 0;  // 0: the first button of the set
  // Called now and then (every 0.1 s or so) while the box waits for its answer, for work that must
  // not wait for the person; never while an earlier call still runs. A backend that answers at
  // once calls it once before answering.
  std::function<void()> while_open;
};

struct FileDialogSpec {
  std::string title;
  std::string filter;  // pairs of description and pattern separated by "|"
  std::string initial;
};

// The rendering of one open window. The model calls it after it changed a control's state.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  // Control `field` changed (text, value, enabled, hidden, list rows or properties); 0 = all controls.
  virtual void Refresh(int field) = 0;
  // Give control `field` the input focus.
  virtual void Focus(int field) = 0;
  // The number of list rows that fit in list control `field` (its page size).
  virtual int VisibleRows(int field) = 0;
  // The window's timer fires every `hundredths` from now on; 0 stops it.
  virtual void SetTimer(int hundredths) = 0;
  // The window's title changed (Window::Title()).
  virtual void TitleChanged() {}
  // Watches folder `path` (as the program writes it, with or without its final separator): from
  // now on every change to its files - made, renamed, deleted, written - calls the window's
  // DirectoryChanged() from the event loop. "" stops watching; a new path replaces the old. False
  // when the folder cannot be watched (it does not exist, the file system sends no notifications):
  // the caller then has only its timer.
  virtual bool WatchDirectory(const std::string& /*path*/) { return false; }
  // Where the window stands and its size, maximised or not (its place before it was maximised).
  virtual WindowPlacement Placement() const { return {}; }
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Creates the rendering of `window` (already holding its definition and initial control state).
  virtual std::unique_ptr<WindowPeer> CreatePeer(Window& window) = 0;
  // Waits until input for `window` (the top window) has been turned into events on its queue, or
  // it was closed. Other windows take no input meanwhile.
  virtual void WaitForInput(Window& window) = 0;

  // Shows a modal message box and returns the flag of the button pressed.
  virtual int Message(const MessageBoxSpec& box) = 0;
  // Shows the open-file dialog; the chosen path, or nullopt when the user cancelled.
  virtual std::optional<std::string> OpenFile(const FileDialogSpec& dialog) = 0;
  // Shows a popup menu at the mouse; the 1-based number of the chosen entry (separators not
  // counted), or 0 when nothing was chosen.
  virtual int Popup(const std::string& definition) = 0;
  virtual void Beep() = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // The cursor over the program's windows shows work going on in the background while input is
  // still taken (the arrow with the hourglass), or the normal cursor again.
  virtual void SetWorkingCursor(bool /*working*/) {}
  virtual void SetProgramIcon(const char* /*icon*/) {}
  // The program's name, which its own boxes carry as their caption (the halt box's).
  virtual void SetProgramName(const std::string& /*name*/) {}
  // Ends the program at once after showing `text`. Does not return.
  [[noreturn]] virtual void Halt(const std::string& text) = 0;

  virtual platform::Clock& clock() = 0;
};

}  // namespace rt
