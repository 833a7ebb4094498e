// Process and window helpers of the Windows tests.
#include "process_support.h"

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

TestProcess::~TestProcess() {
  if (!info_.hProcess) return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 20000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool TestProcess::Start(const std::string& program, const std::string& arguments, const std::string& folder) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  return CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != 0;
}

}  // namespace test_support
