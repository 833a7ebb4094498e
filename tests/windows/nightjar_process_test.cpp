// Tests of nightjar.exe as a user runs it: started as a process of its own in an empty working
// folder, its main window found by its title and inspected from outside, closed with its Close
// button, and the process ending with exit code 0.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <commctrl.h>

#include "process_support.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "files/files.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"

namespace {

using rt::win32::kFirstControlId;
using rt::win32::Narrow;
using rt::win32::Widen;
using test_support::ClassOf;
using test_support::TestProcess;
using test_support::TextOf;
using test_support::TopLevelWindowsOf;
using test_support::WaitUntil;
using test_support::WindowsPath;
namespace f = procedures::main_field;
namespace af = procedures::application_form_field;

constexpr wchar_t kMainTitle[] = L"Nightjar (Batchwright)";
constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 20000;

// An empty working folder for one run of the program, removed with what the program left in it.
class WorkFolder {
 public:
  WorkFolder() {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"nightjar-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~WorkFolder() {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          DeleteFileW((path_ + L"\\" + data.cFileName).c_str());
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

TEST(NightjarProcess, ShowsTheMainWindowAndEndsCleanlyWithClose) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  WorkFolder folder;
  TestProcess program;
  ASSERT_TRUE(program.Start(WindowsPath(NIGHTJAR_EXE), "", Narrow(folder.path())))
      << "cannot start " << NIGHTJAR_EXE << " (error " << GetLastError() << ")";
  WaitForInputIdle(program.handle(), kStartTimeoutMs);

  // The main window, once it takes input. The warning shown at start (no IDE is running) is
  // answered first, as a user would; the window shows before its open event brings the warning.
  HWND main = nullptr;
  std::set<HWND> answered;
  DWORD start = GetTickCount();
  while (!main && GetTickCount() - start < kStartTimeoutMs) {
    for (HWND hwnd : TopLevelWindowsOf(program.id())) {
      if (ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == L"Warning") {
        if (answered.insert(hwnd).second) PostMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
      } else if (TextOf(hwnd) == kMainTitle && IsWindowEnabled(hwnd) && !answered.empty()) {
        main = hwnd;
      }
    }
    // Polls the program's windows a few times a second, and notices when it ended instead.
    if (!main) {
      ASSERT_EQ(WaitForSingleObject(program.handle(), 100), WAIT_TIMEOUT) << "the program ended";
    }
  }
  ASSERT_NE(main, nullptr) << "no main window within " << kStartTimeoutMs << " ms";

  // One child per control, texts as the definition has them.
  const rt::WindowDef& def = procedures::kMainWindow;
  int children = 0;
  for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++children;
  int spins = 0;
  for (const rt::ControlDef& c : def.controls) spins += c.kind == rt::ControlKind::Spin ? 1 : 0;
  EXPECT_EQ(children, def.ControlCount() + spins + 1);  // each spin box and the list have two
  for (int field = 1; field <= def.ControlCount(); ++field) {
    const rt::ControlDef& c = def.control(field);
    HWND hwnd = GetDlgItem(main, kFirstControlId + field);
    ASSERT_NE(hwnd, nullptr) << c.name;
    if (c.kind == rt::ControlKind::Button || c.kind == rt::ControlKind::Prompt ||
        c.kind == rt::ControlKind::Group || c.kind == rt::ControlKind::Check) {
      EXPECT_EQ(TextOf(hwnd), Widen(c.text)) << c.name;
    }
  }

  // Started in an empty folder, it made its application list there without asking.
  EXPECT_NE(GetFileAttributesW((folder.path() + L"\\APPS.db").c_str()), INVALID_FILE_ATTRIBUTES);

  PostMessageW(GetDlgItem(main, kFirstControlId + f::Close), BM_CLICK, 0, 0);
  ASSERT_EQ(WaitForSingleObject(program.handle(), kExitTimeoutMs), WAIT_OBJECT_0)
      << "the program did not end after Close";
  DWORD exit_code = 1;
  GetExitCodeProcess(program.handle(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
#endif
}

TEST(NightjarProcess, ForeignFileNamedLikeTheListEndsWithInvalidFile) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  WorkFolder folder;
  const std::wstring apps = folder.path() + L"\\APPS.db";
  HANDLE file = CreateFileW(apps.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char text[] = "a note that happens to carry the list's name\r\n";
  DWORD written = 0;
  WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
  CloseHandle(file);

  TestProcess program;
  ASSERT_TRUE(program.Start(WindowsPath(NIGHTJAR_EXE), "", Narrow(folder.path())));
  // The "Invalid File" warning, then the halt's own box; no main window comes up in between.
  std::vector<std::wstring> boxes;
  std::set<HWND> answered;
  bool saw_main = false;
  DWORD start = GetTickCount();
  while (WaitForSingleObject(program.handle(), 100) == WAIT_TIMEOUT && GetTickCount() - start < kStartTimeoutMs) {
    for (HWND hwnd : TopLevelWindowsOf(program.id())) {
      if (ClassOf(hwnd) == L"#32770") {
        if (answered.insert(hwnd).second) {
          boxes.push_back(TextOf(hwnd));
          PostMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        }
      } else if (TextOf(hwnd) == kMainTitle) {
        saw_main = true;
      }
    }
  }
  ASSERT_EQ(WaitForSingleObject(program.handle(), 0), WAIT_OBJECT_0) << "the program did not end";
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.front(), L"Invalid File");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], L"Nightjar");  // the halt box carries the program's name
  EXPECT_FALSE(saw_main);
  DWORD exit_code = 0;
  GetExitCodeProcess(program.handle(), &exit_code);
  EXPECT_NE(exit_code, 0u);  // a halt is no success
  // The file is left as it was.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(apps.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, sizeof(text) - 1);
#endif
}

// Waits for the main window of `program`, answering the start-up warning (no IDE is running).
HWND WaitForMainWindow(TestProcess& program) {
  std::set<HWND> answered;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < kStartTimeoutMs) {
    for (HWND hwnd : TopLevelWindowsOf(program.id())) {
      if (ClassOf(hwnd) == L"#32770") {
        if (answered.insert(hwnd).second) PostMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
      } else if (TextOf(hwnd) == kMainTitle && IsWindowEnabled(hwnd) && answered.size() > 0) {
        return hwnd;
      }
    }
    if (WaitForSingleObject(program.handle(), 100) != WAIT_TIMEOUT) return nullptr;
  }
  return nullptr;
}

// The highlighted row of a list in another process (0-based, -1 for none), asked without pointers.
int HighlightedRow(HWND list) {
  DWORD_PTR row = static_cast<DWORD_PTR>(-1);
  SendMessageTimeoutW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, SMTO_ABORTIFHUNG,
                      5000, &row);
  return static_cast<int>(static_cast<LONG_PTR>(row));
}

TEST(NightjarProcess, ListsTheApplicationsAndTagMovesTheHighlightDown) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  WorkFolder folder;
  {
    // Three applications, written with the store in the program's working folder.
    wchar_t previous[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
    files::Files files;
    files.Apps.Create();
    files.Apps.Open();
    for (const char* name : {"ONE.APP", "TWO.APP", "THREE.APP"}) {
      files.APP.DriveNPath = "C:\\APPS\\";
      files.APP.Application = name;
      files.APP.Tag = 0;
      files.Apps.Add();
    }
    int code = files.store.error.code;
    files.Apps.Close();
    SetCurrentDirectoryW(previous);
    ASSERT_EQ(code, 0);
  }

  TestProcess program;
  ASSERT_TRUE(program.Start(WindowsPath(NIGHTJAR_EXE), "", Narrow(folder.path())));
  HWND main = WaitForMainWindow(program);
  ASSERT_NE(main, nullptr);
  HWND list = GetDlgItem(main, kFirstControlId + f::Browse_1);
  ASSERT_NE(list, nullptr);
  // The list takes its rows when the window has settled: ONE, THREE, TWO in key order.
  WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3; }, kStartTimeoutMs);
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(HighlightedRow(list), 0);

  PostMessageW(GetDlgItem(main, kFirstControlId + f::Tag), BM_CLICK, 0, 0);
  WaitUntil([&] { return HighlightedRow(list) == 1; }, kExitTimeoutMs);
  EXPECT_EQ(HighlightedRow(list), 1);

  PostMessageW(GetDlgItem(main, kFirstControlId + f::Close), BM_CLICK, 0, 0);
  ASSERT_EQ(WaitForSingleObject(program.handle(), kExitTimeoutMs), WAIT_OBJECT_0);

  // The first application in key order, ONE.APP, is tagged now; the others are not.
  wchar_t previous[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.path().c_str()));
  files::Files files;
  files.Apps.Open();
  files.Apps.Set(store::Order::Key);
  std::vector<std::string> tagged;
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
    if (files.APP.Tag == 1) tagged.push_back(files.APP.Application.str());
  files.Apps.Close();
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(tagged, std::vector<std::string>{"ONE.APP"});
#endif
}

// Presses a button of a window in another process, as a click would.
void Click(HWND window, int field) { PostMessageW(GetDlgItem(window, kFirstControlId + field), BM_CLICK, 0, 0); }


// The Apps records of `folder` as "directory|name|tag", read with the store.
std::vector<std::string> StoredApps(const std::wstring& folder) {
  wchar_t previous[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, previous);
  std::vector<std::string> rows;
  if (!SetCurrentDirectoryW(folder.c_str())) return rows;
  files::Files files;
  files.Apps.Open();
  files.Apps.Set(store::Order::Key);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
    rows.push_back(files.APP.DriveNPath.str() + "|" + files.APP.Application.str() + "|" + std::to_string(files.APP.Tag));
  files.Apps.Close();
  SetCurrentDirectoryW(previous);
  return rows;
}

// From an empty folder, as a new user would: Insert, a typed path, OK; then Change and Delete.
TEST(NightjarProcess, AddsChangesAndDeletesAnApplicationThroughItsForm) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  WorkFolder folder;
  const std::string dir = Narrow(folder.path()) + "\\";
  ASSERT_LE(dir.size(), 80u) << "the folder does not fit APP:DriveNPath";
  HANDLE file = CreateFileW((folder.path() + L"\\INVOICE.APP").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  TestProcess program;
  ASSERT_TRUE(program.Start(WindowsPath(NIGHTJAR_EXE), "", Narrow(folder.path())));
  HWND main = WaitForMainWindow(program);
  ASSERT_NE(main, nullptr);
  HWND list = GetDlgItem(main, kFirstControlId + f::Browse_1);

  Click(main, f::Insert);
  HWND form = test_support::WaitForWindow(program.id(), L"Record will be Added", kStartTimeoutMs);
  ASSERT_NE(form, nullptr) << "no form titled \"Record will be Added\"";
  const std::wstring path = Widen(dir + "INVOICE.APP");
  SendMessageTimeoutW(GetDlgItem(form, kFirstControlId + af::FileName), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
  Click(form, af::OK);
  ASSERT_TRUE(WaitUntil([&] { return test_support::ListRowCount(list) == 1; }, kExitTimeoutMs))
      << "the new row did not show";
  EXPECT_FALSE(IsWindow(form));
  EXPECT_EQ(test_support::ListCellText(program.handle(), list, 0, 1), Widen(dir));
  // The application column is indented by a blank.
  EXPECT_EQ(test_support::ListCellText(program.handle(), list, 0, 2), L" INVOICE.APP");
  EXPECT_EQ(StoredApps(folder.path()), std::vector<std::string>{dir + "|INVOICE.APP|0"});

  Click(main, f::Change);
  form = test_support::WaitForWindow(program.id(), L"Record will be Changed", kStartTimeoutMs);
  ASSERT_NE(form, nullptr) << "no form titled \"Record will be Changed\"";
  EXPECT_EQ(TextOf(GetDlgItem(form, kFirstControlId + af::FileName)), path);
  Click(form, af::APP_Tag);
  Click(form, af::OK);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }, kExitTimeoutMs));
  EXPECT_EQ(StoredApps(folder.path()), std::vector<std::string>{dir + "|INVOICE.APP|1"});

  // Esc leaves the form as Cancel does: the ticked box is not saved.
  Click(main, f::Change);
  form = test_support::WaitForWindow(program.id(), L"Record will be Changed", kStartTimeoutMs);
  ASSERT_NE(form, nullptr);
  Click(form, af::APP_Tag);
  HWND entry = GetDlgItem(form, kFirstControlId + af::FileName);
  PostMessageW(entry, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageW(entry, WM_KEYUP, VK_ESCAPE, 0xC0000001);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }, kExitTimeoutMs)) << "Esc did not leave the form";
  EXPECT_EQ(StoredApps(folder.path()), std::vector<std::string>{dir + "|INVOICE.APP|1"});

  Click(main, f::Delete);
  HWND confirm = test_support::WaitForWindow(program.id(), L"Confirm Delete", kStartTimeoutMs);
  ASSERT_NE(confirm, nullptr) << "no confirmation";
  PostMessageW(GetDlgItem(confirm, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return test_support::ListRowCount(list) == 0; }, kExitTimeoutMs)) << "the row did not go";
  EXPECT_TRUE(StoredApps(folder.path()).empty());

  // No batch has run here: the log says it is empty, and its window goes with the message.
  Click(main, f::Log);
  HWND empty = test_support::WaitForWindow(program.id(), L"Activity Log", kStartTimeoutMs);
  ASSERT_NE(empty, nullptr) << "no message about the empty log";
  PostMessageW(GetDlgItem(empty, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(main) && !IsWindow(empty); }, kExitTimeoutMs));
  EXPECT_EQ(test_support::WaitForWindow(program.id(), L"Acitivity Log", 500), nullptr);

  Click(main, f::Close);
  ASSERT_EQ(WaitForSingleObject(program.handle(), kExitTimeoutMs), WAIT_OBJECT_0);
#endif
}

}  // namespace
