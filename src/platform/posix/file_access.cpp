// The store's file-system calls on POSIX: errno numbers and strerror texts; names on disk in UTF-8.
#include "platform/file_access.h"

#include <climits>
#include <filesystem>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/code_page.h"

namespace platform::file_access {

ErrorKind KindOf(int error_number) {
  switch (error_number) {
    case 0:
      return ErrorKind::None;
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return ErrorKind::AccessDenied;
    default:
      return ErrorKind::Other;
  }
}

std::string MessageOf(int error_number) {
  char buffer[256];
  // The GNU strerror_r returns its text, which need not be in `buffer`.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string("Unknown error");
}

int ProbeReadWrite(const std::string& path) {
  int fd = ::open(ToUtf8(path).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

int ProbeCreate(const std::string& path) {
  int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(ToUtf8(path).c_str());
  return 0;
}

int DeleteIfPresent(const std::string& path) {
  if (::unlink(ToUtf8(path).c_str()) == 0 || errno == ENOENT) return 0;
  return errno;
}

int ReplaceWith(const std::string& from, const std::string& to) {
  return std::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0 ? 0 : errno;
}

int MoveNoReplace(const std::string& from, const std::string& to) {
  // A hard link is made only when the name is free; the old name then goes.
  if (::link(ToUtf8(from).c_str(), ToUtf8(to).c_str()) != 0) return errno;
  ::unlink(ToUtf8(from).c_str());
  return 0;
}

bool IsAlreadyExists(int error_number) { return error_number == EEXIST; }

bool FullFolderPath(const std::string& relative, std::string& folder) {
  std::string path = ToUtf8(relative);
  if (path.empty() || path.front() != '/') {
    char current[PATH_MAX];
    if (::getcwd(current, sizeof current) == nullptr) {
      folder = path;
      return false;
    }
    path = std::string(current) + "/" + path;
  }
  // "." and ".." taken out by the text alone, as Windows does with a full path; links stay.
  path = std::filesystem::path(path).lexically_normal().string();
  if (path.empty() || path.back() != '/') path += '/';
  if (FromUtf8(path, folder)) return true;
  folder = path;
  return false;
}

int DiskFullError() { return ENOSPC; }

}  // namespace platform::file_access
