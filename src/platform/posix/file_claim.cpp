// The file claim on POSIX: an open-file-description lock (Linux), which belongs to this one open of
// the file, so two claims in one process exclude each other as two processes do, and which the
// kernel drops when the process ends. Elsewhere a process lock (fcntl).
#include "platform/file_claim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// The locked byte lies beyond the holder's text, which stays readable.
constexpr off_t kLockOffset = 1 << 20;

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

class PosixClaim final : public FileClaim {
 public:
  explicit PosixClaim(int fd) : fd_(fd) {}
  ~PosixClaim() override {
    if (ftruncate(fd_, 0) != 0) {
      // The next holder writes over it; what is left names a holder whose lock is gone.
    }
    close(fd_);  // drops the lock
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<FileClaim> ClaimFile(const std::string& path, const std::string& holder, std::string& held_by) {
  held_by.clear();
  // Without blocking: a FIFO of the name would otherwise wait for a writer for ever. Only a regular
  // file is a claim; anything else of that name is named instead.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    held_by = std::string("(") + std::strerror(errno) + ")";
    return nullptr;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const char* kind = S_ISFIFO(status.st_mode)  ? "a named pipe"
                       : S_ISCHR(status.st_mode) ? "a device"
                       : S_ISSOCK(status.st_mode) ? "a socket"
                                                  : "not a regular file";
    held_by = "(" + path + " is " + kind + ", not a file that can be claimed)";
    close(fd);
    return nullptr;
  }
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kLockOffset;
  lock.l_len = 1;
  if (fcntl(fd, kSetLock, &lock) != 0) {
    char text[512];
    ssize_t got = pread(fd, text, sizeof text, 0);
    if (got > 0) held_by.assign(text, static_cast<std::size_t>(got));
    close(fd);
    return nullptr;
  }
  if (ftruncate(fd, 0) != 0 || pwrite(fd, holder.data(), holder.size(), 0) < 0) {
    // The claim holds without its description; a refused batch then names no holder.
  }
  return std::make_unique<PosixClaim>(fd);
}

std::string StationName() {
  char name[256] = "";
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace platform
