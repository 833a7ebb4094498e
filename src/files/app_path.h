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

// What a record stores for an application's file, and the long path kept beside it (APPSLAST.db).
struct StoredPath {
  AppPath parts;          // the directory (with its separator) and the name, as the record holds them
  std::string long_path;  // the file's path by its long names, as the user sees it
};

// `given`, a full path in any spelling (long, short or mixed names), as a record stores it. The
// folder and the name are each decided on their own, so that every application of one folder
// stores that folder alike, whatever its name needs: the folder by its long form where that fits
// its 80 characters, otherwise by its short form where the system gives one that fits, otherwise by
// KeyedFolder; the name by its long form where it fits 12, otherwise by its short name, otherwise
// by KeyedName. The long path is the system's long form of `given` (`given` itself where the system
// tells none: POSIX, or a file that is not there). The parts always fit.
StoredPath StoreAppPath(const std::string& given, platform::DirectoryLister& lister);

// A folder (any spelling, with or without its separator) as a record stores it, as StoreAppPath
// stores the folder of each of its applications; it ends in its separator.
std::string StoreFolder(std::string_view folder, platform::DirectoryLister& lister);

// Stand-ins for a folder (ending in its separator, at most 80 characters) and a file name (at most
// 12) that do not fit the record where the system gives them no short name: the leading folders
// that fit, then "|" and a hash of the whole folder's key; "|" and a hash of the name's key, with
// its extension. The same long name gives the same stand-in on every station, letter case and
// separators aside, and "|" is a character Windows refuses in any file name, so that a stand-in
// never names an existing file there.
std::string KeyedFolder(std::string_view long_folder);
std::string KeyedName(std::string_view long_name);
inline constexpr char kKeyMark = '|';
// Whether a stored path holds a stand-in (KeyedFolder or KeyedName) rather than names on disk.
bool IsKeyed(std::string_view stored_path);

// The path by which a batch reaches an application stored as `directory` + `name`, with
// `long_path` kept beside it: the stored path, short names and all (an older IDE may read only
// 8.3 paths), except where the record holds a stand-in, which names nothing: then the long path.
// The batch sends it to the IDE and looks for the application's files by it.
std::string CommandPath(std::string_view directory, std::string_view name, std::string_view long_path);

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
