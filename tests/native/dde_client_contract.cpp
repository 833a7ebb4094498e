// The DdeClient contract: what the IDE connection and the batch operations rely on, whichever
// client serves them. See dde_client_contract.h for how it is run.
#include "dde_client_contract.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace dde_contract {

using platform::DdeChannel;
namespace fs = std::filesystem;

constexpr const char* kService = "ClarionWin";

void DdeClientContract::SetUp() {
  harness_ = GetParam().make();
  client_ = &harness_->Client();
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

}  // namespace dde_contract
