// Process and window helpers of the Windows tests.
#include "process_support.h"

#include <commctrl.h>

namespace test_support {

std::string WindowsPath(const char* path) {
  std::string out = path;
  if (!out.empty() && out[0] == '/') out = "Z:" + out;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[128] = L"";
  GetClassNameW(hwnd, buffer, 128);
  return buffer;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[512] = L"";
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied);
  return buffer;
}

std::vector<HWND> TopLevelWindowsOf(DWORD process_id) {
  struct Search {
    DWORD process_id;
    std::vector<HWND> found;
  } search{process_id, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM param) {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->process_id && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ListCellText(HANDLE process, HWND list, int row, int column) {
  constexpr SIZE_T kChars = 260;
  // One block in the other process: the item description, then the text buffer it points to.
  void* remote = VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT,
                                PAGE_READWRITE);
  if (!remote) return L"";
  auto* remote_text = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(LVITEMW));
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = remote_text;
  item.cchTextMax = static_cast<int>(kChars);
  std::wstring text;
  if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr)) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                        SMTO_ABORTIFHUNG, 5000, &length);
    std::wstring buffer(kChars, L'\0');
    if (ReadProcessMemory(process, remote_text, buffer.data(), kChars * sizeof(wchar_t), nullptr))
      text = buffer.c_str();
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return text;
}

int ListRowCount(HWND list) {
  DWORD_PTR count = 0;
  SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  return static_cast<int>(count);
}

HWND WaitForWindow(DWORD process_id, const std::wstring& title, DWORD ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND hwnd : TopLevelWindowsOf(process_id))
          if (TextOf(hwnd) == title && IsWindowEnabled(hwnd)) found = hwnd;
        return found != nullptr;
      },
      ms);
  return found;
}

TestProcess::~TestProcess() {
  if (!info_.hProcess) return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 20000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool TestProcess::Start(const std::string& program, const std::string& arguments, const std::string& folder,
                        const std::string& out_file, const std::string& err_file) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  const bool redirected = !out_file.empty();
  HANDLE out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
  if (redirected) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    out = CreateFileA(out_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0,
                      nullptr);
    err = CreateFileA(err_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0,
                      nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    startup.hStdInput = nullptr;
  }
  std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  const bool started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, redirected ? TRUE : FALSE,
                                      redirected ? CREATE_NO_WINDOW : 0, nullptr,
                                      folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
  return started;
}

int TestProcess::Wait(DWORD ms) const {
  if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace test_support
