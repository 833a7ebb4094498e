// nightjar.exe and the IDE as two real processes under wine, the IDE being ide-standin started as
// CW20.exe: started with no IDE it warns and shows "Not Connected"; with the IDE answering it opens
// connected and silent; and whole Gen & Make batches: the stale executable deleted and the new one
// awaited; an old one that cannot be deleted; the IDE refusing; the IDE busy beyond the DDE time-out;
// the IDE never writing; the IDE writing its executable slowly. Each checks what the user saw and
// the activity log the batch left, read with the store.
// Each test ends every process it started and checks that no DDE server is left answering.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app_seeding.h"
#include "files/app_path.h"
#include "files/files.h"
#include "platform/clock.h"
#include "platform/directory_lister.h"
#include "platform/win32/dde_message_client.h"
#include "process_support.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "procedures/activity_log_def.h"
#include "procedures/activity_record_def.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"
#include "store/path_key.h"

namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
namespace af = procedures::application_form_field;
using rt::win32::kFirstControlId;
using rt::win32::Narrow;
using rt::win32::Widen;
using test_support::ClassOf;
using test_support::TextOf;
using test_support::TopLevelWindowsOf;
using test_support::WaitUntil;
using test_support::WindowsPath;

constexpr wchar_t kMainTitle[] = L"Nightjar (Batchwright)";
constexpr DWORD kStartTimeoutMs = 30000;
using platform::kHundredthsPerDay;

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

// The probe runs on a thread of its own: a DDE client leaves a window behind on its thread (under
// wine), and a window on the test's thread, which does not pump messages while it waits, would
// hold up every later DDE connect of nightjar.exe, whose broadcast waits for each window to answer.
// The window goes with the thread.
bool AnyServerAnswers() {
  bool answers = false;
  std::thread([&answers] {
    auto probe = platform::MakeDdeMessageClient();
    platform::DdeChannel channel = probe->Connect("ClarionWin");
    probe->Close(channel);
    answers = channel != 0;
  }).join();
  return answers;
}

using test_support::ReadFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One record of the activity log.
struct LogRecord {
  std::string app;
  std::string event;
  std::int32_t date = 0;
  std::int32_t clock = 0;
};

// Hundredths of a second from `from` to `to`, across midnight too.
std::int64_t Elapsed(std::int32_t from_date, std::int32_t from_clock, std::int32_t to_date, std::int32_t to_clock) {
  return static_cast<std::int64_t>(to_date - from_date) * kHundredthsPerDay + (to_clock - from_clock);
}

// The activity log a batch left in `folder`, in the order its records were added.
std::vector<LogRecord> ReadActivityLog(const fs::path& folder) {
  std::vector<LogRecord> records;
  fs::path previous = fs::current_path();
  fs::current_path(folder);
  {
    files::Files files;
    files.TempFile.Open();
    EXPECT_EQ(files.store.error.code, 0) << files.store.error.text;
    if (files.store.error.code == 0) {
      files.TempFile.Set(store::Order::File);
      for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next())
        records.push_back({files.TMP.Apps.str(), files.TMP.Event.str(), files.TMP.Date, files.TMP.Clock});
      files.TempFile.Close();
    }
  }
  fs::current_path(previous);
  return records;
}

// The records of one application, in order. A batch may add a record of its own with no
// application (a summary); those are no application's.
std::vector<LogRecord> RecordsOf(const std::vector<LogRecord>& log, const std::string& app) {
  std::vector<LogRecord> records;
  for (const LogRecord& record : log)
    if (record.app == app) records.push_back(record);
  return records;
}

std::vector<std::string> EventsOf(const std::vector<LogRecord>& log, const std::string& app) {
  std::vector<std::string> events;
  for (const LogRecord& record : RecordsOf(log, app)) events.push_back(record.event);
  return events;
}

void SeedTagged(const fs::path& folder, const std::vector<std::string>& bases) {
  const std::string problem = test_support::SeedTaggedApps(folder, bases);
  ASSERT_EQ(problem, "");
}

// A message box nightjar.exe showed.
struct Box {
  std::wstring caption;
  std::vector<std::wstring> texts;  // of its controls: the message, the buttons
  bool Shows(const std::wstring& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
};

// What the boxes said, for a failure message.
std::string Describe(const std::vector<Box>& boxes) {
  std::string text;
  for (const Box& box : boxes) {
    text += "[" + Narrow(box.caption) + "]";
    for (const std::wstring& part : box.texts) text += " \"" + Narrow(part) + "\"";
    text += "\n";
  }
  return text;
}

// One nightjar.exe, driven from outside through its main window. Every message box it shows is
// answered with OK and kept.
class Station {
 public:
  // Starts nightjar.exe in `folder`; false when its main window does not come up taking input.
  bool Start(const fs::path& folder) {
    process_ = std::make_unique<test_support::TestProcess>();
    std::string program = WindowsPath(NIGHTJAR_EXE);
    if (!process_->Start(program, "", folder.string())) {
      ADD_FAILURE() << "cannot start " << program;
      return false;
    }
    if (WaitUntil([&] { AnswerBoxes(&main_); return main_ != nullptr || !process_->Running(); }, kStartTimeoutMs) &&
        main_ != nullptr)
      return true;
    ADD_FAILURE() << "no main window within " << kStartTimeoutMs << " ms";
    return false;
  }

  // Answers the message boxes shown now; `main` receives the main window when it takes input.
  void AnswerBoxes(HWND* main = nullptr) {
    for (HWND hwnd : TopLevelWindowsOf(process_->id())) {
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

  HWND Control(int field) const { return GetDlgItem(main_, kFirstControlId + field); }
  void Press(int field) const { PostMessageW(Control(field), BM_CLICK, 0, 0); }
  std::wstring LastAction() const { return TextOf(Control(f::LastAction)); }
  bool ServerActive() const {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(Control(f::ServerActive), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
  }
  // Waits up to `ms` for the last-action field to read `text`, answering boxes meanwhile.
  bool WaitForLastAction(const std::wstring& text, DWORD ms) {
    return WaitUntil([&] { AnswerBoxes(); return LastAction() == text; }, ms);
  }
  // The same for a last action that begins with `start`.
  bool WaitForLastActionStarting(const std::wstring& start, DWORD ms) {
    return WaitUntil([&] { AnswerBoxes(); return LastAction().rfind(start, 0) == 0; }, ms);
  }

  // The DDE time-out down to its smallest, one minute, with the spin box's down arrow, as a user
  // would; steps past the smallest leave it there. False when the box does not come to read 1.
  bool SetTimeOutToOneMinute() {
    HWND arrows = GetDlgItem(main_, rt::win32::kFirstUpDownId + f::TimeOut);
    RECT r{};
    if (arrows == nullptr || !GetClientRect(arrows, &r)) return false;
    const LPARAM lower_half = MAKELPARAM(r.right / 2, r.bottom * 3 / 4);
    for (int step = 0; step < 20; ++step) {
      PostMessageW(arrows, WM_LBUTTONDOWN, MK_LBUTTON, lower_half);
      PostMessageW(arrows, WM_LBUTTONUP, 0, lower_half);
    }
    return WaitUntil([&] { return TextOf(Control(f::TimeOut)) == L"1"; }, 5000);
  }

  // Closes the main window with its Close button and expects the program to end with code 0,
  // answering and recording the boxes it shows until then. The program serves its events in
  // order, so a box that was to follow anything before the click is recorded by the time it ends:
  // the end is the barrier, and no test sleeps to see that a box did not come.
  void Close() {
    HWND main = nullptr;
    ASSERT_TRUE(WaitUntil([&] { AnswerBoxes(&main); return main != nullptr; }, 10000))
        << "the main window does not take input";
    PostMessageW(GetDlgItem(main, kFirstControlId + f::Close), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { AnswerBoxes(); return !process_->Running(); }, 20000)) << "nightjar.exe did not end";
    DWORD exit_code = 1;
    GetExitCodeProcess(process_->handle(), &exit_code);
    EXPECT_EQ(exit_code, 0u);
  }
  // Ends the program if it still runs.
  void End() { process_.reset(); }

  test_support::TestProcess& process() { return *process_; }
  const std::vector<Box>& boxes() const { return boxes_; }

 private:
  std::unique_ptr<test_support::TestProcess> process_;
  HWND main_ = nullptr;
  std::set<HWND> answered_;
  std::vector<Box> boxes_;
};

class NightjarIdeTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef NIGHTJAR_EXE
    GTEST_SKIP() << "nightjar.exe is not part of this build";
#endif
    ASSERT_FALSE(AnyServerAnswers()) << "a server of \"ClarionWin\" is already running";
    folder_ = test_support::FreshTempFolder("nj-ide-");
    log_ = (folder_ / "standin.log").string();
  }
  void TearDown() override {
    standin_.reset();
    nightjar_.End();
    EXPECT_FALSE(AnyServerAnswers()) << "a DDE server was left running";
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  // The folder as APP:DriveNPath holds it: with its final backslash.
  std::string Dir() const { return folder_.string() + "\\"; }

  // One tagged application, INVOICE.APP in the folder, whose old executable is still there.
  void SeedTaggedInvoice() { SeedTagged(folder_, {"INVOICE"}); }

  // Starts the stand-in as the IDE is started, as CW20.exe (a copy in a folder of its own), with
  // `settings` on its command line, and waits until it offers its service.
  void StartStandIn(const std::string& settings) {
    std::string problem;
    standin_ = test_support::StartStandIn(WindowsPath(NJ_STANDIN_EXE), folder_, log_, settings, problem);
    ASSERT_TRUE(standin_) << problem;
  }

  // The commands the stand-in received, in order.
  std::vector<std::string> Executed() const {
    std::vector<std::string> commands;
    std::istringstream lines(ReadFile(log_));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line.erase(0, line.find(' ') + 1);  // the time stamp
      if (line.rfind("execute ", 0) == 0) commands.push_back(line.substr(8));
    }
    return commands;
  }

  // Starts nightjar.exe in the folder and waits until it shows it is connected to the stand-in.
  void StartConnected(Station& station, const fs::path& folder) {
    ASSERT_TRUE(station.Start(folder));
    // The connection names the stand-in's program and process.
    ASSERT_TRUE(station.WaitForLastActionStarting(L"Connected to CW20 (pid ", 5000)) << Narrow(station.LastAction());
  }

  // Presses "Gen & Make (.EXE)" and waits up to `ms` for the batch to end showing `end`, answering
  // boxes meanwhile.
  bool MakeAndWait(Station& station, const std::wstring& end, DWORD ms) {
    station.Press(f::MakeExe);
    return station.WaitForLastAction(end, ms);
  }

  fs::path folder_;
  std::string log_;
  std::unique_ptr<test_support::TestProcess> standin_;
  Station nightjar_;
};

TEST_F(NightjarIdeTest, StartedWithoutTheIdeItWarnsAndShowsNotConnected) {
  ASSERT_TRUE(nightjar_.Start(folder_));
  ASSERT_TRUE(nightjar_.WaitForLastAction(L"Not Connected", 5000)) << Narrow(nightjar_.LastAction());
  EXPECT_FALSE(nightjar_.ServerActive());
  // The window shows before its open event is served, and the warning comes with that event; a
  // second box would come before the program ends.
  nightjar_.Close();
  ASSERT_EQ(nightjar_.boxes().size(), 1u) << Describe(nightjar_.boxes());
  EXPECT_EQ(nightjar_.boxes()[0].caption, L"Warning");
  EXPECT_TRUE(nightjar_.boxes()[0].Shows(Widen(
      "Clarion for Windows is not currently running. For better control over your working environment, press "
      "\"Connect\" now.")));
}

TEST_F(NightjarIdeTest, WithTheIdeRunningItOpensConnectedWithoutAMessage) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=0"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  EXPECT_TRUE(nightjar_.ServerActive());
  nightjar_.Close();  // a warning would have come before the program ends
  EXPECT_TRUE(nightjar_.boxes().empty()) << Describe(nightjar_.boxes());
}

TEST_F(NightjarIdeTest, GenAndMakeDeletesTheOldExeAwaitsTheNewOneAndLogsTwoRecords) {
  // The list holds one tagged application in the folder, whose old executable is still there.
  ASSERT_NO_FATAL_FAILURE(SeedTaggedInvoice());
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=3000"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  nightjar_.Press(f::MakeExe);

  // Watched from outside: what the field shows, and whether the old executable is gone while the
  // program waits for the new one.
  std::vector<std::wstring> shown;
  bool gone_while_waiting = false;
  WaitUntil(
      [&] {
        nightjar_.AnswerBoxes();
        std::wstring text = nightjar_.LastAction();
        if (shown.empty() || shown.back() != text) shown.push_back(text);
        if (text == L"INVOICE.APP DDE Ack." && !fs::exists(folder_ / "INVOICE.EXE")) gone_while_waiting = true;
        return text == L"Processing Complete";
      },
      60000);
  ASSERT_EQ(shown.back(), L"Processing Complete");
  EXPECT_TRUE(nightjar_.boxes().empty()) << Describe(nightjar_.boxes());
  EXPECT_TRUE(gone_while_waiting) << "the old INVOICE.EXE was not deleted before the command";
  EXPECT_NE(std::find(shown.begin(), shown.end(), L"INVOICE.APP DDE Ack."), shown.end());
  EXPECT_TRUE(nightjar_.ServerActive());

  // The Log button shows the batch's records in time order; View opens the first in its form.
  const DWORD id = nightjar_.process().id();
  const HANDLE process = nightjar_.process().handle();
  nightjar_.Press(f::Log);
  HWND log = test_support::WaitForWindow(id, L"Acitivity Log", 10000);
  ASSERT_NE(log, nullptr) << "no log window";
  HWND rows = GetDlgItem(log, kFirstControlId + procedures::activity_log_field::Browse_1);
  WaitUntil([&] { return test_support::ListRowCount(rows) >= 3; }, 10000);
  ASSERT_GE(test_support::ListRowCount(rows), 3);
  // First the IDE the batch reached, by its program and process; then the application's two.
  const std::wstring connected = test_support::ListCellText(process, rows, 0, 3);
  EXPECT_EQ(connected.rfind(L"Connected to CW20.exe (process ", 0), 0u) << Narrow(connected);
  EXPECT_EQ(connected.substr(connected.size() - 4), L"\\ide") << Narrow(connected);  // its folder
  EXPECT_EQ(test_support::ListCellText(process, rows, 1, 0), L"INVOICE.APP");
  EXPECT_EQ(test_support::ListCellText(process, rows, 1, 3), L"Begin Make");
  EXPECT_EQ(test_support::ListCellText(process, rows, 2, 3), L"Make Finished");
  PostMessageW(GetDlgItem(log, kFirstControlId + procedures::activity_log_field::View), BM_CLICK, 0, 0);
  HWND record = test_support::WaitForWindow(id, L"DDE Activity Record", 10000);
  ASSERT_NE(record, nullptr) << "no activity record form";
  namespace rf = procedures::activity_record_field;
  EXPECT_EQ(TextOf(GetDlgItem(record, kFirstControlId + rf::TMP_Event)), connected);
  EXPECT_EQ(TextOf(GetDlgItem(record, kFirstControlId + rf::TMP_Apps)), L"");
  PostMessageW(GetDlgItem(record, kFirstControlId + rf::OK), BM_CLICK, 0, 0);
  WaitUntil([&] { return !IsWindow(record); }, 10000);
  EXPECT_FALSE(IsWindow(record));
  log = test_support::WaitForWindow(id, L"Acitivity Log", 10000);
  ASSERT_NE(log, nullptr);
  PostMessageW(GetDlgItem(log, kFirstControlId + procedures::activity_log_field::Close), BM_CLICK, 0, 0);
  WaitUntil([&] { return !IsWindow(log); }, 10000);
  EXPECT_FALSE(IsWindow(log));
  nightjar_.AnswerBoxes();
  EXPECT_TRUE(nightjar_.boxes().empty()) << Describe(nightjar_.boxes());
  nightjar_.Close();

  EXPECT_TRUE(Contains(ReadFile(folder_ / "INVOICE.EXE"), "Built by the IDE stand-in"));
  EXPECT_EQ(Executed(), (std::vector<std::string>{"[ExecuteProject(" + Dir() + "INVOICE.app)]"}))
      << ReadFile(log_);
  const std::vector<LogRecord> records = ReadActivityLog(folder_);
  EXPECT_EQ(EventsOf(records, "INVOICE.APP"), (std::vector<std::string>{"Begin Make", "Make Finished"}));
  EXPECT_EQ(RecordsOf(records, "INVOICE.APP").size() + RecordsOf(records, "").size(), records.size());
}

// An old executable that cannot be deleted (read-only) would pass for the new one: the batch says
// so in the log and sends nothing for that application.
TEST_F(NightjarIdeTest, AStaleOutputThatCannotBeDeletedIsLoggedAndNothingIsSent) {
  ASSERT_NO_FATAL_FAILURE(SeedTaggedInvoice());
  const std::wstring exe = (folder_ / "INVOICE.EXE").wstring();
  ASSERT_TRUE(SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=0"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  EXPECT_TRUE(MakeAndWait(nightjar_, L"1 of 1 not made, see Log", 30000)) << Narrow(nightjar_.LastAction());
  nightjar_.Close();
  SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_EQ(ReadFile(folder_ / "INVOICE.EXE"), "stale");
  EXPECT_TRUE(Executed().empty()) << ReadFile(log_);
  std::vector<std::string> events = EventsOf(ReadActivityLog(folder_), "INVOICE.APP");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], "Begin Make");
  EXPECT_EQ(events[1].rfind("Old .EXE not deleted (", 0), 0u) << events[1];
  EXPECT_TRUE(Contains(events[1], "), not sent")) << events[1];
}

// The IDE refuses every command: with "Stop at first failure" unticked no box holds the batch, the
// log ends each application with the IDE's own number and message, and each one is sent.
TEST_F(NightjarIdeTest, RefusedCommandsAreLoggedWithTheIdesMessageAndTheBatchGoesOn) {
  ASSERT_NO_FATAL_FAILURE(SeedTagged(folder_, {"INVOICE", "PAYROLL"}));
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--refuse --error_number=1234 \"--error_message=Project has 3 errors\""));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  // Neither application was made, and the window does not pass that off as complete.
  EXPECT_TRUE(MakeAndWait(nightjar_, L"2 of 2 not made, see Log", 30000)) << Narrow(nightjar_.LastAction());
  nightjar_.Close();  // a second box would come before the program ends

  EXPECT_TRUE(nightjar_.boxes().empty()) << Describe(nightjar_.boxes());
  EXPECT_EQ(Executed(), (std::vector<std::string>{"[ExecuteProject(" + Dir() + "INVOICE.app)]",
                                                  "[ExecuteProject(" + Dir() + "PAYROLL.app)]"}))
      << ReadFile(log_);
  const std::vector<LogRecord> records = ReadActivityLog(folder_);
  for (const char* app : {"INVOICE.APP", "PAYROLL.APP"}) {
    std::vector<std::string> events = EventsOf(records, app);
    ASSERT_EQ(events.size(), 2u) << app;
    EXPECT_EQ(events[0], "Begin Make");
    EXPECT_EQ(events[1], "Error 603 IDE error 1234: Project has 3 errors") << app;
  }
}

// The two cases bounded by the DDE time-out, each of which takes that minute, share it: two
// stations, each in a folder of its own, against one IDE. The first station's command is
// acknowledged, but the IDE never writes its executable: the wait ends after the time-out. The
// second station's command finds the IDE busy for longer than the time-out: the user reads "DDE
// timeout" and the batch ends.
TEST_F(NightjarIdeTest, ASilentIdeEndsTheWaitAfterTheTimeOutAndABusyOneTimesTheCommandOut) {
  const fs::path silent = folder_ / "silent";
  const fs::path busy = folder_ / "busy";
  ASSERT_NO_FATAL_FAILURE(SeedTagged(silent, {"INVOICE"}));
  ASSERT_NO_FATAL_FAILURE(SeedTagged(busy, {"PAYROLL"}));
  // Only the second command received is held up, past the one-minute time-out.
  ASSERT_NO_FATAL_FAILURE(
      StartStandIn("--never_write --ack_delay_ms=65000 --ack_delay_from=2 --ack_delay_commands=1"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, silent));
  Station second;
  ASSERT_NO_FATAL_FAILURE(StartConnected(second, busy));
  ASSERT_TRUE(nightjar_.SetTimeOutToOneMinute()) << Narrow(TextOf(nightjar_.Control(f::TimeOut)));
  ASSERT_TRUE(second.SetTimeOutToOneMinute()) << Narrow(TextOf(second.Control(f::TimeOut)));

  nightjar_.Press(f::MakeExe);
  ASSERT_TRUE(nightjar_.WaitForLastAction(L"INVOICE.APP DDE Ack.", 10000)) << Narrow(nightjar_.LastAction());
  second.Press(f::MakeExe);
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(log_), "busy "); }, 10000))
      << "the second command did not reach the IDE:\n" << ReadFile(log_);

  bool silent_done = false;
  bool busy_done = false;
  WaitUntil(
      [&] {
        nightjar_.AnswerBoxes();
        second.AnswerBoxes();
        silent_done = silent_done || nightjar_.LastAction() == L"1 of 1 not made, see Log";
        busy_done = busy_done || second.LastAction() == L"1 of 1 not made, see Log";
        return silent_done && busy_done;
      },
      120000);
  EXPECT_TRUE(silent_done) << Narrow(nightjar_.LastAction());
  EXPECT_TRUE(busy_done) << Narrow(second.LastAction());
  nightjar_.Close();  // a box after the batch would come before the program ends
  second.Close();
  EXPECT_EQ(Executed().size(), 2u) << ReadFile(log_);

  // The silent IDE: no box; the wait lasted the minute, not the default quarter of an hour.
  EXPECT_TRUE(nightjar_.boxes().empty()) << Describe(nightjar_.boxes());
  const std::vector<LogRecord> waited = RecordsOf(ReadActivityLog(silent), "INVOICE.APP");
  ASSERT_EQ(waited.size(), 2u);
  EXPECT_EQ(waited[0].event, "Begin Make");
  EXPECT_EQ(waited[1].event, "No .EXE within 1 minute, wait ended");
  const std::int64_t wait = Elapsed(waited[0].date, waited[0].clock, waited[1].date, waited[1].clock);
  EXPECT_GE(wait, 6000 - 2);
  EXPECT_LT(wait, 9000);

  // The busy IDE: one box, "DDE timeout", and the time-out in the log.
  ASSERT_EQ(second.boxes().size(), 1u) << Describe(second.boxes());
  EXPECT_TRUE(second.boxes()[0].Shows(L"PAYROLL.APP: DDE timeout")) << Describe(second.boxes());
  std::vector<std::string> events = EventsOf(ReadActivityLog(busy), "PAYROLL.APP");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], "Begin Make");
  EXPECT_EQ(events[1].rfind("Error 605 ", 0), 0u) << events[1];
}

// The IDE creates the executable at once but takes seconds to write it, holding it open meanwhile,
// as a compiler does: the application is done only when the file is closed, complete.
TEST_F(NightjarIdeTest, AnExecutableStillBeingWrittenIsNotTakenForTheResult) {
  ASSERT_NO_FATAL_FAILURE(SeedTaggedInvoice());
  // Open from half a second after the acknowledgement until 12.5 s after it: a look at the folder
  // on the window's ten-second timer alone would find it open too.
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=500 --write_slowly_ms=12000"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  nightjar_.Press(f::MakeExe);

  // Watched from outside, until the window has shown the application done and the stand-in has
  // closed the file: the last moment the file was seen still open, and what the stand-in's log
  // and the executable held when the window first showed the application done.
  bool seen_writing = false;
  bool done = false;
  platform::Moment last_seen_open{};
  std::string log_when_done;
  std::string exe_when_done;
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(20)) {
    nightjar_.AnswerBoxes();
    const platform::Moment now = platform::SystemClock().Now();
    const std::wstring shown = done ? L"" : nightjar_.LastAction();
    const std::string standin_log = ReadFile(log_);
    const bool closed = Contains(standin_log, "wrote ");
    if (Contains(standin_log, "writing ") && !closed) {
      seen_writing = true;
      last_seen_open = now;
    }
    if (!done && (shown == L"INVOICE.APP Compiled & Made" || shown == L"Processing Complete")) {
      done = true;
      log_when_done = standin_log;
      exe_when_done = ReadFile(folder_ / "INVOICE.EXE");
    }
    if (done && closed) break;
  }
  ASSERT_TRUE(nightjar_.WaitForLastAction(L"Processing Complete", 30000)) << Narrow(nightjar_.LastAction());
  nightjar_.Close();

  ASSERT_TRUE(seen_writing) << "the stand-in was never seen writing:\n" << ReadFile(log_);
  const std::string full = "Built by the IDE stand-in from " + Dir() + "INVOICE.app\r\n";
  EXPECT_TRUE(Contains(log_when_done, "wrote " + Dir() + "INVOICE.EXE"))
      << "the application was done before the IDE closed its executable:\n" << log_when_done;
  EXPECT_EQ(exe_when_done, full) << "the executable was not complete when the application was done";
  const std::vector<LogRecord> records = RecordsOf(ReadActivityLog(folder_), "INVOICE.APP");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].event, "Begin Make");
  EXPECT_EQ(records[1].event, "Make Finished");
  EXPECT_GE(Elapsed(last_seen_open.date, last_seen_open.time, records[1].date, records[1].clock), 0)
      << "\"Make Finished\" was logged while the stand-in was still writing";
}

// The system's short and long names: a folder spelt short keys as spelt long, and stores alike for
// all its applications. (Wine hashes a short name for every long one, with no setting to turn them
// off: a system without short names is tried natively, through a lister that gives none.)
TEST(SystemShortNames, AShortSpellingKeysAsItsLongOneAndAFolderIsStoredOneWay) {
  const fs::path folder = fs::temp_directory_path() / "Sales & Marketing";
  fs::create_directories(folder);
  for (const char* name : {"Quotes.APP", "CampaignTracker.APP"}) std::ofstream(folder / name) << "x";
  auto lister = platform::MakeDirectoryLister();
  const std::string long_folder = folder.string() + "\\";
  const std::string short_path = lister->ShortPath(long_folder + "CampaignTracker.APP");
  ASSERT_NE(short_path.find('~'), std::string::npos) << short_path;
  EXPECT_EQ(lister->LongPath(short_path), long_folder + "CampaignTracker.APP");
  store::PathKeys keys(lister.get());
  EXPECT_EQ(keys.Folder(short_path.substr(0, short_path.find_last_of('\\') + 1)), keys.Folder(long_folder));
  const files::StoredPath quotes = files::StoreAppPath(long_folder + "Quotes.APP", *lister);
  const files::StoredPath campaign = files::StoreAppPath(short_path, *lister);
  EXPECT_EQ(campaign.parts.directory + campaign.parts.name,
            quotes.parts.directory + short_path.substr(short_path.find_last_of('\\') + 1));
  fs::remove_all(folder);
}

// Long names typed into the application form, as a shop names its applications: each is stored,
// tagged, in the folder as typed and by the short name the system gives it, and made by the
// window's batch.
TEST_F(NightjarIdeTest, LongNamesTypedIntoTheFormAreAddedByTheirShortNamesAndMade) {
  SeedTagged(folder_, {});  // an empty list
  const std::vector<std::string> names = {"CustomerAccounts.APP", "Invoice01.APP"};
  for (const std::string& name : names) std::ofstream(folder_ / name, std::ios::binary) << "PROGRAM\r\n";
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=200"));
  ASSERT_NO_FATAL_FAILURE(StartConnected(nightjar_, folder_));
  for (const std::string& name : names) {
    nightjar_.Press(f::Insert);
    HWND form = test_support::WaitForWindow(nightjar_.process().id(), L"Record will be Added", 20000);
    ASSERT_NE(form, nullptr) << "no form for " << name;
    const std::wstring typed = fs::path(Dir() + name).wstring();
    SendMessageTimeoutW(GetDlgItem(form, kFirstControlId + af::FileName), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(typed.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
    for (int field : {af::APP_Tag, af::OK}) PostMessageW(GetDlgItem(form, kFirstControlId + field), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }, 20000)) << name << " was not saved";
  }
  ASSERT_TRUE(MakeAndWait(nightjar_, L"Processing Complete", 60000)) << Narrow(nightjar_.LastAction());
  nightjar_.Close();

  std::vector<std::string> stored, expected;  // "directory|name|tag"
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  {
    files::Files files;
    files.Apps.Open();
    files.Apps.Set(store::Order::File);
    for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
      stored.push_back(files.APP.DriveNPath.str() + "|" + files.APP.Application.str() + "|" +
                       std::to_string(files.APP.Tag));
  }
  fs::current_path(previous);
  const std::vector<LogRecord> log = ReadActivityLog(folder_);
  for (const std::string& name : names) {
    const std::string short_path = platform::MakeDirectoryLister()->ShortPath(Dir() + name);
    const std::string short_name = short_path.substr(short_path.find_last_of('\\') + 1);
    expected.push_back(Dir() + "|" + short_name + "|1");
    EXPECT_EQ(EventsOf(log, short_name), (std::vector<std::string>{"Begin Make", "Make Finished"})) << short_path;
    EXPECT_TRUE(fs::exists(folder_ / (short_name.substr(0, short_name.size() - 4) + ".EXE"))) << short_path;
  }
  std::sort(stored.begin(), stored.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stored, expected);
}

}  // namespace
