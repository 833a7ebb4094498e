// ChildProcess on POSIX: posix_spawn of the helper executable named at build time, with two pipes.
#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace store_test {

struct ChildProcess::Impl {
  pid_t pid = -1;
  int to_child = -1;
  int from_child = -1;
  bool ended = false;
  int exit_code = -1;
};

std::unique_ptr<ChildProcess> ChildProcess::StartHelper(const std::vector<std::string>& args) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return nullptr;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> argv_text{NIGHTJAR_STORE_HELPER};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  auto impl = std::make_unique<Impl>();
  int rc = posix_spawn(&impl->pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  if (rc != 0) {
    close(in[1]);
    close(out[0]);
    return nullptr;
  }
  impl->to_child = in[1];
  impl->from_child = out[0];
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() {
  if (!impl_->ended) Kill();
  if (impl_->to_child >= 0) close(impl_->to_child);
  if (impl_->from_child >= 0) close(impl_->from_child);
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(impl_->to_child, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ChildProcess::ReadLine() {
  std::string line;
  char c;
  for (;;) {
    ssize_t n = read(impl_->from_child, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void ChildProcess::Kill() {
  if (impl_->ended) return;
  kill(impl_->pid, SIGKILL);
  Wait();
}

int ChildProcess::Wait() {
  if (impl_->ended) return impl_->exit_code;
  int status = 0;
  while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
  }
  impl_->ended = true;
  impl_->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return impl_->exit_code;
}

void* OpenUnshared(const std::string&) { return nullptr; }
void CloseUnshared(void*) {}

}  // namespace store_test
