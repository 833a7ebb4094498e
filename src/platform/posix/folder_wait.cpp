// The folder wait on POSIX: inotify on Linux, waited on with poll's time-out; elsewhere, or where
// inotify refuses the folder, a plain sleep. No thread has a message queue here.
#include "platform/folder_wait.h"

#include <chrono>
#include <thread>

#include "platform/code_page.h"

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace platform {

struct FolderWait::Watcher {
  int fd = -1;
  int watch = -1;
  ~Watcher() {
#ifdef __linux__
    if (fd >= 0) close(fd);
#endif
  }
  // Reads away the queued events: one report stands for them all.
  void Drain() {
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
#endif
  }
};

FolderWait::FolderWait() = default;
FolderWait::~FolderWait() = default;

bool FolderWait::Watch(const std::string& folder) {
  if (watcher_ && folder == folder_) return true;
  // A new folder: what the old one's watch gathered is no concern of the next wait.
  watcher_.reset();
  folder_.clear();
  if (folder.empty()) return true;
#ifdef __linux__
  auto watcher = std::make_unique<Watcher>();
  watcher->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watcher->fd < 0) return false;
  // Names on disk are UTF-8; the folder comes in the code page.
  watcher->watch = inotify_add_watch(watcher->fd, ToUtf8(folder).c_str(),
                                     IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_MODIFY | IN_DELETE);
  if (watcher->watch < 0) return false;
  watcher_ = std::move(watcher);
  folder_ = folder;
  return true;
#else
  return false;
#endif
}

FolderWait::Woke FolderWait::Wait(std::int64_t ms, bool on_folder, bool /*on_messages*/) {
#ifdef __linux__
  if (on_folder && watcher_) {
    pollfd p{watcher_->fd, POLLIN, 0};
    int ready = poll(&p, 1, ms < 0 ? -1 : static_cast<int>(ms));
    if (ready > 0 && (p.revents & POLLIN)) {
      watcher_->Drain();
      return Woke::kFolder;
    }
    if (ready < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) Watch("");
    return Woke::kTime;
  }
#else
  (void)on_folder;
#endif
  // With nothing that could end it, a wait for ever is a long sleep that the caller repeats.
  std::this_thread::sleep_for(std::chrono::milliseconds(ms < 0 ? 60000 : ms));
  return Woke::kTime;
}

bool DispatchThreadMessages() { return false; }

}  // namespace platform
