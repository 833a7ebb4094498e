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

// Whether `given` (a full path, or a file name alone, taken in the application's directory) names
// the application stored as `directory` + `name`. Letter case is ignored; the two are compared
// component by component, and where the texts of a component differ, they still name the same
// folder or file when the system gives both paths up to there one short (8.3) form, so that a long
// path, a short path or any mix of the two finds the record (C:\Apps\Bücher\Invoice01.APP finds
// C:\Apps\B_CH~1KL\INVOIC~1.APP). A component differing from its counterpart is only looked up when
// one of the two holds "~", as every generated short name does. With `lister` null, or where the
// system gives no short names, the texts alone decide.
bool NamesApplication(std::string_view given, std::string_view directory, std::string_view name,
                      platform::DirectoryLister* lister);

// Whether `file_name` is one that Windows takes for a device rather than a file, in any folder and
// with any extension: CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (also with the superscript
// digits 1, 2 and 3), letter case ignored, blanks before the extension too. "CON.APP" opened by the
// IDE would be the console, not an application. `device` is set to the device's name.
bool IsDeviceName(std::string_view file_name, std::string* device = nullptr);

}  // namespace files
