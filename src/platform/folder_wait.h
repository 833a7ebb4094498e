// The one wait of the program's event loops, in the window and in the console alike: until a time
// passes, a file of a watched folder changes, or (Windows) input arrives for the calling thread's
// windows. Serving those messages matters even without a window: the DDE library keeps hidden
// windows on the thread, and another program's DDE connect waits until every window answers.
// Used by the Win32 backend, the console backend's system waiter and their tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class FolderWait {
 public:
  enum class Woke { kTime, kFolder, kMessage };
  static constexpr std::int64_t kForever = -1;

  FolderWait();
  ~FolderWait();
  FolderWait(const FolderWait&) = delete;
  FolderWait& operator=(const FolderWait&) = delete;

  // Watches `folder` (as the program writes it, with or without its final separator) for files
  // made, renamed, deleted or written, keeping the watch while the folder stays the same, so that a
  // change made while nobody waited is reported by the next wait on it. "" stops watching. False
  // when the folder cannot be watched (it does not exist, the file system sends no notifications):
  // the caller then has its time-out alone.
  bool Watch(const std::string& folder);
  const std::string& folder() const { return folder_; }

  // Waits up to `ms` milliseconds (kForever: no limit) for a change in the watched folder when
  // `on_folder`, or for input in the calling thread's message queue when `on_messages` (Windows;
  // elsewhere no message ever comes), messages that an earlier look left queued included. A change
  // re-arms the watch before kFolder is returned, so that one made while the caller looks at the
  // folder is reported by the next wait.
  Woke Wait(std::int64_t ms, bool on_folder, bool on_messages);

 private:
  struct Watcher;
  std::unique_ptr<Watcher> watcher_;
  std::string folder_;
};

// Serves the messages waiting for the calling thread's windows (Windows); nothing elsewhere. True
// when there were any.
bool DispatchThreadMessages();

}  // namespace platform
