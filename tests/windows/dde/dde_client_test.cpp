// The DdeClient contract run against DDEML and ide-standin.exe in a process of its own, and what
// only the stand-in does: its refusals, its result files, its settings file when it runs as CW20.
// Every test ends the stand-in processes it started, and checks that none is left answering.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dde_client_contract.h"
#include "platform/program_starter.h"
#include "platform/win32/ddeml_client.h"

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
  return settings;
}

class DdemlHarness final : public dde_contract::DdeClientHarness {
 public:
  explicit DdemlHarness(platform::DdemlOptions options = {})
      : client_(platform::MakeDdemlClient(options)), starter_(platform::MakeProgramStarter()) {
    static int harnesses = 0;
    log_ = (fs::temp_directory_path() /
            ("nj-standin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++harnesses) + ".log"))
               .string();
    DeleteFileA(log_.c_str());
    cw20_settings_ = OwnFolder() + "CW20.ini";
    DeleteFileA(cw20_settings_.c_str());
  }

  ~DdemlHarness() override {
    client_.reset();  // ends its conversations while the servers still answer
    StopIde();
    EXPECT_FALSE(AnyServerAnswers()) << "a stand-in was left running";
    DeleteFileA(cw20_settings_.c_str());
    DeleteFileA(log_.c_str());
  }

  platform::DdeClient& Client() override { return *client_; }
  platform::ProgramStarter& Starter() override { return *starter_; }

  void StartIde(const IdeBehaviour& behaviour) override { StartStandIn(SettingsFor(behaviour)); }

  // Starts ide-standin.exe with `settings` as its arguments and waits until it offers its service.
  void StartStandIn(const std::vector<std::string>& settings) {
    std::string command_line = Quoted(OwnFolder() + "ide-standin.exe") + " " + Quoted("--log=" + log_);
    for (const std::string& setting : settings) command_line += " " + Quoted("--" + setting);
    int ready = Count("ready ");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string application = OwnFolder() + "ide-standin.exe";
    ASSERT_TRUE(CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << "cannot start " << application << ": error " << GetLastError();
    CloseHandle(process.hThread);
    processes_.push_back(process.hProcess);
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
    std::vector<HANDLE> processes = processes_;
    processes_.clear();
    std::istringstream lines(LogText());
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("started pid=", 0) != 0) continue;
      DWORD pid = static_cast<DWORD>(std::stoul(line.substr(12)));
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (process != nullptr) processes.push_back(process);
    }
    for (HANDLE process : processes) {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 9);
      EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0) << "a stand-in process did not end";
      CloseHandle(process);
    }
  }

  std::vector<std::string> CommandsReceived() override {
    std::vector<std::string> commands;
    std::istringstream lines(LogText());
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("execute ", 0) == 0) commands.push_back(line.substr(8));
    }
    return commands;
  }

  void Pass(int ms) override { PumpFor(ms); }

  std::string LogText() const {
    std::ifstream file(log_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  int Count(const std::string& line_start) const {
    int count = 0;
    std::istringstream lines(LogText());
    std::string line;
    while (std::getline(lines, line)) count += line.rfind(line_start, 0) == 0 ? 1 : 0;
    return count;
  }

  // Whether a server answers now, asked through a client of its own.
  static bool AnyServerAnswers() {
    auto probe = platform::MakeDdemlClient();
    DdeChannel channel = probe->Connect(kService);
    probe->Close(channel);
    return channel != 0;
  }

 private:
  std::unique_ptr<platform::DdeClient> client_;
  std::unique_ptr<platform::ProgramStarter> starter_;
  std::vector<HANDLE> processes_;
  std::string log_;
  std::string cw20_settings_;
};

}  // namespace

namespace dde_contract {
INSTANTIATE_TEST_SUITE_P(, DdeClientContract,
                         ::testing::Values(HarnessFactory{
                             "Ddeml", [] { return std::unique_ptr<DdeClientHarness>(new DdemlHarness); }}),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace dde_contract

namespace {

// ---- the stand-in's own behaviour, through DDEML

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(DdemlHarness::AnyServerAnswers()) << "a server of \"ClarionWin\" is already running";
    folder_ = fs::temp_directory_path() /
              (std::string("nj-standin-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    harness_ = std::make_unique<DdemlHarness>();
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
  std::unique_ptr<DdemlHarness> harness_;
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
  auto client = platform::MakeDdemlClient();
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

// While the next command waits for an IDE still busy with one that timed out (under wine, for a
// new conversation it would answer), the thread's messages are served: a window stays alive.
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
  ASSERT_EQ(first.rfind("started pid=", 0), 0u) << first;
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(first.substr(12)));
  ASSERT_NE(process, nullptr);
  TerminateProcess(process, 9);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

}  // namespace

namespace {

// ---- why the client works around wine's DDEML (ddeml_client.h)
// Both tests switch a workaround off and expect wine's misbehaviour. Should one fail on a newer
// wine, that wine no longer needs the workaround.

class WineDdemlTest : public StandInTest {
 protected:
  void SetUp() override {
    if (!platform::RunningOnWine()) GTEST_SKIP() << "wine's DDEML only";
    StandInTest::SetUp();
  }
  void WithoutWorkarounds() {
    harness_ = std::make_unique<DdemlHarness>(
        platform::DdemlOptions{platform::WineWorkaround::kOff, platform::WineWorkaround::kOff});
    client_ = &harness_->Client();
  }
};

TEST_F(WineDdemlTest, RequestsOnOneConversationGetEachOthersAnswers) {
  WithoutWorkarounds();
  harness_->StartStandIn({"refuse=1", "error_number=1234", "error_message=Project has 3 errors"});
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  std::vector<std::string> answers;
  for (const char* item : {"GetErrorNum", "GetErrorMsg", "GetErrorNum", "GetErrorMsg"}) {
    std::string value;
    client_->Request(channel, item, value);
    answers.push_back(value);
  }
  EXPECT_NE(answers, (std::vector<std::string>{"1234", "Project has 3 errors", "1234", "Project has 3 errors"}))
      << "every request got its own answer on one conversation";
}

TEST_F(WineDdemlTest, LateAcknowledgementAnswersTheNextCommand) {
  WithoutWorkarounds();
  harness_->StartStandIn({"ack_delay_ms=3000", "ack_delay_commands=1", "never_write=1"});
  Write(P("A.APP"), "application\r\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->SetTimeOut(100);
  client_->Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeTimeOut);
  // Refused by the stand-in (its input is missing), yet not reported so: the first command's late
  // answer, or its abandoned transaction still queued, takes the place of this one's.
  client_->SetTimeOut(1000);
  client_->Execute(channel, "[ExecuteProject(" + P("MISSING") + ".app)]");
  EXPECT_NE(client_->LastError(), platform::kDdeNotProcessed) << "the refusal was reported as such";
  for (int waited = 0; waited < 5000 && harness_->Count("refused 2 File not found") == 0; waited += 50) PumpFor(50);
  EXPECT_EQ(harness_->Count("refused 2 File not found"), 1) << harness_->LogText();
}

}  // namespace
