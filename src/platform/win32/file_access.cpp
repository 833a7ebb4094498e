// The store's file-system calls on Windows: GetLastError numbers and the system's own messages;
// the wide calls, with paths converted from the code page.
#include "platform/file_access.h"

#include <windows.h>

#include "platform/code_page.h"

namespace platform::file_access {
namespace {

struct Wide {
  explicit Wide(const std::string& text) : text(ToUtf16(text)) {}
  operator const wchar_t*() const { return reinterpret_cast<const wchar_t*>(text.c_str()); }
  std::u16string text;
};

std::u16string Of(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace

ErrorKind KindOf(int error_number) {
  switch (static_cast<DWORD>(error_number)) {
    case 0:
      return ErrorKind::None;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ErrorKind::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return ErrorKind::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorKind::Locked;
    default:
      return ErrorKind::Other;
  }
}

std::string MessageOf(int error_number) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error_number), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  // A message is only shown: a character the code page lacks may stand as "?".
  if (length > 0 && text != nullptr) FromUtf16(Of(text, length), message);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "Unknown error";
  return message;
}

int ProbeReadWrite(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  CloseHandle(file);
  return 0;
}

int ProbeCreate(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  CloseHandle(file);
  return 0;
}

int DeleteIfPresent(const std::string& path) {
  if (DeleteFileW(Wide(path))) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
}

int ReplaceWith(const std::string& from, const std::string& to) {
  if (MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return static_cast<int>(GetLastError());
}

int MoveNoReplace(const std::string& from, const std::string& to) {
  if (MoveFileExW(Wide(from), Wide(to), MOVEFILE_WRITE_THROUGH)) return 0;
  return static_cast<int>(GetLastError());
}

bool IsAlreadyExists(int error_number) {
  return error_number == ERROR_ALREADY_EXISTS || error_number == ERROR_FILE_EXISTS;
}

bool FullFolderPath(const std::string& relative, std::string& folder) {
  std::u16string wide = ToUtf16(relative.empty() ? "." : relative);
  wchar_t full[32768];
  DWORD length = GetFullPathNameW(reinterpret_cast<const wchar_t*>(wide.c_str()), 32768, full, nullptr);
  if (length == 0 || length >= 32768) {
    folder = relative;
    return false;
  }
  std::u16string path = Of(full, length);
  if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
  if (FromUtf16(path, folder)) return true;
  wchar_t short_path[32768];
  length = GetShortPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), short_path, 32768);
  if (length > 0 && length < 32768 && FromUtf16(Of(short_path, length), folder)) return true;
  folder = Utf16ToUtf8(path);
  return false;
}

int DiskFullError() { return ERROR_DISK_FULL; }

}  // namespace platform::file_access
