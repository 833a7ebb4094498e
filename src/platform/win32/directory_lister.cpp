// Directory listing on Windows: every entry of the folder through FindFirstFileW, matched by our own
// pattern rule rather than the system's, which also matches the generated short names ("*.APP"
// would find "INVOICE.APPX" through "INVOIC~1.APP"); an exact name also finds a file by its short
// name, as a record may hold a short path. Names are converted from the system's UTF-16 to the
// code page; one it cannot hold is given by its short name, or left out. Whether a file is still
// being written shows as a sharing conflict.
#include <windows.h>

#include "platform/code_page.h"
#include "platform/directory_lister.h"

namespace platform {
namespace {

std::u16string Wide(const std::string& text) { return ToUtf16(text); }
const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string Of(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
std::u16string Of(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// `path` as GetShortPathNameW or GetLongPathNameW spell it, in the code page; "" when the file is
// not there or the code page cannot hold the result.
std::string Spelt(DWORD(WINAPI* spell)(LPCWSTR, LPWSTR, DWORD), const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = spell(W(Wide(path)), buffer, MAX_PATH);
  std::string out;
  if (length == 0 || length >= MAX_PATH || !FromUtf16(Of(buffer, length), out)) return {};
  return out;
}

class Win32DirectoryLister final : public DirectoryLister {
 public:
  int List(const std::string& pattern, std::vector<DirectoryEntry>& entries) override {
    entries.clear();
    left_out_.clear();
    std::string folder;
    std::string name_pattern;
    SplitFolder(pattern, folder, name_pattern);
    const bool exact = name_pattern.find_first_of("*?") == std::string::npos;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(Wide(folder + "*")), &data);
    if (find == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      // An existing folder without entries is no error.
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(error);
    }
    do {
      if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
      std::string name, short_name;
      const bool held = FromUtf16(Of(data.cFileName), name);
      const bool short_held = data.cAlternateFileName[0] != L'\0' && FromUtf16(Of(data.cAlternateFileName), short_name);
      if (!held) {
        // `name` holds "?" for what the code page lacks: never given out, only told of.
        if (!short_held) {
          if (MatchesNamePattern(name, name_pattern)) left_out_.push_back(Utf16ToUtf8(Of(data.cFileName)));
          continue;
        }
        name = short_name;
        if (!MatchesNamePattern(name, name_pattern)) continue;
      } else if (!MatchesNamePattern(name, name_pattern) &&
                 !(exact && short_held && MatchesNamePattern(short_name, name_pattern))) {
        continue;
      }
      DirectoryEntry entry;
      entry.name = name;
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
    } while (FindNextFileW(find, &data));
    FindClose(find);
    SortByName(entries);
    return 0;
  }

  std::string ShortPath(const std::string& path) override { return Spelt(GetShortPathNameW, path); }
  std::string LongPath(const std::string& path) override { return Spelt(GetLongPathNameW, path); }

  std::string OwnFolder() override {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string full;
    if (length == 0 || length >= MAX_PATH || !NameFromUtf16(Of(path, length), full)) return {};
    return full.substr(0, full.find_last_of('\\') + 1);
  }

  bool IsBeingWritten(const std::string& path) override {
    // Opened for reading with writers shut out: Windows refuses while any handle with write
    // access is open on the file.
    HANDLE file = CreateFileW(W(Wide(path)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
