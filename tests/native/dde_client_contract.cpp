// The DdeClient contract: what the IDE connection and the batch operations rely on, whichever
// client serves them. See dde_client_contract.h for how it is run.
#include "dde_client_contract.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

namespace dde_contract {

using platform::DdeChannel;
using platform::DdeCommand;
using platform::DdeServer;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kService = "ClarionWin";

void DdeClientContract::SetUp() {
  harness_ = GetParam().make();
  client_ = &harness_->Client();
  client_->OnAnswer([this] { ++answers_heard_; });
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("nj-dde-") + GetParam().name + "-" + test->name();
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  fs::path folder = fs::temp_directory_path() / name;
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder);
  folder_ = folder.string() + static_cast<char>(fs::path::preferred_separator);
}

void DdeClientContract::TearDown() {
  client_->OnAnswer({});
  client_ = nullptr;
  harness_.reset();  // ends every conversation and every IDE process the test started
  std::error_code error;
  fs::remove_all(fs::path(folder_), error);
}

void DdeClientContract::WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file{fs::path(path), std::ios::binary | std::ios::trunc};
  file << text;
  ASSERT_TRUE(file.good()) << path;
}

bool DdeClientContract::FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::path(path), error);
}

bool DdeClientContract::WaitForFile(const std::string& path, int ms) {
  for (int waited = 0;; waited += 50) {
    if (FileExists(path)) return true;
    if (waited >= ms) return false;
    harness_->Pass(50);
  }
}

std::string DdeClientContract::MakeCommand(const std::string& base) {
  std::string p = Folder() + base;
  WriteFile(p + ".APP", "application " + base + "\n");
  return "[ExecuteProject(" + p + ".app)]";
}

DdeChannel DdeClientContract::ConnectWithin(int ms) {
  for (int waited = 0;; waited += 100) {
    DdeChannel channel = client_->Connect(kService);
    if (channel != 0 || waited >= ms) return channel;
    harness_->Pass(100);
  }
}

std::int32_t DdeClientContract::AwaitAnswer(DdeCommand command, int ms) {
  for (int waited = 0;; waited += 20) {
    const std::int32_t code = client_->Answer(command);
    if (code != platform::kDdePending || waited >= ms) return code;
    harness_->Pass(20);
  }
}

// ---- connecting

TEST_P(DdeClientContract, NoServerAnsweringGivesChannelZero) {
  EXPECT_EQ(client_->Connect(kService), 0);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
}

TEST_P(DdeClientContract, OnlyTheNamedServiceAnswers) {
  harness_->StartIde({});
  EXPECT_EQ(client_->Connect("NoSuchService"), 0);
  EXPECT_NE(client_->Connect(kService), 0);
}

TEST_P(DdeClientContract, EachConnectOpensItsOwnConversation) {
  harness_->StartIde({});
  std::string a = MakeCommand("A");
  std::string b = MakeCommand("B");
  DdeChannel first = client_->Connect(kService);
  DdeChannel second = client_->Connect(kService);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_NE(first, second);

  client_->Execute(first, a);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  client_->Close(first);
  client_->Execute(second, b);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  client_->Execute(first, a);
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen);
  EXPECT_EQ(harness_->CommandsReceived(), (std::vector<std::string>{a, b}));
}

TEST_P(DdeClientContract, StartingCw20BringsUpTheServerWhenNoneAnswers) {
  harness_->InstallIdeAsCw20({});
  ASSERT_EQ(client_->Connect(kService), 0);
  EXPECT_EQ(harness_->Starter().Start("nj-no-such-program"), platform::StartResult::kFailed);
  ASSERT_EQ(harness_->Starter().Start("CW20"), platform::StartResult::kOk);

  DdeChannel channel = ConnectWithin(20000);
  ASSERT_NE(channel, 0) << "the server started as CW20 never answered";
  client_->Execute(channel, MakeCommand("A"));
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
}

// ---- commands

TEST_P(DdeClientContract, AcceptedCommandReachesTheServerAndClearsTheError) {
  harness_->StartIde({});
  std::string p = Folder() + "INVOICE";
  WriteFile(p + ".TXD", "dictionary text\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);

  client_->Execute(0, "[ExecuteProject(X.app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeInvalidChannel);
  std::string command = "[ImportDCT(" + p + ".TXD," + p + ".DCT,0)]";
  client_->Execute(channel, command);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_EQ(client_->LastErrorText(), platform::DdeErrorText(platform::kDdeNoError));
  EXPECT_EQ(harness_->CommandsReceived(), std::vector<std::string>{command});
}

TEST_P(DdeClientContract, ResultFilesAppearAfterTheServersDelay) {
  IdeBehaviour slow;
  slow.result_delay_ms = 1500;
  harness_->StartIde(slow);
  std::string p = Folder() + "INVOICE";
  WriteFile(p + ".APP", "application\n");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);

  client_->Execute(channel, "[ExportApp(" + p + ".App," + p + ".TXA,0)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_FALSE(FileExists(p + ".TXA")) << "written before its delay";
  EXPECT_TRUE(WaitForFile(p + ".TXA", 10000));

  client_->Execute(channel, "[ExecuteProject(" + p + ".app)]");
  ASSERT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_TRUE(WaitForFile(p + ".EXE", 10000));
}

TEST_P(DdeClientContract, RefusedCommandIsExplainedByTheServersErrorItems) {
  IdeBehaviour refusing;
  refusing.refuse_number = 1234;
  refusing.refuse_message = "Project has 3 errors";
  harness_->StartIde(refusing);
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);

  client_->Execute(channel, MakeCommand("A"));
  ASSERT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  EXPECT_EQ(client_->LastErrorText().rfind(platform::DdeErrorText(platform::kDdeNotProcessed), 0), 0u)
      << client_->LastErrorText();

  // Asked twice over, as a program that reports the error and logs it would: each answer must
  // belong to its own request, and the command's error must stay pending throughout.
  for (int round = 0; round < 2; ++round) {
    std::string number = "unset";
    std::string message = "unset";
    EXPECT_TRUE(client_->Request(channel, "GetErrorNum", number));
    EXPECT_TRUE(client_->Request(channel, "GetErrorMsg", message));
    EXPECT_EQ(number, "1234");
    EXPECT_EQ(message, "Project has 3 errors");
    EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed);
  }
  std::string value = "unset";
  EXPECT_FALSE(client_->Request(channel, "NoSuchItem", value));
  EXPECT_EQ(value, "");
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed);
}

TEST_P(DdeClientContract, LateAcknowledgementTimesOutAndTheChannelStaysUsable) {
  IdeBehaviour late;
  late.ack_delay_ms = 4000;
  late.ack_delay_commands = 1;
  harness_->StartIde(late);
  std::string accepted_late = MakeCommand("A");
  std::string missing = Folder() + "MISSING";
  std::string refused = "[ExecuteProject(" + missing + ".app)]";
  std::string accepted = MakeCommand("C");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);

  client_->SetTimeOut(150);
  client_->Execute(channel, accepted_late);
  ASSERT_EQ(client_->LastError(), platform::kDdeTimeOut);
  EXPECT_EQ(client_->LastErrorText().rfind(platform::DdeErrorText(platform::kDdeTimeOut), 0), 0u)
      << client_->LastErrorText();

  // The next command goes out while the first one's (positive) acknowledgement is still on its
  // way; this command is refused, and the late answer must not be taken for its answer.
  client_->SetTimeOut(1000);
  client_->Execute(channel, refused);
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed) << client_->LastErrorText();
  std::string message;
  EXPECT_TRUE(client_->Request(channel, "GetErrorMsg", message));
  EXPECT_EQ(message, "File not found: " + missing + ".app");
  harness_->Pass(4000);
  client_->Execute(channel, accepted);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_EQ(harness_->CommandsReceived(), (std::vector<std::string>{accepted_late, refused, accepted}));
}

TEST_P(DdeClientContract, ServerThatExitsAfterATimeOutLeavesTheChannelNotOpen) {
  IdeBehaviour late;
  late.ack_delay_ms = 30000;
  harness_->StartIde(late);
  std::string command = MakeCommand("A");
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->SetTimeOut(100);
  client_->Execute(channel, command);
  ASSERT_EQ(client_->LastError(), platform::kDdeTimeOut);
  harness_->StopIde();

  // Told at once, not after waiting out the time-out for a server that is gone.
  client_->SetTimeOut(6000);
  auto start = std::chrono::steady_clock::now();
  client_->Execute(channel, command);
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen) << client_->LastErrorText();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// ---- commands on their way

// An IDE that makes inside the DDE call, and answers once its output is written.
TEST_P(DdeClientContract, SendReturnsAtOnceAndTheAnswerComesWhenTheServerIsDone) {
  harness_->StartIde({.ack_delay_ms = 1500, .write_at_ack = true});
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  const auto start = std::chrono::steady_clock::now();
  const DdeCommand command = client_->Send(channel, MakeCommand("INVOICE"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  ASSERT_NE(command, 0);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
  harness_->Pass(500);
  EXPECT_EQ(client_->Answer(command), platform::kDdePending);
  EXPECT_FALSE(FileExists(Folder() + "INVOICE.EXE"));
  EXPECT_EQ(answers_heard_, 0);

  EXPECT_EQ(AwaitAnswer(command, 10000), platform::kDdeNoError);
  EXPECT_TRUE(FileExists(Folder() + "INVOICE.EXE")) << "answered before its output was written";
  EXPECT_EQ(answers_heard_, 1);
  EXPECT_EQ(client_->Answer(command), platform::kDdeInvalidChannel) << "an answer is given once";
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError);
}

TEST_P(DdeClientContract, AnswerTellsAcceptedRefusedBusyOrTheChannelLost) {
  struct Case {
    const char* what;
    IdeBehaviour ide;
    bool killed_meanwhile;
    std::int32_t answer;
  };
  const Case cases[] = {
      {"accepted", {.ack_delay_ms = 300}, false, platform::kDdeNoError},
      {"refused", {.refuse_number = 7, .refuse_message = "No", .ack_delay_ms = 300}, false, platform::kDdeNotProcessed},
      {"busy", {.busy_commands = 1}, false, platform::kDdeServerBusy},
      {"server killed", {.ack_delay_ms = 30000}, true, platform::kDdeChannelNotOpen},
      {"conversation ended by the server", {.end_at_command = 1}, false, platform::kDdeChannelNotOpen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("With test input: ") + c.what);
    const DdeServer ide = harness_->StartIde(c.ide);
    DdeChannel channel = client_->Connect(kService);
    ASSERT_NE(channel, 0);
    const int heard = answers_heard_;
    const DdeCommand command = client_->Send(channel, MakeCommand("A"));
    ASSERT_NE(command, 0);
    if (c.killed_meanwhile) harness_->KillIde(ide.process_id);
    EXPECT_EQ(AwaitAnswer(command, 10000), c.answer);
    EXPECT_EQ(client_->LastError(), c.answer);
    // A server that died says nothing: its loss is learnt by asking.
    if (!c.killed_meanwhile) {
      EXPECT_EQ(answers_heard_, heard + 1);
    }
    harness_->StopIde();
  }
}

TEST_P(DdeClientContract, AForgottenCommandsLateAnswerIsNotTakenForTheNextOnes) {
  harness_->StartIde({.ack_delay_ms = 1000, .ack_delay_commands = 1});
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  const DdeCommand forgotten = client_->Send(channel, MakeCommand("A"));
  client_->Forget(forgotten);
  EXPECT_EQ(client_->Answer(forgotten), platform::kDdeInvalidChannel);
  const std::string missing = Folder() + "MISSING";
  const DdeCommand refused = client_->Send(channel, "[ExecuteProject(" + missing + ".app)]");
  EXPECT_EQ(AwaitAnswer(refused, 10000), platform::kDdeNotProcessed);
  std::string message;
  EXPECT_TRUE(client_->Request(channel, "GetErrorMsg", message));
  EXPECT_EQ(message, "File not found: " + missing + ".app");
  EXPECT_EQ(client_->Answer(forgotten), platform::kDdeInvalidChannel);
}

// Two commands on their way at once, to two servers: each answer is its own command's, whichever
// comes first, and one not yet asked for is kept while more commands go out.
TEST_P(DdeClientContract, CommandsToTwoServersAreAnsweredEachInItsOwnTime) {
  for (bool refusal_last : {true, false}) {
    SCOPED_TRACE(refusal_last ? "the first sent answers last" : "the first sent answers first");
    const DdeServer refusing =
        harness_->StartIde({.refuse_number = 9, .refuse_message = "No", .ack_delay_ms = refusal_last ? 1500 : 300});
    const DdeServer accepting = harness_->StartIde({.ack_delay_ms = refusal_last ? 300 : 1500});
    const DdeChannel to_refusing = client_->ConnectTo(kService, refusing.process_id);
    const DdeChannel to_accepting = client_->ConnectTo(kService, accepting.process_id);
    ASSERT_NE(to_refusing, 0);
    ASSERT_NE(to_accepting, 0);
    const DdeCommand first = client_->Send(to_refusing, MakeCommand("A"));
    const DdeCommand second = client_->Send(to_accepting, MakeCommand("B"));
    for (int waited = 0; answers_heard_ == 0 && waited < 10000; waited += 20) harness_->Pass(20);
    const DdeCommand earlier = refusal_last ? second : first;
    const DdeCommand later = refusal_last ? first : second;
    EXPECT_EQ(client_->Answer(later), platform::kDdePending);
    const DdeCommand third = client_->Send(refusal_last ? to_accepting : to_refusing, MakeCommand("C"));
    EXPECT_EQ(AwaitAnswer(later, 10000), refusal_last ? platform::kDdeNotProcessed : platform::kDdeNoError);
    EXPECT_EQ(client_->Answer(earlier), refusal_last ? platform::kDdeNoError : platform::kDdeNotProcessed);
    EXPECT_EQ(AwaitAnswer(third, 10000), refusal_last ? platform::kDdeNoError : platform::kDdeNotProcessed);
    EXPECT_EQ(harness_->CommandsReceived(refusing.process_id).size(), refusal_last ? 1u : 2u);
    harness_->StopIde();
    answers_heard_ = 0;
  }
}

// ---- channels that are not open

TEST_P(DdeClientContract, CommandsOnChannelsThatAreNotOpenFail) {
  harness_->StartIde({});
  std::string value = "unset";

  client_->Execute(0, "[ExecuteProject(A.app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeInvalidChannel);
  client_->Execute(4711, "[ExecuteProject(A.app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeInvalidChannel);
  EXPECT_FALSE(client_->Request(4711, "GetErrorNum", value));

  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  client_->Close(channel);
  client_->Execute(channel, "[ExecuteProject(A.app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen);
  EXPECT_FALSE(client_->Request(channel, "GetErrorNum", value));
  EXPECT_EQ(value, "");

  // Closing again, or closing 0, reports nothing: the error of the last command stays.
  client_->Close(channel);
  client_->Close(0);
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen);
  EXPECT_TRUE(harness_->CommandsReceived().empty());
}

TEST_P(DdeClientContract, ChannelOfAServerThatExitedIsNotOpen) {
  harness_->StartIde({});
  DdeChannel channel = client_->Connect(kService);
  ASSERT_NE(channel, 0);
  harness_->StopIde();

  client_->Execute(channel, "[ExecuteProject(A.app)]");
  EXPECT_EQ(client_->LastError(), platform::kDdeChannelNotOpen) << client_->LastErrorText();
  EXPECT_EQ(client_->Connect(kService), 0);
}

// ---- several servers

TEST_P(DdeClientContract, ServersAreListedByProcessAndEachIsReachedAlone) {
  const DdeServer first = harness_->StartIde({});
  const DdeServer second = harness_->StartIde({.refuse_number = 5, .refuse_message = "Refused by the second"});
  std::vector<DdeServer> servers = client_->Servers(kService);
  ASSERT_EQ(servers.size(), 2u);
  for (const DdeServer& started : {first, second}) {
    auto listed = std::find_if(servers.begin(), servers.end(),
                               [&](const DdeServer& server) { return server.process_id == started.process_id; });
    ASSERT_NE(listed, servers.end()) << "process " << started.process_id << " not listed";
    std::error_code error;
    EXPECT_TRUE(listed->program == started.program || fs::equivalent(listed->program, started.program, error))
        << listed->program << " is not " << started.program;
  }
  EXPECT_TRUE(client_->Servers("NoSuchService").empty());

  const DdeChannel to_first = client_->ConnectTo(kService, first.process_id);
  const DdeChannel to_second = client_->ConnectTo(kService, second.process_id);
  ASSERT_NE(to_first, 0);
  ASSERT_NE(to_second, 0);
  EXPECT_EQ(client_->ConnectTo(kService, 0), 0);
  EXPECT_EQ(client_->ServerProcess(to_first), first.process_id);
  EXPECT_EQ(client_->ServerProcess(to_second), second.process_id);
  EXPECT_EQ(client_->ServerProcess(0), 0u);
  EXPECT_EQ(client_->ServerProcess(4711), 0u);
  const std::string a = MakeCommand("A");
  client_->Execute(to_second, a);
  EXPECT_EQ(client_->LastError(), platform::kDdeNotProcessed) << "not answered by the second";
  client_->Execute(to_first, a);
  EXPECT_EQ(client_->LastError(), platform::kDdeNoError) << client_->LastErrorText();
  EXPECT_EQ(harness_->CommandsReceived(first.process_id), std::vector<std::string>{a});
  EXPECT_EQ(harness_->CommandsReceived(second.process_id), std::vector<std::string>{a});

  // One that died is neither listed nor reached; its channel still names it, so that the one that
  // died can be told. A channel we closed names none.
  harness_->KillIde(first.process_id);
  EXPECT_FALSE(client_->ServerAlive(to_first));
  EXPECT_EQ(client_->ServerProcess(to_first), first.process_id);
  EXPECT_EQ(client_->ConnectTo(kService, first.process_id), 0);
  servers = client_->Servers(kService);
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].process_id, second.process_id);
  client_->Close(to_second);
  EXPECT_EQ(client_->ServerProcess(to_second), 0u);
}

}  // namespace dde_contract
