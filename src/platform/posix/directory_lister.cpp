// Directory listing on POSIX: readdir over the folder, stat for each candidate (following links,
// so a link to an ordinary file counts as one), names matched ignoring case. Names on disk are
// taken as UTF-8 and given in the code page; one it cannot hold is left out, as POSIX has no short
// names. Whether a file is still being written shows (on Linux) as a read lease that cannot be taken.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>

#include "platform/code_page.h"
#include "platform/directory_lister.h"

namespace platform {
namespace {

class PosixDirectoryLister final : public DirectoryLister {
 public:
  int List(const std::string& pattern, std::vector<DirectoryEntry>& entries) override {
    entries.clear();
    left_out_.clear();
    std::string folder;
    std::string name_pattern;
    SplitFolder(pattern, folder, name_pattern);
    const std::string disk_folder = ToUtf8(folder);
    DIR* dir = ::opendir(folder.empty() ? "." : disk_folder.c_str());
    if (dir == nullptr) return errno;
    while (const dirent* item = ::readdir(dir)) {
      std::string name;
      const bool held = FromUtf8(item->d_name, name);
      if (!MatchesNamePattern(name, name_pattern)) continue;
      struct stat info {};
      if (::stat((disk_folder + item->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      // A "*" or "?" in a name (POSIX allows them) would make it a pattern wherever it goes.
      if (!held || name.find_first_of("*?") != std::string::npos) {
        left_out_.push_back(item->d_name);
        continue;
      }
      DirectoryEntry entry;
      entry.name = name;
      entry.size = static_cast<std::int64_t>(info.st_size);
      std::tm local{};
      ::localtime_r(&info.st_mtime, &local);
      entry.date = DayNumber(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                             static_cast<unsigned>(local.tm_mday));
      entry.time = ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 100;
      if ((info.st_mode & S_IWUSR) == 0) entry.attributes |= kAttributeReadOnly;
      entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    SortByName(entries);
    return 0;
  }

  std::string OwnFolder() override {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string full;
    if (length <= 0 || !FromUtf8(std::string_view(path, static_cast<std::size_t>(length)), full)) return {};
    return full.substr(0, full.find_last_of('/') + 1);
  }

  bool IsBeingWritten(const std::string& path) override {
#ifdef F_SETLEASE
    // Not blocking: a lease of another program on the file would hold up the open.
    int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool writing = false;
    // Should a writer open the file in the moment the lease is held, the lease's break is
    // signalled to us; SIGIO would end the program, SIGURG is ignored unless handled.
    if (::fcntl(fd, F_SETSIG, SIGURG) == 0) {
      if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) ::fcntl(fd, F_SETLEASE, F_UNLCK);
      else writing = errno == EAGAIN || errno == EBUSY;
    }
    ::close(fd);
    return writing;
#else
    (void)path;
    return false;
#endif
  }
};

}  // namespace

std::unique_ptr<DirectoryLister> MakeDirectoryLister() { return std::make_unique<PosixDirectoryLister>(); }

}  // namespace platform
