// Directory listing by wildcard pattern, ordinary files only, names matched without regard to letter
// case on every platform. The batch operations use it to find an application's files and the file
// a job writes; the application form to check that a path names a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"  // DayNumber, for the entries' dates

namespace platform {

// Attribute bits of an entry, as the IDE's platform numbers them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

// One file found: its name without the folder, its last change as the program counts dates and
// times (day number, hundredths of a second since midnight, local time), its size in bytes and its
// attribute bits.
struct DirectoryEntry {
  std::string name;
  std::int32_t date = 0;
  std::int32_t time = 0;
  std::int64_t size = 0;
  std::uint32_t attributes = 0;
};

class DirectoryLister {
 public:
  virtual ~DirectoryLister() = default;

  // Lists the ordinary files (no folders, devices or other special files) of the folder that
  // `pattern` names whose names match its last part: `pattern` is a folder, taken as written, then
  // a separator ("\" on Windows; "/" or "\" on POSIX), then a name pattern in which "*" stands for
  // any run of characters and "?" for one character (MatchesNamePattern). A pattern without a
  // separator lists the current folder. Replaces `entries` with what was found, in order of their
  // names ignoring case. Returns 0 when the folder could be read (found nothing or not), otherwise
  // the platform's error number (errno, GetLastError) with `entries` empty: a folder that does not
  // exist is such an error, and to a caller that only asks whether a file is there it means "none".
  // A name part without "*" and "?" also finds a file by its short (8.3) name where the platform
  // gives files one, so that a short path found by ShortPath lists its file.
  // `pattern` and the names found are code-page text: a file whose name the code page cannot hold
  // is listed by its short name where it has one, and is otherwise left out (LeftOut), so that
  // no name comes back with "?" in it.
  virtual int List(const std::string& pattern, std::vector<DirectoryEntry>& entries) = 0;

  // The names (in UTF-8, to be shown) of the files matching the pattern that the last List left
  // out because the code page cannot hold them and they have no short name, or because they hold
  // "*" or "?" (POSIX allows them), which would make them patterns.
  const std::vector<std::string>& LeftOut() const { return left_out_; }

  // The short (8.3) form of the existing file or folder `path`, for a path too long for a record's
  // fields and to tell whether two paths name the same file; "" when it does not exist or the
  // platform gives it no short form (POSIX never does).
  virtual std::string ShortPath(const std::string& /*path*/) { return {}; }

  // The long form of the existing file or folder `path`, each of its components by its own (long)
  // name, as the user named it, however `path` spells them (short, long or mixed); "" when it does
  // not exist, when the code page cannot hold the long form, or where the platform gives no short
  // names (POSIX), so that every spelling is already the long one.
  virtual std::string LongPath(const std::string& /*path*/) { return {}; }

  // Where a program named without a folder is looked for, as Windows looks: the current folder,
  // then the running program's own folder, then the folders of PATH, each ending in its separator
  // ("" where it cannot be told). A test's lister may give other folders.
  struct ProgramFolders {
    std::string current;
    std::string own;
    std::vector<std::string> path;
  };
  virtual ProgramFolders ProgramSearch();

  // Whether the existing file `path` is still open for writing by some program (its writer has not
  // finished with it): Windows tells by a sharing conflict when the file is opened for reading
  // with writers shut out; Linux by a read lease that cannot be taken. False where it cannot be
  // told, and for a file that does not exist.
  virtual bool IsBeingWritten(const std::string& /*path*/) { return false; }

 protected:
  std::vector<std::string> left_out_;

 private:
  // The running program's folder, ending in its separator; "" when it cannot be told.
  virtual std::string OwnFolder() { return {}; }
};

// The platform's directory separator: "\" on Windows, "/" on POSIX (where "\" also separates when
// a path is split).
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Whether `name` matches `pattern`, letter case ignored (ASCII): "*" matches any run of characters,
// the empty one too, "?" exactly one, anything else itself. "*.*" matches every name, with or
// without a dot, as the IDE's platform has it.
bool MatchesNamePattern(std::string_view name, std::string_view pattern);

// Splits a pattern (or a path) at its last separator into the folder, separator included, and the
// name part; the folder is "" when there is none. Both "\" and "/" separate on every platform.
void SplitFolder(std::string_view pattern, std::string& folder, std::string& name);

// Sorts entries by name ignoring case, as List returns them.
void SortByName(std::vector<DirectoryEntry>& entries);

// The real lister of this platform (posix/ or win32/directory_lister.cpp).
std::unique_ptr<DirectoryLister> MakeDirectoryLister();

}  // namespace platform
