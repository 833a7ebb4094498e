// The console backend's real waiter: the system clock and the platform's folder wait, which also
// wakes for the thread's messages and serves them, so that the DDE library's windows answer other
// programs (a DDE connect of another client) while nightjar.com waits.
#include <algorithm>

#include "platform/folder_wait.h"
#include "runtime/console/console_backend.h"

namespace rt::console {
namespace {

// The longest single wait; a longer one is cut short (the caller waits again).
constexpr std::int64_t kLongestWait = 6000;  // hundredths: one minute

class SystemWaiter final : public Waiter {
 public:
  platform::Clock& clock() override { return platform::SystemClock(); }

  bool WaitUntil(std::int64_t until, const std::string& folder) override {
    const std::int64_t left =
        until == kNever ? kLongestWait : std::clamp<std::int64_t>(until - clock().Ticks(), 0, kLongestWait);
    // A wait on "" keeps the last folder's watch: the changes made while a called window takes the
    // input are reported when its caller waits on that folder again.
    const bool on_folder = !folder.empty() && wait_.Watch(folder);
    switch (wait_.Wait(left * 10, on_folder, true)) {
      case platform::FolderWait::Woke::kFolder: return true;
      case platform::FolderWait::Woke::kMessage: platform::DispatchThreadMessages(); return false;
      case platform::FolderWait::Woke::kTime: return false;
    }
    return false;
  }

 private:
  platform::FolderWait wait_;
};

}  // namespace

std::unique_ptr<Waiter> MakeSystemWaiter() { return std::make_unique<SystemWaiter>(); }

}  // namespace rt::console
