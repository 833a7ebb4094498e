// An application's path as the Apps record holds it: the directory (ending in its separator) in
// APP:DriveNPath, 80 characters, and the file name in APP:Application, 12. Used by the application
// form and by the console's add command, which add applications the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {
class DirectoryLister;
}

namespace files {

inline constexpr std::size_t kDirectoryWidth = 80;    // APP:DriveNPath
inline constexpr std::size_t kApplicationWidth = 12;  // APP:Application

// The directory (separator included) and the name of a full path, split at its last separator.
struct AppPath {
  std::string directory;
  std::string name;
  bool Fits() const { return directory.size() <= kDirectoryWidth && name.size() <= kApplicationWidth; }
};

AppPath SplitAppPath(std::string_view full);

// The directory as the record stores it: ending in a separator, unless one does not fit.
std::string WithSeparator(std::string_view directory);

// `full` split for the record; a path whose parts do not fit is replaced (in `full` too) by the
// file's short path when the system has one that fits. The result may still not fit.
AppPath FitAppPath(std::string& full, platform::DirectoryLister& lister);

}  // namespace files
