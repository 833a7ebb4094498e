// The DdeClient contract run against the in-process fake IDE, and what the fake offers scenario tests
// beyond the contract: start-up after a number of attempts, fault plans, result files on a virtual
// clock, and the reading of the IDE's commands that the fake shares with ide-standin.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dde_client_contract.h"
#include "platform/clock.h"
#include "fake_ide.h"
#include "ide_command.h"

namespace {

using platform::DdeChannel;
using platform::VirtualClock;
using doubles::CommandFault;
using doubles::FakeIde;
using doubles::FakeProgramStarter;
namespace fs = std::filesystem;

// ---- the contract against the fake

class FakeHarness final : public dde_contract::DdeClientHarness {
 public:
  FakeHarness() { pool_.SetTimeOutWait([this](std::int64_t hundredths) { clock_.Advance(hundredths); }); }
  platform::DdeClient& Client() override { return pool_; }
  platform::ProgramStarter& Starter() override { return starter_; }
  platform::DdeServer StartIde(const dde_contract::IdeBehaviour& behaviour) override {
    FakeIde& ide = Add(behaviour);
    ide.SetRunning(true);
    return {ide.ProcessId(), ide.Program()};
  }
  void InstallIdeAsCw20(const dde_contract::IdeBehaviour& behaviour) override {
    // A real IDE takes a moment to register its service after its process started.
    Add(behaviour).ComeUpWhenStarted(starter_, "CW20", 3);
  }
  void StopIde() override {
    for (std::size_t i = 0; i < pool_.Size(); ++i) pool_.Instance(i).SetRunning(false);
  }
  void KillIde(std::uint32_t process) override { Of(process).SetRunning(false); }
  std::vector<std::string> CommandsReceived(std::uint32_t process = 0) override {
    if (process != 0) return Of(process).Commands();
    std::vector<std::string> all;
    for (std::size_t i = 0; i < pool_.Size(); ++i)
      all.insert(all.end(), pool_.Instance(i).Commands().begin(), pool_.Instance(i).Commands().end());
    return all;
  }
  void Pass(int ms) override {
    clock_.Advance(ms / 10);
    pool_.Pump();
  }

 private:
  // One more instance, not running, with the contract's behaviour in the fake's terms.
  FakeIde& Add(const dde_contract::IdeBehaviour& behaviour) {
    const std::string n = std::to_string(pool_.Size() + 1);
    FakeIde& ide = pool_.Add(static_cast<std::uint32_t>(pool_.Size() + 1001), "C:\\IDE" + n + "\\CW20.EXE");
    ide.SetRunning(false);
    ide.SetChecksCommands(true);
    if (behaviour.refuse_number != 0) {
      ide.FailCommand(1, {CommandFault::Kind::kRefuse, behaviour.refuse_number, behaviour.refuse_message}, true);
    }
    for (int nth = 1; nth <= behaviour.busy_commands; ++nth) ide.FailCommand(nth, {CommandFault::Kind::kBusy});
    if (behaviour.end_at_command != 0) ide.FailCommand(behaviour.end_at_command, {CommandFault::Kind::kEndConversation});
    ide.SetAckDelay(behaviour.ack_delay_ms / 10, behaviour.ack_delay_commands);
    ide.SetResultDelay(behaviour.write_at_ack ? 0 : behaviour.result_delay_ms / 10);
    return ide;
  }
  FakeIde& Of(std::uint32_t process) { return pool_.Instance(process - 1001); }

  VirtualClock clock_{80000, 0};
  doubles::FakeIdePool pool_{clock_};
  FakeProgramStarter starter_;
};

}  // namespace

namespace dde_contract {
INSTANTIATE_TEST_SUITE_P(, DdeClientContract,
                         ::testing::Values(HarnessFactory{
                             "FakeIde", [] { return std::unique_ptr<DdeClientHarness>(new FakeHarness); }}),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace dde_contract

namespace {

// ---- beyond the contract

// A fake IDE on a virtual clock, with a folder for result files.
class FakeIdeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              (std::string("nj-fake-ide-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    ide_.SetTimeOutWait([this](std::int64_t hundredths) { clock_.Advance(hundredths); });
  }
  void TearDown() override { fs::remove_all(folder_); }
  // The path prefix P of a command: folder and base name.
  std::string P(const std::string& base) const { return (folder_ / base).string(); }

  VirtualClock clock_{80000, 360000};
  FakeIde ide_{clock_};
  FakeProgramStarter starter_;
  fs::path folder_;
};

TEST_F(FakeIdeTest, ComesUpAfterTheGivenNumberOfFailedConnects) {
  ide_.ComeUpAfterConnectAttempts(2);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 0);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 0);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 1);
  EXPECT_EQ(ide_.Connect("clarionwin"), 2) << "service names ignore letter case";
  EXPECT_EQ(ide_.ConnectAttempts(), 4);
  EXPECT_EQ(ide_.OpenChannels(), 2);
}

TEST_F(FakeIdeTest, ComesUpWhenCw20IsStartedAndNotBefore) {
  ide_.ComeUpWhenStarted(starter_, "CW20", 1);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 0);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 0) << "no number of attempts brings it up unstarted";
  EXPECT_EQ(starter_.Start("CW21"), platform::StartResult::kFailed);
  EXPECT_EQ(starter_.Start(" cw20 "), platform::StartResult::kOk);
  EXPECT_EQ(ide_.Connect("ClarionWin"), 0);
  EXPECT_NE(ide_.Connect("ClarionWin"), 0);
  EXPECT_EQ(starter_.Start("CW20"), platform::StartResult::kOk) << "starting it again is harmless";
  EXPECT_EQ(starter_.Started(), (std::vector<std::string>{"CW21", " cw20 ", "CW20"}));
}

TEST_F(FakeIdeTest, FaultPlanHitsTheNthCommandOnceOrFromThenOn) {
  DdeChannel channel = ide_.Connect("ClarionWin");
  ide_.FailCommand(2, {CommandFault::Kind::kTimeOut});
  ide_.FailCommand(4, {CommandFault::Kind::kRefuse, 77, "Cannot open file"}, true);
  std::vector<std::int32_t> errors;
  for (int i = 0; i < 5; ++i) {
    ide_.Execute(channel, "[ImportDCT(" + P("A") + ".TXD," + P("A") + ".DCT,0)]");
    errors.push_back(ide_.LastError());
  }
  EXPECT_EQ(errors, (std::vector<std::int32_t>{0, 605, 0, 603, 603}));
  EXPECT_EQ(ide_.Commands().size(), 5u);
  std::string number;
  std::string message;
  EXPECT_TRUE(ide_.Request(channel, "GetErrorNum", number));
  EXPECT_TRUE(ide_.Request(channel, "GETERRORMSG", message));
  EXPECT_EQ(number, "77");
  EXPECT_EQ(message, "Cannot open file");
}

TEST_F(FakeIdeTest, TimeOutLetsTheTimeOutPassOnTheClock) {
  DdeChannel channel = ide_.Connect("ClarionWin");
  ide_.SetTimeOut(15 * 6000);
  ide_.FailCommand(1, {CommandFault::Kind::kTimeOut});
  std::int32_t before = clock_.TimeOfDay();
  ide_.Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  EXPECT_EQ(ide_.LastError(), platform::kDdeTimeOut);
  EXPECT_EQ(clock_.TimeOfDay() - before, 15 * 6000);
  EXPECT_EQ(ide_.PendingResults(), 0) << "a command that timed out has no result";
}

TEST_F(FakeIdeTest, ResultFileIsWrittenByTheFirstCallAfterItsDelay) {
  DdeChannel channel = ide_.Connect("ClarionWin");
  ide_.SetResultDelay(2500);  // 25 s: due at the third tick of a 10-second timer
  ide_.Execute(channel, "[ExecuteProject(" + P("INVOICE") + ".app)]");
  ASSERT_EQ(ide_.LastError(), platform::kDdeNoError);
  fs::path exe = folder_ / "INVOICE.EXE";
  for (int tick = 1; tick <= 2; ++tick) {
    clock_.Advance(1000);
    ide_.Pump();
    EXPECT_FALSE(fs::exists(exe)) << "tick " << tick;
  }
  clock_.Advance(1000);
  EXPECT_FALSE(fs::exists(exe)) << "the clock alone writes nothing";
  EXPECT_EQ(ide_.LastError(), platform::kDdeNoError);  // any call into the fake writes what is due
  EXPECT_TRUE(fs::exists(exe));
  EXPECT_EQ(ide_.Written(), std::vector<std::string>{exe.string()});
}

TEST_F(FakeIdeTest, EachCommandWritesTheFileItImplies) {
  DdeChannel channel = ide_.Connect("ClarionWin");
  std::string p = P("INV");
  ide_.Execute(channel, "[ExecuteProject(" + p + ".app)]");
  ide_.Execute(channel, "[ExportApp(" + p + ".App," + p + ".TXA,0)]");
  ide_.Execute(channel, "[ImportApp(" + p + ".TXA," + p + ".APP,0,Replace)]");
  ide_.Execute(channel, "[ImportDCT(" + p + ".TXD," + p + ".DCT,0)]");
  ide_.Execute(channel, "[ExportDCT(" + p + ".DCT," + p + ".TXD,0)]");
  ide_.SetMakesDll(true);
  ide_.Execute(channel, "[ExecuteProject(" + p + ".app)]");
  const std::vector<std::string> written{p + ".EXE", p + ".TXA", p + ".APP", p + ".DCT", p + ".TXD", p + ".DLL"};
  EXPECT_EQ(ide_.Written(), written);
  for (const std::string& path : written) EXPECT_TRUE(fs::exists(path)) << path;
  EXPECT_EQ(ide_.Commands().size(), 6u);
}

TEST_F(FakeIdeTest, NeverWritingAndBusyAreAvailableToo) {
  DdeChannel channel = ide_.Connect("ClarionWin");
  ide_.SetWritesResults(false);
  ide_.Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  EXPECT_EQ(ide_.LastError(), platform::kDdeNoError);
  EXPECT_EQ(ide_.PendingResults(), 0);
  ide_.FailCommand(2, {CommandFault::Kind::kBusy});
  ide_.Execute(channel, "[ExecuteProject(" + P("A") + ".app)]");
  EXPECT_EQ(ide_.LastError(), platform::kDdeServerBusy);
  EXPECT_EQ(ide_.LastErrorText(), platform::DdeErrorText(platform::kDdeServerBusy));
  EXPECT_FALSE(fs::exists(folder_ / "A.EXE"));
}

TEST_F(FakeIdeTest, RemembersTheTimeOutItWasGiven) {
  EXPECT_EQ(ide_.TimeOut(), platform::kDdeDefaultTimeOut);
  ide_.SetTimeOut(99 * 6000);
  EXPECT_EQ(ide_.TimeOut(), 99 * 6000);
  ide_.SetTimeOut(0);
  EXPECT_EQ(ide_.TimeOut(), 1);
}

// ---- reading the IDE's commands

struct ParseCase {
  const char* text;
  bool valid;
  const char* input;
  const char* output;
};

TEST(IdeCommand, ReadsTheFiveCommandsAndRejectsEverythingElse) {
  const ParseCase cases[] = {
      {"[ExecuteProject(D:\\APPS\\INVOICE.app)]", true, "D:\\APPS\\INVOICE.app", ""},
      {"[ExportApp(D:\\A\\X.App,D:\\A\\X.TXA,0)]", true, "D:\\A\\X.App", "D:\\A\\X.TXA"},
      {"[ImportApp(X.TXA,X.APP,0,Replace)]", true, "X.TXA", "X.APP"},
      {"[ImportDCT(X.TXD,X.DCT,0)]", true, "X.TXD", "X.DCT"},
      {"[ExportDCT(X.DCT,X.TXD,0)]   ", true, "X.DCT", "X.TXD"},
      {"[executeproject(x.app)]", true, "x.app", ""},
      {"[ExportApp(X.App,X.TXA)]", false, "", ""},
      {"[ExecuteProject()]", false, "", ""},
      {"[Quit]", false, "", ""},
      {"ExecuteProject(X.app)", false, "", ""},
      {"[Compile(X.app)]", false, "", ""},
      {"", false, "", ""},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(std::string("With test input: ") + c.text);
    auto command = ide_standin::ParseIdeCommand(c.text);
    ASSERT_EQ(command.has_value(), c.valid);
    if (!command) continue;
    EXPECT_EQ(command->input, c.input);
    EXPECT_EQ(command->output, c.output);
  }
}

TEST(IdeCommand, ReplacesOnlyTheLastNamesExtension) {
  using ide_standin::ReplaceExtension;
  EXPECT_EQ(ReplaceExtension("D:\\APPS\\INVOICE.app", ".EXE"), "D:\\APPS\\INVOICE.EXE");
  EXPECT_EQ(ReplaceExtension("/tmp/v1.2/INVOICE", ".EXE"), "/tmp/v1.2/INVOICE.EXE");
  EXPECT_EQ(ReplaceExtension("C:\\v1.2\\A", ".DLL"), "C:\\v1.2\\A.DLL");
}

}  // namespace
