// Directory listing on Windows: every entry of the folder through FindFirstFile, matched by our own
// pattern rule rather than the system's, which also matches the generated short names ("*.APP"
// would find "INVOICE.APPX" through "INVOIC~1.APP"); an exact name also finds a file by its short
// name, as a record may hold a short path. Whether a file is still being written shows as a
// sharing conflict.
#include <windows.h>

#include "platform/directory_lister.h"

namespace platform {
namespace {

class Win32DirectoryLister final : public DirectoryLister {
 public:
  int List(const std::string& pattern, std::vector<DirectoryEntry>& entries) override {
    entries.clear();
    std::string folder;
    std::string name_pattern;
    SplitFolder(pattern, folder, name_pattern);
    const bool exact = name_pattern.find_first_of("*?") == std::string::npos;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      // An existing folder without entries is no error.
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(error);
    }
    do {
      if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
      if (!MatchesNamePattern(data.cFileName, name_pattern) &&
          !(exact && data.cAlternateFileName[0] != '\0' &&
            MatchesNamePattern(data.cAlternateFileName, name_pattern)))
        continue;
      DirectoryEntry entry;
      entry.name = data.cFileName;
      entry.size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      entry.attributes = data.dwFileAttributes &
                         (kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive);
      FILETIME local;
      SYSTEMTIME when;
      if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &when)) {
        entry.date = DayNumber(when.wYear, when.wMonth, when.wDay);
        entry.time = ((when.wHour * 60 + when.wMinute) * 60 + when.wSecond) * 100 + when.wMilliseconds / 10;
      }
      entries.push_back(std::move(entry));
    } while (FindNextFileA(find, &data));
    FindClose(find);
    SortByName(entries);
    return 0;
  }

  std::string ShortPath(const std::string& path) override {
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(buffer, length);
  }

  bool IsBeingWritten(const std::string& path) override {
    // Opened for reading with writers shut out: Windows refuses while any handle with write
    // access is open on the file.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(file);
    return false;
  }
};

}  // namespace

std::unique_ptr<DirectoryLister> MakeDirectoryLister() { return std::make_unique<Win32DirectoryLister>(); }

}  // namespace platform
