// Starting a program on POSIX systems without waiting for it: a double fork, so that the program
// is nobody's child to reap, and a close-on-exec pipe that tells whether the exec succeeded. The
// program's standard handles are /dev/null: it must not hold our output (a pipe) open.
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/program_starter.h"

namespace platform {
namespace {

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

std::string OwnFolder() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  std::string full(path, static_cast<std::size_t>(length));
  return full.substr(0, full.find_last_of('/') + 1);
}

std::string Resolve(const std::string& program) {
  if (program.find('/') != std::string::npos) return IsExecutable(program) ? program : "";
  std::vector<std::string> folders{OwnFolder()};
  const char* path = std::getenv("PATH");
  for (std::string& folder : SearchFolders(path != nullptr ? path : "", ':', '/')) folders.push_back(std::move(folder));
  for (const std::string& folder : folders) {
    if (!folder.empty() && IsExecutable(folder + program)) return folder + program;
  }
  return "";
}

class PosixProgramStarter final : public ProgramStarter {
 public:
  StartResult Start(const std::string& command_line) override {
    std::vector<std::string> parts = SplitCommandLine(command_line);
    if (parts.empty()) return StartResult::kFailed;
    std::string program = Resolve(parts[0]);
    if (program.empty()) return StartResult::kFailed;
    // Everything the children need is prepared before forking.
    std::vector<char*> argv;
    for (std::string& part : parts) argv.push_back(part.data());
    argv.push_back(nullptr);

    int exec_error[2];
    if (pipe2(exec_error, O_CLOEXEC) != 0) return StartResult::kFailed;
    pid_t child = fork();
    if (child == 0) {
      pid_t grandchild = fork();
      if (grandchild == 0) {
        setsid();
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
          for (int fd = 0; fd <= 2; ++fd) dup2(null, fd);
          if (null > 2) close(null);
        }
        execv(program.c_str(), argv.data());
        int error = errno;
        ssize_t ignored = write(exec_error[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
      }
      _exit(grandchild < 0 ? 1 : 0);
    }
    close(exec_error[1]);
    int status = 0;
    bool forked = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // End of file: the exec closed the pipe. Data: the exec failed and sent its errno.
    int error = 0;
    ssize_t got;
    do {
      got = read(exec_error[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(exec_error[0]);
    return forked && got == 0 ? StartResult::kOk : StartResult::kFailed;
  }
};

}  // namespace

std::unique_ptr<ProgramStarter> MakeProgramStarter() { return std::make_unique<PosixProgramStarter>(); }

}  // namespace platform
