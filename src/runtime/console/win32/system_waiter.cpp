// The console backend's real waiter on Windows: the system clock, and a change notification on the
// watched folder, waited on with the time left as time-out. Where the folder cannot be watched it
// sleeps until the time comes and the folder is found by the caller's timer alone.
#include <windows.h>

#include <algorithm>

#include "runtime/console/console_backend.h"

namespace rt::console {
namespace {

// The longest single wait; a longer one is cut short (the caller waits again).
constexpr std::int64_t kLongestWait = 6000;  // hundredths: one minute

class SystemWaiter final : public Waiter {
 public:
  ~SystemWaiter() override { Close(); }

  platform::Clock& clock() override { return platform::SystemClock(); }

  bool WaitUntil(std::int64_t until, const std::string& folder) override {
    const std::int64_t left = until == kNever ? kLongestWait
                                              : std::clamp<std::int64_t>(until - clock().Ticks(), 0, kLongestWait);
    const DWORD ms = static_cast<DWORD>(left * 10);
    if (!folder.empty() && Watch(folder)) {
      DWORD woke = WaitForSingleObject(change_, ms);
      if (woke == WAIT_OBJECT_0) {
        // Re-armed before the caller looks at the folder, so that a change made meanwhile signals
        // again. A handle that cannot be re-armed is given up: it would stay signalled.
        if (!FindNextChangeNotification(change_)) Close();
        return true;
      }
      if (woke == WAIT_FAILED) Close();
      return false;
    }
    Sleep(ms);
    return false;
  }

 private:
  // Watches `folder`, keeping the handle while the folder stays the same; false when it cannot.
  bool Watch(const std::string& folder) {
    if (change_ && folder == folder_) return true;
    Close();
    std::string path = folder;
    // The folder's own name, without the separator the program writes after it; a root such as
    // "C:\" or "\" keeps its separator, as without it it names no folder (or another one).
    if (path.size() > 1 && (path.back() == '\\' || path.back() == '/') && path[path.size() - 2] != ':')
      path.pop_back();
    // Files made, renamed or deleted, and files written (their time or size changes).
    HANDLE change = FindFirstChangeNotificationA(
        path.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    if (change == INVALID_HANDLE_VALUE) return false;
    change_ = change;
    folder_ = folder;
    return true;
  }
  void Close() {
    if (change_) FindCloseChangeNotification(change_);
    change_ = nullptr;
    folder_.clear();
  }

  HANDLE change_ = nullptr;
  std::string folder_;
};

}  // namespace

std::unique_ptr<Waiter> MakeSystemWaiter() { return std::make_unique<SystemWaiter>(); }

}  // namespace rt::console
