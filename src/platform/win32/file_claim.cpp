// The file claim on Windows: a byte-range lock (LockFileEx) on a handle of its own, which the
// system drops when the handle is closed or the process ends, however it ends. Names and texts go
// through the code-page converter, the file's name to the system in UTF-16.
#include "platform/file_claim.h"

#include <windows.h>

#include "platform/code_page.h"

namespace platform {
namespace {

// The locked byte lies beyond the holder's text, which stays readable by the others.
constexpr DWORD kLockOffset = 1 << 20;

class Win32Claim final : public FileClaim {
 public:
  explicit Win32Claim(HANDLE file) : file_(file) {}
  ~Win32Claim() override {
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
    OVERLAPPED at{};
    at.Offset = kLockOffset;
    UnlockFileEx(file_, 0, 1, 0, &at);
    CloseHandle(file_);
  }

 private:
  HANDLE file_;
};

std::string SystemReason(DWORD code) {
  wchar_t text[256] = L"";
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                256, nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L'.')) --length;
  // Only shown: a character the code page lacks may stand as "?".
  std::string reason;
  FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), length), reason);
  return length > 0 ? reason : "system error " + std::to_string(code);
}

}  // namespace

std::unique_ptr<FileClaim> ClaimFile(const std::string& path, const std::string& holder, std::string& held_by) {
  held_by.clear();
  const std::u16string wide = ToUtf16(path);
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    held_by = "(" + SystemReason(GetLastError()) + ")";
    return nullptr;
  }
  // Only a file on a disk is a claim: a pipe or a device of that name (a FIFO under wine) would
  // block the read of its holder for ever.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    held_by = "(" + path + " is a pipe or a device, not a file that can be claimed)";
    CloseHandle(file);
    return nullptr;
  }
  OVERLAPPED at{};
  at.Offset = kLockOffset;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    char text[512];
    DWORD got = 0;
    if (ReadFile(file, text, sizeof text, &got, nullptr) && got > 0) held_by.assign(text, got);
    CloseHandle(file);
    return nullptr;
  }
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  DWORD written = 0;
  WriteFile(file, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr);
  FlushFileBuffers(file);
  return std::make_unique<Win32Claim>(file);
}

std::string StationName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = L"";
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return "";
  std::string station;
  FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(name), size), station);
  return station;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
