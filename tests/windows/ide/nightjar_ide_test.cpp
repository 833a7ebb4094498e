// nightjar.exe and the IDE as two real processes under wine: started with no IDE it warns and shows
// "Not Connected"; with ide-standin.exe answering it opens connected and silent; and one whole
// Gen & Make batch: the stale executable deleted, the new one awaited, two log records, which the
// Log button then shows.
// Each test ends every process it started and checks that no DDE server is left answering.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/ddeml_client.h"
#include "process_support.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "files/files.h"
#include "windows/activity_log_def.h"
#include "windows/activity_record_def.h"
#include "windows/main_def.h"

namespace {

namespace fs = std::filesystem;
namespace f = windows::main_field;
using rt::win32::kFirstControlId;
using rt::win32::Narrow;
using rt::win32::Widen;
using test_support::ClassOf;
using test_support::TextOf;
using test_support::TopLevelWindowsOf;
using test_support::WindowsPath;

constexpr wchar_t kMainTitle[] = L"Nightjar (Batchwright)";
constexpr DWORD kStartTimeoutMs = 30000;

// Every text inside a dialog: a message box's message is one of them.
std::vector<std::wstring> ChildTexts(HWND dialog) {
  std::vector<std::wstring> texts;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) {
        reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(TextOf(child));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool AnyServerAnswers() {
  auto probe = platform::MakeDdemlClient();
  platform::DdeChannel channel = probe->Connect("ClarionWin");
  probe->Close(channel);
  return channel != 0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class NightjarIdeTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef NIGHTJAR_EXE
    GTEST_SKIP() << "nightjar.exe is not part of this build";
#endif
    ASSERT_FALSE(AnyServerAnswers()) << "a server of \"ClarionWin\" is already running";
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    // Short, for the folder must fit APP:DriveNPath (80 characters) with its final backslash.
    static int tests = 0;
    folder_ = fs::path(temp) / ("nj-ide-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++tests));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    log_ = (folder_ / "standin.log").string();
  }
  void TearDown() override {
    standin_.reset();
    program_.reset();
    EXPECT_FALSE(AnyServerAnswers()) << "a DDE server was left running";
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  // The folder as APP:DriveNPath holds it: with its final backslash.
  std::string Dir() const { return folder_.string() + "\\"; }

  // One tagged application, INVOICE.APP in the folder, whose old executable is still there.
  void SeedTaggedInvoice() {
    std::ofstream(folder_ / "INVOICE.APP", std::ios::binary) << "NAME=INVOICE\r\n";
    std::ofstream(folder_ / "INVOICE.EXE", std::ios::binary) << "stale";
    ASSERT_LE(Dir().size(), 80u) << "the folder does not fit APP:DriveNPath";
    fs::path previous = fs::current_path();
    fs::current_path(folder_);
    files::Files files;
    files.Apps.Create();
    files.Apps.Open();
    files.APP.DriveNPath = Dir();
    files.APP.Application = "INVOICE.APP";
    files.APP.Tag = 1;
    files.Apps.Add();
    EXPECT_EQ(files.store.error.code, 0) << files.store.error.text;
    files.Apps.Close();
    fs::current_path(previous);
  }

  void StartStandIn(const std::string& settings) {
    standin_ = std::make_unique<test_support::TestProcess>();
    ASSERT_TRUE(standin_->Start(WindowsPath(NJ_STANDIN_EXE), "\"--log=" + log_ + "\" " + settings, ""));
    for (int waited = 0; ReadFile(log_).find("ready ") == std::string::npos; waited += 50) {
      ASSERT_LT(waited, 15000) << "ide-standin did not come up:\n" << ReadFile(log_);
      ASSERT_TRUE(standin_->Running()) << ReadFile(log_);
      Sleep(50);
    }
  }

  // Starts nightjar.exe in the folder and returns its main window once it takes input, answering
  // every message box on the way with OK (each is kept in boxes_).
  HWND StartNightjar() {
    program_ = std::make_unique<test_support::TestProcess>();
    std::string program = WindowsPath(NIGHTJAR_EXE);
    EXPECT_TRUE(program_->Start(program, "", folder_.string())) << "cannot start " << program;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kStartTimeoutMs && program_->Running()) {
      HWND main = nullptr;
      AnswerBoxes(&main);
      if (main) return main;
      Sleep(100);
    }
    ADD_FAILURE() << "no main window within " << kStartTimeoutMs << " ms";
    return nullptr;
  }

  // Answers the message boxes nightjar.exe shows now; `main` receives its main window when it is
  // there and takes input.
  void AnswerBoxes(HWND* main = nullptr) {
    for (HWND hwnd : TopLevelWindowsOf(program_->id())) {
      if (ClassOf(hwnd) == L"#32770") {
        if (answered_.insert(hwnd).second) {
          boxes_.push_back({TextOf(hwnd), ChildTexts(hwnd)});
          PostMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
        }
      } else if (main && TextOf(hwnd) == kMainTitle && IsWindowEnabled(hwnd)) {
        *main = hwnd;
      }
    }
  }

  std::wstring LastAction(HWND main) { return TextOf(GetDlgItem(main, kFirstControlId + f::LastAction)); }
  bool ServerActive(HWND main) {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(GetDlgItem(main, kFirstControlId + f::ServerActive), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG,
                        5000, &state);
    return state == BST_CHECKED;
  }
  // Waits up to `ms` for the last-action field to read `text`.
  bool WaitForLastAction(HWND main, const std::wstring& text, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
      AnswerBoxes();
      if (LastAction(main) == text) return true;
    }
    return false;
  }
  void CloseNightjar(HWND main) {
    PostMessageW(GetDlgItem(main, kFirstControlId + f::Close), BM_CLICK, 0, 0);
    ASSERT_EQ(WaitForSingleObject(program_->handle(), 20000), WAIT_OBJECT_0) << "nightjar.exe did not end";
    DWORD exit_code = 1;
    GetExitCodeProcess(program_->handle(), &exit_code);
    EXPECT_EQ(exit_code, 0u);
  }

  fs::path folder_;
  std::string log_;
  std::unique_ptr<test_support::TestProcess> standin_;
  std::unique_ptr<test_support::TestProcess> program_;
  std::set<HWND> answered_;
  struct Box {
    std::wstring caption;
    std::vector<std::wstring> texts;  // of its controls: the message, the buttons
  };
  std::vector<Box> boxes_;
};

TEST_F(NightjarIdeTest, StartedWithoutTheIdeItWarnsAndShowsNotConnected) {
  HWND main = StartNightjar();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitForLastAction(main, L"Not Connected", 5000)) << Narrow(LastAction(main));
  EXPECT_FALSE(ServerActive(main));
  // The window shows before its open event is served, and the warning comes with that event.
  for (DWORD start = GetTickCount(); boxes_.empty() && GetTickCount() - start < 5000; Sleep(50)) AnswerBoxes();
  Sleep(500);  // a second box would come at once
  AnswerBoxes();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].caption, L"Warning");
  const std::wstring warning = Widen(
      "Clarion for Windows is not currently running. For better control over your working environment, press "
      "\"Connect\" now.");
  EXPECT_NE(std::find(boxes_[0].texts.begin(), boxes_[0].texts.end(), warning), boxes_[0].texts.end());
  CloseNightjar(main);
}

TEST_F(NightjarIdeTest, WithTheIdeRunningItOpensConnectedWithoutAMessage) {
  StartStandIn("--write_delay_ms=0");
  HWND main = StartNightjar();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(WaitForLastAction(main, L"Connected to CW", 5000)) << Narrow(LastAction(main));
  EXPECT_TRUE(ServerActive(main));
  Sleep(1000);  // a warning would follow the window's open event at once
  AnswerBoxes();
  EXPECT_TRUE(boxes_.empty()) << Narrow(boxes_.front().caption);
  CloseNightjar(main);
}

TEST_F(NightjarIdeTest, GenAndMakeDeletesTheOldExeAwaitsTheNewOneAndLogsTwoRecords) {
  // The list holds one tagged application in the folder, whose old executable is still there.
  SeedTaggedInvoice();
  fs::path previous = fs::current_path();

  StartStandIn("--write_delay_ms=3000");
  HWND main = StartNightjar();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitForLastAction(main, L"Connected to CW", 5000)) << Narrow(LastAction(main));
  PostMessageW(GetDlgItem(main, kFirstControlId + f::MakeExe), BM_CLICK, 0, 0);

  // Watched from outside: what the field shows, and whether the old executable is gone while the
  // program waits for the new one.
  std::vector<std::wstring> shown;
  bool gone_while_waiting = false;
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
    AnswerBoxes();
    std::wstring text = LastAction(main);
    if (shown.empty() || shown.back() != text) shown.push_back(text);
    if (text == L"INVOICE.APP DDE Ack." && !fs::exists(folder_ / "INVOICE.EXE")) gone_while_waiting = true;
    if (text == L"Processing Complete") break;
  }
  ASSERT_EQ(shown.back(), L"Processing Complete");
  EXPECT_TRUE(boxes_.empty()) << Narrow(boxes_.front().caption);
  EXPECT_TRUE(gone_while_waiting) << "the old INVOICE.EXE was not deleted before the command";
  EXPECT_NE(std::find(shown.begin(), shown.end(), L"INVOICE.APP DDE Ack."), shown.end());
  EXPECT_TRUE(ServerActive(main));

  // The Log button shows the batch's two records in time order; View opens the first in its form.
  PostMessageW(GetDlgItem(main, kFirstControlId + f::Log), BM_CLICK, 0, 0);
  HWND log = test_support::WaitForWindow(program_->id(), L"Acitivity Log", 10000);
  ASSERT_NE(log, nullptr) << "no log window";
  HWND rows = GetDlgItem(log, kFirstControlId + windows::activity_log_field::Browse_1);
  for (DWORD start = GetTickCount(); test_support::ListRowCount(rows) != 2 && GetTickCount() - start < 10000;) Sleep(50);
  ASSERT_EQ(test_support::ListRowCount(rows), 2);
  EXPECT_EQ(test_support::ListCellText(program_->handle(), rows, 0, 0), L"INVOICE.APP");
  EXPECT_EQ(test_support::ListCellText(program_->handle(), rows, 0, 3), L"Begin Make");
  EXPECT_EQ(test_support::ListCellText(program_->handle(), rows, 1, 3), L"Make Finished");
  PostMessageW(GetDlgItem(log, kFirstControlId + windows::activity_log_field::View), BM_CLICK, 0, 0);
  HWND record = test_support::WaitForWindow(program_->id(), L"DDE Activity Record", 10000);
  ASSERT_NE(record, nullptr) << "no activity record form";
  namespace rf = windows::activity_record_field;
  EXPECT_EQ(TextOf(GetDlgItem(record, kFirstControlId + rf::TMP_Event)), L"Begin Make");
  EXPECT_EQ(TextOf(GetDlgItem(record, kFirstControlId + rf::TMP_Apps)), L"INVOICE.APP");
  PostMessageW(GetDlgItem(record, kFirstControlId + rf::OK), BM_CLICK, 0, 0);
  for (DWORD start = GetTickCount(); IsWindow(record) && GetTickCount() - start < 10000;) Sleep(50);
  EXPECT_FALSE(IsWindow(record));
  log = test_support::WaitForWindow(program_->id(), L"Acitivity Log", 10000);
  ASSERT_NE(log, nullptr);
  PostMessageW(GetDlgItem(log, kFirstControlId + windows::activity_log_field::Close), BM_CLICK, 0, 0);
  for (DWORD start = GetTickCount(); IsWindow(log) && GetTickCount() - start < 10000;) Sleep(50);
  EXPECT_FALSE(IsWindow(log));
  AnswerBoxes();
  EXPECT_TRUE(boxes_.empty()) << Narrow(boxes_.front().caption);
  main = test_support::WaitForWindow(program_->id(), kMainTitle, 10000);
  ASSERT_NE(main, nullptr);
  CloseNightjar(main);

  EXPECT_NE(ReadFile(folder_ / "INVOICE.EXE").find("Built by the IDE stand-in"), std::string::npos);
  EXPECT_NE(ReadFile(log_).find("execute [ExecuteProject(" + Dir() + "INVOICE.app)]"), std::string::npos)
      << ReadFile(log_);
  // The log the batch left, read with the store.
  fs::current_path(folder_);
  std::vector<std::string> events;
  {
    files::Files files;
    files.TempFile.Open();
    ASSERT_EQ(files.store.error.code, 0) << files.store.error.text;
    files.TempFile.Set(store::Order::File);
    for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next()) {
      EXPECT_EQ(files.TMP.Apps.str(), "INVOICE.APP");
      events.push_back(files.TMP.Event.str());
    }
    files.TempFile.Close();
  }
  fs::current_path(previous);
  EXPECT_EQ(events, (std::vector<std::string>{"Begin Make", "Make Finished"}));
}

// An old executable that cannot be deleted (read-only) would pass for the new one: the batch says
// so in the log and sends nothing for that application.
TEST_F(NightjarIdeTest, AStaleOutputThatCannotBeDeletedIsLoggedAndNothingIsSent) {
  SeedTaggedInvoice();
  const std::wstring exe = (folder_ / "INVOICE.EXE").wstring();
  ASSERT_TRUE(SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_READONLY));
  fs::path previous = fs::current_path();

  StartStandIn("--write_delay_ms=0");
  HWND main = StartNightjar();
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(WaitForLastAction(main, L"Connected to CW", 5000)) << Narrow(LastAction(main));
  PostMessageW(GetDlgItem(main, kFirstControlId + f::MakeExe), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitForLastAction(main, L"Processing Complete", 30000)) << Narrow(LastAction(main));
  CloseNightjar(main);
  SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_EQ(ReadFile(folder_ / "INVOICE.EXE"), "stale");
  EXPECT_EQ(ReadFile(log_).find("execute"), std::string::npos) << ReadFile(log_);
  fs::current_path(folder_);
  std::vector<std::string> events;
  {
    files::Files files;
    files.TempFile.Open();
    files.TempFile.Set(store::Order::File);
    for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next())
      events.push_back(files.TMP.Event.str());
  }
  fs::current_path(previous);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], "Begin Make");
  EXPECT_EQ(events[1].rfind("Old .EXE not deleted (", 0), 0u) << events[1];
  EXPECT_NE(events[1].find("), not sent"), std::string::npos) << events[1];
}

}  // namespace
