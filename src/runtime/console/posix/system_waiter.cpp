// The console backend's real waiter on POSIX: the system clock, and on Linux inotify for the
// watched folder, waited on with poll's time-out. Elsewhere, or where inotify refuses the folder,
// it sleeps until the time comes and the folder is found by the caller's timer alone.
#include <algorithm>
#include <chrono>
#include <thread>

#include "runtime/console/console_backend.h"

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace rt::console {
namespace {

// The longest single wait; a longer one is cut short (the caller waits again).
constexpr std::int64_t kLongestWait = 6000;  // hundredths: one minute

class SystemWaiter final : public Waiter {
 public:
  ~SystemWaiter() override {
#ifdef __linux__
    if (fd_ >= 0) close(fd_);
#endif
  }

  platform::Clock& clock() override { return platform::SystemClock(); }

  bool WaitUntil(std::int64_t until, const std::string& folder) override {
    const std::int64_t left = until == kNever ? kLongestWait
                                              : std::clamp<std::int64_t>(until - clock().Ticks(), 0, kLongestWait);
#ifdef __linux__
    if (!folder.empty() && Watch(folder)) {
      pollfd p{fd_, POLLIN, 0};
      int ready = poll(&p, 1, static_cast<int>(left * 10));
      if (ready > 0 && (p.revents & POLLIN)) {
        Drain();
        return true;
      }
      if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) Forget();
      return false;
    }
#else
    (void)folder;
#endif
    std::this_thread::sleep_for(std::chrono::milliseconds(left * 10));
    return false;
  }

 private:
#ifdef __linux__
  // Watches `folder`, keeping the watch while the folder stays the same; false when it cannot.
  bool Watch(const std::string& folder) {
    if (watch_ >= 0 && folder == folder_) return true;
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return false;
    // A new folder: what the old one's watch gathered is no concern of this wait.
    if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
    Drain();
    watch_ = inotify_add_watch(fd_, folder.c_str(),
                               IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_MODIFY | IN_DELETE);
    folder_ = watch_ >= 0 ? folder : std::string();
    return watch_ >= 0;
  }
  // Reads away the queued events: one report stands for them all.
  void Drain() {
    alignas(inotify_event) char buffer[4096];
    while (read(fd_, buffer, sizeof buffer) > 0) {
    }
  }
  void Forget() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    watch_ = -1;
    folder_.clear();
  }

  int fd_ = -1;
  int watch_ = -1;
  std::string folder_;
#endif
};

}  // namespace

std::unique_ptr<Waiter> MakeSystemWaiter() { return std::make_unique<SystemWaiter>(); }

}  // namespace rt::console
