// The runtime's window stack and the services beside windows, passed on to the backend.
#include "runtime/runtime.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/window.h"

namespace rt {

platform::Clock& Runtime::clock() { return backend_.clock(); }

void Runtime::Remove(Window* window) {
  bool was_top = !windows_.empty() && windows_.back() == window;
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
  // The window below takes input again, as if the user had come back to it.
  if (was_top && !windows_.empty()) windows_.back()->UserActivated();
}

int Runtime::Message(const std::string& text, const std::string& caption, BoxIcon icon, int buttons,
                     int default_button, std::function<void()> while_open) {
  return backend_.Message({text, caption, icon, buttons, default_button, std::move(while_open)});
}

std::optional<std::string> Runtime::OpenFile(const std::string& title, const std::string& filter,
                                             const std::string& initial) {
  return backend_.OpenFile({title, filter, initial});
}

int Runtime::Popup(const std::string& definition) { return backend_.Popup(definition); }
void Runtime::Beep() { backend_.Beep(); }
void Runtime::SetBusyCursor(bool busy) { backend_.SetBusyCursor(busy); }
void Runtime::SetWorkingCursor(bool working) { backend_.SetWorkingCursor(working); }
void Runtime::Halt(const std::string& text) {
  backend_.Halt(text);
  std::abort();  // a backend's halt never returns
}

std::vector<PopupEntry> ParsePopup(const std::string& definition) {
  std::vector<PopupEntry> entries;
  std::size_t start = 0;
  while (start <= definition.size()) {
    std::size_t end = definition.find('|', start);
    if (end == std::string::npos) end = definition.size();
    std::string item = definition.substr(start, end - start);
    start = end + 1;
    if (item.empty() && end == definition.size()) break;  // a trailing "|"
    PopupEntry e;
    if (item == "-") {
      e.separator = true;
    } else if (!item.empty() && item[0] == '~') {
      e.greyed = true;
      e.text = item.substr(1);
    } else {
      e.text = item;
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace rt
