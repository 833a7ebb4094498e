// The process's window runtime: the backend, the stack of open windows (the top one takes all
// input) and the services beside windows. Every procedure reaches it through its window or the
// program context.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/backend.h"

namespace platform {
class Clock;
}

namespace rt {

class Window;

class Runtime {
 public:
  explicit Runtime(Backend& backend) : backend_(backend) {}
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Backend& backend() { return backend_; }
  platform::Clock& clock();

  // The window taking input now, or nullptr when none is open.
  Window* TopWindow() { return windows_.empty() ? nullptr : windows_.back(); }
  int WindowCount() const { return static_cast<int>(windows_.size()); }

  // The key that caused the latest event and the character it produced (0 when none).
  int LastKey() const { return last_key_; }
  int LastChar() const { return last_char_; }
  void SetLastKey(int key_code, int character) {
    last_key_ = key_code;
    last_char_ = character;
  }

  int Message(const std::string& text, const std::string& caption = "", BoxIcon icon = BoxIcon::None,
              int buttons = ButtonOk, int default_button = 0, std::function<void()> while_open = {});
  std::optional<std::string> OpenFile(const std::string& title, const std::string& filter,
                                      const std::string& initial = "");
  int Popup(const std::string& definition);
  void Beep();
  void SetBusyCursor(bool busy);
  void SetWorkingCursor(bool working);
  [[noreturn]] void Halt(const std::string& text);

 private:
  friend class Window;
  void Push(Window* window) { windows_.push_back(window); }
  void Remove(Window* window);

  Backend& backend_;
  std::vector<Window*> windows_;
  int last_key_ = 0;
  int last_char_ = 0;
};

// One entry of a popup-menu definition such as "&Insert|~Chan&ge|-|&Delete".
struct PopupEntry {
  std::string text;  // caption with its access-key marks
  bool greyed = false;
  bool separator = false;
};
std::vector<PopupEntry> ParsePopup(const std::string& definition);

}  // namespace rt
