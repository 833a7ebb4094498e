// A second real process for the store tests: the store test helper started with arguments, its
// standard input and output connected to this process by pipes, so a test can tell it what to do
// next and wait for its answers without sleeping. POSIX (posix_spawn) and Win32 (CreateProcess).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace store_test {

class ChildProcess {
 public:
  // Starts the helper with `args` (its command and operands); nullptr when it could not start. It
  // runs in this process's current directory.
  static std::unique_ptr<ChildProcess> StartHelper(const std::vector<std::string>& args);
  // Kills the helper when it still runs, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Sends one line to the helper's standard input.
  bool WriteLine(const std::string& line);
  // The next line the helper writes, without its line break; "" when it closed its output.
  std::string ReadLine();
  // Ends the helper at once, as a crash or a kill from outside would (SIGKILL, TerminateProcess),
  // and waits until it is gone.
  void Kill();
  // Waits for the helper to end; its exit code.
  int Wait();

 private:
  struct Impl;
  explicit ChildProcess(std::unique_ptr<Impl> impl);
  // One try of StartHelper (Windows, where a start is tried again).
  static std::unique_ptr<ChildProcess> StartOnce(const std::vector<std::string>& args);
  std::unique_ptr<Impl> impl_;
};

// Windows: opens `path` allowing no other opener (sharing mode 0), as some programs do, until
// CloseUnshared. POSIX has no such open: nullptr.
void* OpenUnshared(const std::string& path);
void CloseUnshared(void* handle);

}  // namespace store_test
