// The DdeClient contract run against the Windows client (on plain DDE messages) and ide-standin.exe
// in a process of its own; what only the stand-in does: its refusals, its result
// files, its settings file when it runs as CW20, its death on demand; and, with two stand-ins at
// once, that their logs' times compare and that one busy in a command holds up no other. Every test
// ends the stand-in processes it started, and checks that none is left answering.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dde_client_contract.h"
#include "platform/program_starter.h"
#include "platform/win32/dde_message_client.h"

namespace {

using dde_contract::IdeBehaviour;
using platform::DdeChannel;
namespace fs = std::filesystem;

constexpr const char* kService = "ClarionWin";

std::string OwnFolder() {
  char path[MAX_PATH * 4] = {};
  std::string full(path, GetModuleFileNameA(nullptr, path, sizeof path));
  return full.substr(0, full.find_last_of('\\') + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Lets `ms` pass while handling this thread's messages, as the program's event loop would.
void PumpFor(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    DWORD now = GetTickCount();
    if (static_cast<LONG>(end - now) <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
  }
}

// A line of a stand-in's log without its time stamp (the system's clock in milliseconds).
std::string Event(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line.substr(line.find(' ') + 1);
}

// The time stamp of a log line; 0 when it has none.
unsigned long long TimeOf(const std::string& line) {
  std::size_t digits = line.find_first_not_of("0123456789");
  return digits == 0 || digits == std::string::npos ? 0 : std::stoull(line.substr(0, digits));
}

// The events of a log, in order, each without its time stamp.
std::vector<std::string> Events(const std::string& log) {
  std::vector<std::string> events;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) events.push_back(Event(line));
  return events;
}

// The system's clock in milliseconds, as the stand-in stamps its log lines.
unsigned long long NowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

// Settings lines for the stand-in, as "key=value".
std::vector<std::string> SettingsFor(const IdeBehaviour& behaviour) {
  std::vector<std::string> settings{"write_delay_ms=" + std::to_string(behaviour.result_delay_ms)};
  if (behaviour.refuse_number != 0) {
    settings.push_back("refuse=1");
    settings.push_back("error_number=" + std::to_string(behaviour.refuse_number));
    settings.push_back("error_message=" + behaviour.refuse_message);
  }
  if (behaviour.ack_delay_ms > 0) {
    settings.push_back("ack_delay_ms=" + std::to_string(behaviour.ack_delay_ms));
    settings.push_back("ack_delay_commands=" + std::to_string(behaviour.ack_delay_commands));
  }
  if (behaviour.write_at_ack) settings.push_back("write_at_ack=1");
  settings.push_back("busy_commands=" + std::to_string(behaviour.busy_commands));
  settings.push_back("end_at_command=" + std::to_string(behaviour.end_at_command));
  return settings;
}

class StandInHarness final : public dde_contract::DdeClientHarness {
 public:
  StandInHarness() : client_(platform::MakeDdeMessageClient()), starter_(platform::MakeProgramStarter()) {
    static int harnesses = 0;
    log_ = (fs::temp_directory_path() /
            ("nj-standin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++harnesses) + ".log"))
               .string();
    DeleteFileA(log_.c_str());
    cw20_settings_ = OwnFolder() + "CW20.ini";
    DeleteFileA(cw20_settings_.c_str());
  }

  ~StandInHarness() override {
    client_.reset();  // ends its conversations while the servers still answer
    StopIde();
    EXPECT_FALSE(AnyServerAnswers()) << "a stand-in was left running";
    DeleteFileA(cw20_settings_.c_str());
    for (const std::string& log : Logs()) DeleteFileA(log.c_str());
  }

  platform::DdeClient& Client() override { return *client_; }
  platform::ProgramStarter& Starter() override { return *starter_; }

  platform::DdeServer StartIde(const IdeBehaviour& behaviour) override {
    StartStandIn(SettingsFor(behaviour));
    return {started_.empty() ? 0 : started_.back().pid, started_.empty() ? "" : started_.back().program};
  }

  // Starts ide-standin.exe with `settings` as its arguments and waits until it offers its service.
  // The first logs into the harness's log, each further one into a log of its own; every second one
  // runs from the copy named CW20.exe, so that two stand-ins are two programs.
  void StartStandIn(const std::vector<std::string>& settings) {
    const std::string log = started_.empty() ? log_ : log_ + "-" + std::to_string(started_.size() + 1);
    const std::string program = OwnFolder() + (started_.size() % 2 == 0 ? "ide-standin.exe" : "CW20.exe");
    std::string command_line = Quoted(program) + " " + Quoted("--log=" + log);
    for (const std::string& setting : settings) command_line += " " + Quoted("--" + setting);
    int ready = Count("ready ");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << "cannot start " << program << ": error " << GetLastError();
    CloseHandle(process.hThread);
    started_.push_back({process.hProcess, process.dwProcessId, program, log});
    for (int waited = 0; Count("ready ") == ready; waited += 20) {
      ASSERT_LT(waited, 15000) << "ide-standin did not come up; its log:\n" << LogText();
      ASSERT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_TIMEOUT) << "ide-standin ended:\n" << LogText();
      PumpFor(20);
    }
  }

  void InstallIdeAsCw20(const IdeBehaviour& behaviour) override {
    std::vector<std::string> settings = SettingsFor(behaviour);
    settings.push_back("log=" + log_);
    InstallCw20(settings);
  }

  void InstallCw20(const std::vector<std::string>& settings) {
    std::ofstream file(cw20_settings_, std::ios::binary | std::ios::trunc);
    file << "; written by windows_dde_tests\r\n";
    for (const std::string& setting : settings) file << setting << "\r\n";
    ASSERT_TRUE(file.good()) << cw20_settings_;
  }

  void StopIde() override {
    // Stand-ins started here, and those started as CW20, known by the process id they logged.
    std::vector<HANDLE> processes;
    for (StartedStandIn& standin : started_) {
      if (standin.process != nullptr) processes.push_back(standin.process);
      standin.process = nullptr;
      ended_.insert(standin.pid);
    }
    std::istringstream lines(LogText());
    std::string line;
    while (std::getline(lines, line)) {
      line = Event(line);
      if (line.rfind("started pid=", 0) != 0) continue;
      // One ended before may have left its number to another process since.
      DWORD pid = static_cast<DWORD>(std::stoul(line.substr(12)));
      if (!ended_.insert(pid).second) continue;
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (process != nullptr) processes.push_back(process);
    }
    for (HANDLE process : processes) {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 9);
      EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "a stand-in process did not end";
      CloseHandle(process);
    }
  }

  void KillIde(std::uint32_t process) override {
    for (StartedStandIn& standin : started_) {
      if (standin.pid != process || standin.process == nullptr) continue;
      TerminateProcess(standin.process, 9);
      EXPECT_EQ(WaitForSingleObject(standin.process, 10000), WAIT_OBJECT_0) << "the stand-in did not end";
      CloseHandle(standin.process);
      standin.process = nullptr;
    }
  }

  std::vector<std::string> CommandsReceived(std::uint32_t process = 0) override {
    std::vector<std::string> commands;
    std::string log = process == 0 ? LogText() : "";
    for (const StartedStandIn& standin : started_) log += standin.pid == process ? Read(standin.log) : "";
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
      line = Event(line);
      if (line.rfind("execute ", 0) == 0) commands.push_back(line.substr(8));
    }
    return commands;
  }

  void Pass(int ms) override { PumpFor(ms); }

  // The logs of every stand-in started, one after the other.
  std::string LogText() const {
    std::string text;
    for (const std::string& log : Logs()) text += Read(log);
    return text;
  }

  int Count(const std::string& line_start) const {
    int count = 0;
    std::istringstream lines(LogText());
    std::string line;
    while (std::getline(lines, line)) count += Event(line).rfind(line_start, 0) == 0 ? 1 : 0;
    return count;
  }

  // Whether a server answers now, asked through a client of its own.
  static bool AnyServerAnswers() {
    auto probe = platform::MakeDdeMessageClient();
    DdeChannel channel = probe->Connect(kService);
    probe->Close(channel);
    return channel != 0;
  }

 private:
  struct StartedStandIn {
    HANDLE process;  // nullptr once ended
    DWORD pid;
    std::string program;
    std::string log;
  };

  static std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  std::vector<std::string> Logs() const {
    std::vector<std::string> logs{log_};
    for (std::size_t i = 1; i < started_.size(); ++i) logs.push_back(started_[i].log);
    return logs;
  }

  std::unique_ptr<platform::DdeClient> client_;
  std::unique_ptr<platform::ProgramStarter> starter_;
  std::vector<StartedStandIn> started_;
  std::set<DWORD> ended_;  // processes of stand-ins ended already
  std::string log_;
  std::string cw20_settings_;
};

}  // namespace

namespace dde_contract {
std::unique_ptr<DdeClientHarness> WithMessages() { return std::make_unique<StandInHarness>(); }
INSTANTIATE_TEST_SUITE_P(, DdeClientContract, ::testing::Values(HarnessFactory{"Messages", WithMessages}),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace dde_contract

namespace {

// ---- the stand-in's own behaviour, and the client's that the contract leaves open

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(StandInHarness::AnyServerAnswers()) << "a server of \"ClarionWin\" is already running";
    folder_ = fs::temp_directory_path() /
              (std::string("nj-standin-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    harness_ = std::make_unique<StandInHarness>();
    client_ = &harness_->Client();
  }
  void TearDown() override {
    harness_.reset();  // checks that no stand-in is left
    fs::remove_all(folder_);
  }
  std::string P(const std::string& base) const { return (folder_ / base).string(); }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
  }
  std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  bool WaitForFile(const std::string& path) {
    for (int waited = 0; waited < 10000; waited += 50) {
      if (fs::exists(path)) return true;
      PumpFor(50);
    }
    return false;
  }

  fs::path folder_;
  std::unique_ptr<StandInHarness> harness_;
  platform::DdeClient* client_ = nullptr;
};

TEST_F(StandInTest, RefusesACommandWhoseInputFileIsMissing) {
  harness_->StartStandIn({"write_delay_ms=0"});
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  std::string p = P("GHOST");
  client_->Execute(channel, "[ExportApp(" + p + ".App," + p + ".TXA,0)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  std::string number;
  std::string message;
  EXPECT_TRUE(client_->Request(channel, "GetErrorNum", number));
  EXPECT_TRUE(client_->Request(channel, "GetErrorMsg", message));
  EXPECT_EQ(number, "2");
  EXPECT_EQ(message, "File not found: " + p + ".App");

  client_->Execute(channel, "[Compile(" + p + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  EXPECT_TRUE(client_->Request(channel, "GetErrorNum", number));
  EXPECT_EQ(number, "3");
}

TEST_F(StandInTest, BuildsAProgramOrALibraryAsTheAppFileSays) {
  harness_->StartStandIn({"write_delay_ms=0"});
  Write(P("PROG.APP"), "NAME=PROG\r\n");
  Write(P("LIB.APP"), "NAME=LIB\r\n  target = dll\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  // The program writes the extension in lower case; the file on disk has it in upper case.
  client_->Execute(channel, "[ExecuteProject(" + P("PROG") + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  client_->Execute(channel, "[ExecuteProject(" + P("lib") + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_TRUE(WaitForFile(P("PROG.EXE")));
  EXPECT_TRUE(WaitForFile(P("LIB.DLL")));
  EXPECT_FALSE(fs::exists(P("PROG.DLL")));
  EXPECT_FALSE(fs::exists(P("LIB.EXE")));
  // The client asked for no topic: the server saw a wildcard connect, and named its topic itself.
  EXPECT_NE(harness_->LogText().find("connect topic=*"), std::string::npos) << harness_->LogText();
}

TEST_F(StandInTest, ImportsAndExportsCopyTheText) {
  harness_->StartStandIn({"write_delay_ms=0"});
  std::string p = P("INV");
  Write(p + ".APP", "application text\r\n");
  Write(p + ".DCT", "dictionary text\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->Execute(channel, "[ExportApp(" + p + ".App," + p + ".TXA,0)]");
  ASSERT_TRUE(WaitForFile(p + ".TXA"));
  client_->Execute(channel, "[ExportDCT(" + p + ".DCT," + p + ".TXD,0)]");
  ASSERT_TRUE(WaitForFile(p + ".TXD"));
  EXPECT_EQ(Read(p + ".TXA"), "application text\r\n");
  EXPECT_EQ(Read(p + ".TXD"), "dictionary text\r\n");

  Write(p + ".TXA", "changed application\r\n");
  client_->Execute(channel, "[ImportApp(" + p + ".TXA," + p + ".APP,0,Replace)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
  for (int waited = 0; waited < 10000 && Read(p + ".APP") != "changed application\r\n"; waited += 50) PumpFor(50);
  EXPECT_EQ(Read(p + ".APP"), "changed application\r\n");
}

// A command whose acknowledgement timed out leaves the IDE busy with it: closing the conversation
// and the client waits for no answer from it, and the IDE is left to finish its job.
TEST_F(StandInTest, ClosingAfterATimedOutCommandDoesNotWaitForTheBusyIde) {
  harness_->StartStandIn({"ack_delay_ms=4000", "write_delay_ms=0"});
  Write(P("A.APP"), "application\r\n");
  auto client = platform::MakeDdeMessageClient();
  DdeChannel channel = client->Connect(kService);
  ASSERT_NE(channel, 0);
  client->SetTimeOut(50);
  client->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  ASSERT_EQ(client->LastError(), platform::kDdeTimeOut);
  const DWORD start = GetTickCount();
  client->Close(channel);
  client.reset();
  EXPECT_LT(GetTickCount() - start, 1000u) << "ms to close after a time-out";
  EXPECT_TRUE(WaitForFile(P("A") + ".EXE")) << harness_->LogText();
}

// While the next command waits for an IDE still busy with one that timed out, the thread's
// messages are served: a window stays alive.
TEST_F(StandInTest, TheThreadsMessagesAreServedWhileABusyIdeIsAwaited) {
  harness_->StartStandIn({"ack_delay_ms=3000", "ack_delay_commands=1", "never_write=1"});
  Write(P("A.APP"), "application\r\n");
  static DWORD served = 0;
  WNDCLASSA type{.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM w, LPARAM l) -> LRESULT {
                   if (message == WM_APP) served = GetTickCount();
                   return DefWindowProcA(hwnd, message, w, l);
                 },
                 .hInstance = GetModuleHandleA(nullptr),
                 .lpszClassName = "NjServedProbe"};
  RegisterClassA(&type);
  HWND probe = CreateWindowA("NjServedProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  ASSERT_NE(probe, nullptr);
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->SetTimeOut(50);
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeTimeOut);
  client_->SetTimeOut(1000);
  served = 0;
  PostMessageA(probe, WM_APP, 0, 0);
  const DWORD sent = GetTickCount();
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  const DWORD returned_ms = GetTickCount() - sent;
  DestroyWindow(probe);
  EXPECT_TRUE(served != 0 && served - sent < 500u) << "served at " << served - sent << " ms of " << returned_ms;
}

TEST_F(StandInTest, NeverWritesWhenToldAndQuitsOnCommand) {
  harness_->StartStandIn({"write_delay_ms=0", "never_write=1", "quit_command=1"});
  std::string p = P("INV");
  Write(p + ".APP", "application\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->Execute(channel, "[ExecuteProject(" + p + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
  client_->Execute(channel, "[Quit]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
  client_->Close(channel);
  bool gone = false;
  for (int waited = 0; waited < 10000 && !gone; waited += 100) {
    PumpFor(100);
    gone = harness_->Count("stopped") == 1;
  }
  EXPECT_TRUE(gone) << harness_->LogText();
  EXPECT_FALSE(fs::exists(p + ".EXE"));
  EXPECT_EQ(client_->Connect(kService), 0);
}

TEST(Win32ProgramStarter, FindsProgramsAlongPathWithOrWithoutExtension) {
  auto starter = platform::MakeProgramStarter();
  EXPECT_EQ(starter->Start("cmd /c exit 3"), platform::StartResult::kOk);
  EXPECT_EQ(starter->Start("cmd.exe /c exit 3"), platform::StartResult::kOk);
  EXPECT_EQ(starter->Start("nj-no-such-program"), platform::StartResult::kFailed);
  EXPECT_EQ(starter->Start("C:\\nj-no-such-folder\\cmd.exe"), platform::StartResult::kFailed);
  EXPECT_EQ(starter->Start(""), platform::StartResult::kFailed);
}

TEST_F(StandInTest, StartedAsCw20ItReadsCw20Ini) {
  harness_->InstallCw20({"refuse=1", "error_number=77", "error_message=Started from CW20.ini",
                         "log=" + (folder_ / "cw20.log").string()});
  ASSERT_EQ(harness_->Starter().Start("CW20"), platform::StartResult::kOk);
  DdeChannel channel = 0;
  for (int waited = 0; waited < 20000 && channel == 0; waited += 100) {
    PumpFor(100);
    channel = client_->Connect(kService);
  }
  ASSERT_NE(channel, 0);
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  std::string message;
  EXPECT_TRUE(client_->Request(channel, "GetErrorMsg", message));
  EXPECT_EQ(message, "Started from CW20.ini");
  std::string log = Read((folder_ / "cw20.log").string());
  EXPECT_NE(log.find(" as CW20.exe"), std::string::npos) << log;

  // Not started by the harness itself, so its id comes from its log.
  client_->Close(channel);
  std::istringstream lines(log);
  std::string first;
  std::getline(lines, first);
  first = Event(first);
  ASSERT_EQ(first.rfind("started pid=", 0), 0u) << first;
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(first.substr(12)));
  ASSERT_NE(process, nullptr);
  TerminateProcess(process, 9);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

}  // namespace

namespace {

// ---- busy answers, a stand-in's death, and several stand-ins at once

using MessageClientTest = StandInTest;  // named for what it looks at: the client's own answers

TEST_F(MessageClientTest, ABusyAnswerIsReportedAsBusyAndTheCommandCanGoAgain) {
  harness_->StartStandIn({"busy_commands=1", "write_delay_ms=0"});
  std::string command = "[ExecuteProject(" + P("A") + ".app)]";
  Write(P("A.APP"), "application\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->Execute(channel, command);
  EXPECT_EQ(client_->LastError(), platform::kDdeServerBusy) << client_->LastErrorText();
  client_->Execute(channel, command);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_EQ(harness_->CommandsReceived(), (std::vector<std::string>{command, command}));
  EXPECT_TRUE(WaitForFile(P("A.EXE")));
}

// Told to die after its first command, the stand-in acknowledges it and is gone before its result
// is written: the channel then reports the server gone, at once.
TEST_F(MessageClientTest, AStandInToldToDieEndsMidMake) {
  harness_->StartStandIn({"die_at_command=1", "die_after_ms=300", "write_delay_ms=3000"});
  Write(P("A.APP"), "application\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  const std::uint32_t process = client_->ServerProcess(channel);
  EXPECT_NE(process, 0u);
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  for (int waited = 0; waited < 10000 && client_->ServerAlive(channel); waited += 50) PumpFor(50);
  EXPECT_FALSE(client_->ServerAlive(channel));
  EXPECT_EQ(harness_->Count("dying"), 1) << harness_->LogText();
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen);
  // Still named, so that the one that died can be told.
  EXPECT_EQ(client_->ServerProcess(channel), process);
  PumpFor(3500);
  EXPECT_FALSE(fs::exists(P("A.EXE"))) << "written by a stand-in that had died";
  EXPECT_EQ(harness_->Count("stopped"), 0) << "it ended in order instead of dying";
}

// Two stand-ins, each run from a program of its own (copies of the stand-in in two folders), each
// with its own log and settings.
class TwoStandInsTest : public ::testing::Test {
 protected:
  struct StandIn {
    std::string program;
    std::string log;
    PROCESS_INFORMATION process{};
  };

  void SetUp() override {
    ASSERT_FALSE(StandInHarness::AnyServerAnswers()) << "a server of \"ClarionWin\" is already running";
    folder_ = fs::temp_directory_path() /
              (std::string("nj-two-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    for (const char* name : {"first", "second"}) {
      fs::create_directories(folder_ / name);
      StandIn standin;
      standin.program = (folder_ / name / "CW20.exe").string();
      standin.log = (folder_ / name / "standin.log").string();
      fs::copy_file(OwnFolder() + "ide-standin.exe", standin.program);
      standins_.push_back(standin);
    }
    client_ = platform::MakeDdeMessageClient();
  }

  void TearDown() override {
    client_.reset();
    for (StandIn& standin : standins_) Kill(standin);
    EXPECT_FALSE(StandInHarness::AnyServerAnswers()) << "a stand-in was left running";
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  void Start(StandIn& standin, const std::string& settings) {
    std::string command_line = Quoted(standin.program) + " " + Quoted("--log=" + standin.log) + " " + settings;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessA(standin.program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &standin.process))
        << "cannot start " << standin.program;
    CloseHandle(standin.process.hThread);
    for (int waited = 0; Read(standin.log).find(" ready ") == std::string::npos; waited += 20) {
      ASSERT_LT(waited, 15000) << "the stand-in did not come up:\n" << Read(standin.log);
      PumpFor(20);
    }
  }

  static void Kill(StandIn& standin) {
    if (standin.process.hProcess == nullptr) return;
    TerminateProcess(standin.process.hProcess, 9);
    WaitForSingleObject(standin.process.hProcess, 10000);
    CloseHandle(standin.process.hProcess);
    standin.process.hProcess = nullptr;
  }

  static std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  static std::vector<std::string> Commands(const StandIn& standin) {
    std::vector<std::string> commands;
    for (const std::string& event : Events(Read(standin.log))) {
      if (event.rfind("execute ", 0) == 0) commands.push_back(event.substr(8));
    }
    return commands;
  }

  // The command that makes application `base` in the test's folder, its .APP file written.
  std::string Make(const std::string& base) {
    std::string p = (folder_ / base).string();
    std::ofstream(p + ".APP", std::ios::binary) << "application\r\n";
    return "[ExecuteProject(" + p + ".app)]";
  }

  fs::path folder_;
  std::vector<StandIn> standins_;
  std::unique_ptr<platform::DdeClient> client_;
};

// Every log line starts with the system's time in milliseconds, so the logs of several stand-ins
// show in what order, and how far apart, their commands came.
TEST_F(TwoStandInsTest, TheLogsTimesAreComparableAcrossStandIns) {
  StandIn& first = standins_[0];
  StandIn& second = standins_[1];
  ASSERT_NO_FATAL_FAILURE(Start(first, "--write_delay_ms=0"));
  ASSERT_NO_FATAL_FAILURE(Start(second, "--write_delay_ms=0"));
  DdeChannel to_first = client_->ConnectTo(kService, first.process.dwProcessId);
  DdeChannel to_second = client_->ConnectTo(kService, second.process.dwProcessId);
  ASSERT_NE(to_first, 0);
  ASSERT_NE(to_second, 0);
  const unsigned long long before = NowMs();
  client_->Execute(to_second, Make("A"));
  PumpFor(300);
  const unsigned long long between = NowMs();
  client_->Execute(to_first, Make("B"));
  const unsigned long long after = NowMs();

  auto execute_time = [](const StandIn& standin) {
    std::istringstream lines(Read(standin.log));
    for (std::string line; std::getline(lines, line);) {
      if (Event(line).rfind("execute ", 0) == 0) return TimeOf(line);
    }
    return 0ull;
  };
  const unsigned long long second_at = execute_time(second);
  const unsigned long long first_at = execute_time(first);
  EXPECT_GE(second_at, before);
  EXPECT_LE(second_at, between);
  EXPECT_GE(first_at, between);
  EXPECT_LE(first_at, after);
  EXPECT_GE(static_cast<long long>(first_at) - static_cast<long long>(second_at), 300);
}

}  // namespace

namespace {

// A stand-in busy inside a command (as an IDE in a make) answers no connect until it is done: the
// other is still listed and reached at once, and the busy one costs a listing at most a bounded wait.
TEST_F(TwoStandInsTest, ABusyStandInDoesNotHoldUpReachingTheOther) {
  StandIn& busy = standins_[0];
  StandIn& free = standins_[1];
  ASSERT_NO_FATAL_FAILURE(Start(busy, "--ack_delay_ms=5000 --never_write"));
  ASSERT_NO_FATAL_FAILURE(Start(free, "--write_delay_ms=0"));
  DdeChannel to_busy = client_->ConnectTo(kService, busy.process.dwProcessId);
  ASSERT_NE(to_busy, 0);
  client_->SetTimeOut(50);
  client_->Execute(to_busy, Make("A"));
  ASSERT_EQ(client_->LastError(), platform::kDdeTimeOut);
  client_->SetTimeOut(1000);

  DWORD start = GetTickCount();
  std::vector<platform::DdeServer> servers = client_->Servers(kService);
  const DWORD listing_ms = GetTickCount() - start;
  EXPECT_LT(listing_ms, 2000u);
  ASSERT_EQ(servers.size(), 1u) << "the busy one answered a connect";
  EXPECT_EQ(servers[0].process_id, free.process.dwProcessId);

  start = GetTickCount();
  DdeChannel to_free = client_->ConnectTo(kService, free.process.dwProcessId);
  ASSERT_NE(to_free, 0);
  std::string b = Make("B");
  client_->Execute(to_free, b);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_LT(GetTickCount() - start, 500u);
  EXPECT_EQ(Commands(free), std::vector<std::string>{b});
  EXPECT_TRUE(client_->ServerAlive(to_busy));
}

}  // namespace
