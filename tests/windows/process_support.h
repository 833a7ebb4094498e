// What the Windows tests need to run nightjar.exe and the IDE stand-in as processes of their own
// and look at their windows from outside: paths under wine, window texts and classes, a process's
// top-level windows, and a process handle that ends what it started.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

// CMake names the programs by their paths on the build machine; under wine a Unix path is reached
// through drive Z:.
std::string WindowsPath(const char* path);

std::wstring ClassOf(HWND hwnd);
// The text of a window of another process, asked from the window itself.
std::wstring TextOf(HWND hwnd);
// The visible top-level windows of a process (its main window, its message boxes).
std::vector<HWND> TopLevelWindowsOf(DWORD process_id);

// The text of one cell (0-based row and column) of a list view in another process, read through a
// buffer in that process's memory.
std::wstring ListCellText(HANDLE process, HWND list, int row, int column);
// The number of rows a list view of another process shows.
int ListRowCount(HWND list);

// The one wait of the Windows tests for what another process or thread does: polls `done` every
// 50 ms until it holds or `ms` have passed, and gives its last answer. A test never sleeps to show
// that something did not happen; it waits for a later thing that must come after it (a line in
// the stand-in's log, the program's exit) instead.
template <typename Done>
bool WaitUntil(Done done, DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
    if (done()) return true;
  return done();
}

// Waits up to `ms` for a visible top-level window of `process_id` titled `title`; nullptr if none.
HWND WaitForWindow(DWORD process_id, const std::wstring& title, DWORD ms);

// A started program; one still running when the handle goes is ended, so that a failing test
// leaves nothing behind.
class TestProcess {
 public:
  TestProcess() = default;
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;
  ~TestProcess();
  // Starts `program` with `arguments` in `folder` ("" = this process's current folder). With
  // `out_file` and `err_file`, a console program without a console of its own, its standard
  // output and error written to those files.
  bool Start(const std::string& program, const std::string& arguments = "", const std::string& folder = "",
             const std::string& out_file = "", const std::string& err_file = "");
  // The exit code once the process ended within `ms`; -1 when it did not.
  int Wait(DWORD ms) const;
  HANDLE handle() const { return info_.hProcess; }
  DWORD id() const { return info_.dwProcessId; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  PROCESS_INFORMATION info_{};
};

}  // namespace test_support
