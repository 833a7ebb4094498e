// The store's file-system calls on Windows: GetLastError numbers and the system's own messages.
#include "platform/file_access.h"

#include <windows.h>

namespace platform::file_access {

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
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error_number), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "Unknown error";
  return message;
}

int ProbeReadWrite(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  CloseHandle(file);
  return 0;
}

int DeleteIfPresent(const std::string& path) {
  if (DeleteFileA(path.c_str())) return 0;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
}

int ReplaceWith(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return static_cast<int>(GetLastError());
}

int MoveNoReplace(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
  return static_cast<int>(GetLastError());
}

bool IsAlreadyExists(int error_number) {
  return error_number == ERROR_ALREADY_EXISTS || error_number == ERROR_FILE_EXISTS;
}

int DiskFullError() { return ERROR_DISK_FULL; }

}  // namespace platform::file_access
