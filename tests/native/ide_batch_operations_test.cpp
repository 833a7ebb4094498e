// The six batch operations against the fake IDE on the headless runtime and its virtual clock: each
// operation, each kind of failure, the INVOICE make and the time-out on the second of three, and the
// program's own choices (start-up, waits that end without their file, midnight, closing the window,
// names a command cannot carry).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "ide_test_support.h"
#include "platform/clock.h"
#include "platform/dde_client.h"
#include "platform/file_claim.h"
#include "runtime/window.h"
#include "store/last_results.h"
#include "procedures/main_def.h"

namespace ide_test {
namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
using doubles::CommandFault;
using Lines = std::vector<LogLine>;
using Texts = std::vector<std::string>;

constexpr std::int32_t kDay = platform::kHundredthsPerDay;

// The log's event keeps 80 characters: a longer one is cut after a word and marked as cut.
TEST(EventText, ALongTextIsCutAfterAWordAndMarked) {
  const std::string error = "Error 603 IDE error 1001: Syntax error: Unknown identifier BUFFER:LENGTH in ";
  EXPECT_EQ(ide::EventText(error), error) << "fits whole";
  EXPECT_EQ(ide::EventText(error + "procedure UpdateInvoice"),
            "Error 603 IDE error 1001: Syntax error: Unknown identifier BUFFER:LENGTH in\x85");
  EXPECT_EQ(ide::EventText(std::string(100, 'x')), std::string(79, 'x') + "\x85") << "no word to cut after";
}

class BatchTest : public IdeTest {
 protected:
  // The files of an application as the IDE leaves them, each holding "old".
  void WriteAll(const std::string& base) {
    for (const char* extension : {".APP", ".TXA", ".TXD", ".DCT", ".EXE", ".DLL"}) Write(In(base + extension), "old");
  }
  void ExpectNothingLeftOpen() {
    EXPECT_FALSE(files_.TempFile.IsOpen());
    EXPECT_EQ(ide_.OpenChannels(), 0);
  }
};

// ---- the worked examples

TEST_F(BatchTest, InvoiceMakeDeletesTheOldExeSendsTheCommandAndLogsBeginAndFinish) {
  AddApp(Dir(), "INVOICE.APP");
  Write(In("INVOICE.APP"));
  Write(In("INVOICE.EXE"), "old");
  Write(In("PAYROLL.EXE"), "another application's");
  ide_.SetResultDelay(1500);  // written 15 s after the acknowledgement
  script()
      .In("MAIN$WINDOW")
      .Press(f::MakeExe)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "INVOICE.APP DDE Ack.");
        EXPECT_FALSE(fs::exists(In("INVOICE.EXE"))) << "the old executable was not deleted before sending";
      })
      .Wait(1000)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "INVOICE.APP DDE Ack."); })
      // The new executable appears at 15 s; the folder says so at once, well before the timer's
      // next tick at 20 s.
      .Wait(501)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Processing Complete");
        EXPECT_TRUE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands(), Texts{"[ExecuteProject(" + Dir() + "INVOICE.app)]"});
  EXPECT_EQ(Log(), (Lines{{"INVOICE.APP", "Begin Make"}, {"INVOICE.APP", "Make Finished"}}));
  EXPECT_EQ(summary_, "Batch ended: 1 finished, of 1; 0:15");
  EXPECT_EQ(backend_.last_actions(), (Texts{"", "Connected to CW", "INVOICE.APP DDE Ack.",
                                            "INVOICE.APP Compiled & Made", "Processing Complete"}));
  EXPECT_EQ(Read(In("INVOICE.EXE")).rfind("Written by the fake IDE", 0), 0u);
  EXPECT_EQ(backend_.headless().beeps(), 1);
  EXPECT_EQ(rereads_, 1);
  EXPECT_TRUE(boxes().empty()) << Boxes();
  // The conversation is closed, yet the display still reads connected and the channel keeps its number.
  ExpectNothingLeftOpen();
  EXPECT_EQ(state_.DDEConnected, 1);
  EXPECT_NE(state_.DDEChannel, 0);
}

// A record that holds stand-ins (no short names on its volume) is reached by the long path kept
// beside it, its long name whole.
TEST_F(BatchTest, AStandInRecordIsSentAndAwaitedByItsLongPath) {
  const std::string folder = Dir() + "|J0X1J0SF/", name = "|70G02VB.APP";
  fs::create_directories(In("Quarterly Reports"));
  const fs::path long_app = In("Quarterly Reports") / "Regional Sales.APP";
  Write(long_app);
  AddApp(folder, name);
  ASSERT_TRUE(store::LastResults().SetLongPath(folder, name, long_app.string()));
  script().Press(f::MakeExe).Wait(100).CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands(), Texts{"[ExecuteProject(" + Dir() + "Quarterly Reports/Regional Sales.app)]"});
  ASSERT_EQ(outcomes_.size(), 1u);
  EXPECT_EQ(outcomes_[0].outcome, ide::Outcome::kMade) << outcomes_[0].detail;
  EXPECT_EQ(outcomes_[0].ShownPath(), long_app.string());
}

// Another station holds the log while this one starts a batch: the old log is not appended to, and
// nothing is sent.
TEST_F(BatchTest, ALogThatCannotBeStartedAfreshStopsTheBatchBeforeAnythingIsSent) {
  AddApp(Dir(), "INVOICE.APP");
  Write(In("INVOICE.APP"));
  files::Files other;
  other.TempFile.Create();
  other.TempFile.Open();
  other.TMP.Event = "an old record";
  other.TempFile.Add();
  other.TempFile.BeginTransaction(1);
  ASSERT_EQ(other.store.error.code, 0);
  script().In("MAIN$WINDOW").Press(f::MakeExe).Answer(rt::ButtonOk, "could not be started afresh").CloseBox();
  RunWindow();
  other.TempFile.Rollback();
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_EQ(other.TempFile.Records(), 1);
}

TEST_F(BatchTest, TimeOutOnSecondOfThreeEndsTheBatchAndLeavesTheThirdUntouched) {
  for (const char* base : {"FIRST", "SECOND", "THIRD"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  Write(In("THIRD.EXE"), "old");
  ide_.FailCommand(2, {CommandFault::Kind::kTimeOut});
  script()
      .Press(f::MakeExe)
      .Wait(15 * 6000)  // the time-out counts from the second command's own send
      .Answer(rt::ButtonOk, "SECOND.APP: DDE timeout")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "2 of 3 not made, see Log"); })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"FIRST.APP", "Begin Make"},
                          {"FIRST.APP", "Make Finished"},
                          {"SECOND.APP", "Begin Make"},
                          {"SECOND.APP", "Error 605 " + platform::DdeErrorText(platform::kDdeTimeOut)}}));
  ASSERT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(boxes()[0].text, "SECOND.APP: DDE timeout");
  EXPECT_EQ(boxes()[0].caption, "DDE Time-out");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::None);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonOk);
  EXPECT_EQ(ide_.Commands().size(), 2u);
  EXPECT_EQ(Read(In("THIRD.EXE")), "old");
  EXPECT_EQ(ide_.TimeOut(), 15 * 6000);
  ExpectNothingLeftOpen();
  ASSERT_EQ(outcomes_.size(), 3u);
  EXPECT_EQ(outcomes_[1].outcome, ide::Outcome::kTimedOut);
  EXPECT_EQ(outcomes_[1].error_code, platform::kDdeTimeOut);
  EXPECT_EQ(outcomes_[2].outcome, ide::Outcome::kNotReached);
  EXPECT_EQ(outcomes_[2].application, "THIRD.APP");
}

// ---- the operations table

struct OperationCase {
  int button;
  const char* name;
  const char* deleted;  // the one file of WriteAll that must be gone when the command is sent
  std::string (*command)(const std::string& p);
  Texts shown;  // LastAction from sending to completion, for the application "INV.APP"
  const char* begin;
  const char* finished;
  const char* missing;  // what an application without its input file logs
};

void PrintTo(const OperationCase& c, std::ostream* out) { *out << c.name; }

const OperationCase kOperations[] = {
    {f::MakeExe, "MakeExe", "INV.EXE", [](const std::string& p) { return "[ExecuteProject(" + p + ".app)]"; },
     {"INV.APP DDE Ack.", "INV.APP Compiled & Made"}, "Begin Make", "Make Finished", ".APP not found"},
    {f::MakeDll, "MakeDll", "INV.DLL", [](const std::string& p) { return "[ExecuteProject(" + p + ".app)]"; },
     {"INV.APP DDE Ack.", "INV.APP DLL Compiled & Made"}, "Begin Make", "Make Finished", ".APP not found"},
    {f::ExportTxa, "ExportTxa", "INV.TXA",
     [](const std::string& p) { return "[ExportApp(" + p + ".App," + p + ".TXA,0)]"; },
     {"Exporting INV.APP", "INV.APP Exported."}, "Begin APP Export", "Export APP Finished", ".APP not found"},
    {f::ImportTxa, "ImportTxa", nullptr,
     [](const std::string& p) { return "[ImportApp(" + p + ".TXA," + p + ".APP,0,Replace)]"; },
     {"Importing INV.APP", "INV.APP Imported."}, "Begin APP Import", "Import APP Finished", ".TXA not found"},
    {f::ImportDct, "ImportDct", nullptr,
     [](const std::string& p) { return "[ImportDCT(" + p + ".TXD," + p + ".DCT,0)]"; },
     {"Importing INV.APP", "INV.APP Imported."}, "Begin DCT Import", "Import DCT Finished", ".TXD not found"},
    {f::ExportDct, "ExportDct", nullptr,
     [](const std::string& p) { return "[ExportDCT(" + p + ".DCT," + p + ".TXD,0)]"; },
     {"Exporting INV.APP", "INV.APP Exported."}, "Begin DCT Export", "Export DCT Finished", ".DCT not found"},
};

class OperationTest : public BatchTest, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(OperationTest, SkipsAMissingInputThenSendsWaitsAndLogs) {
  const OperationCase& c = GetParam();
  AddApp(Dir(), "GONE.APP");  // none of its files exist
  AddApp(Dir(), "INV.APP");
  WriteAll("INV");
  ide_.SetMakesDll(c.button == f::MakeDll);
  ide_.SetResultDelay(1500);
  script().Press(c.button);
  if (c.button == f::ImportTxa) script().Answer(rt::ButtonYes, "Are you sure you want to import .TXA into .APP?");
  script()
      .Inspect([&](rt::Window&) {
        // Sent, and waiting: only the operation's stale output is gone.
        for (const char* extension : {".APP", ".TXA", ".TXD", ".DCT", ".EXE", ".DLL"}) {
          std::string name = std::string("INV") + extension;
          EXPECT_EQ(fs::exists(In(name)), c.deleted == nullptr || name != c.deleted) << name;
        }
      })
      .Wait(1000)
      // The awaited file of an import is there before the command: only the IDE's writing, at
      // 15 s, ends the wait.
      .Inspect([&](rt::Window&) { EXPECT_EQ(outcomes_.size(), 1u) << "finished before the IDE wrote"; })
      .Wait(1000)
      .Wait(1000)
      .CloseBox();
  RunWindow();

  EXPECT_EQ(ide_.Commands(), Texts{c.command(Dir() + "INV")});
  EXPECT_EQ(Log(), (Lines{{"GONE.APP", c.missing}, {"INV.APP", c.begin}, {"INV.APP", c.finished}}));
  Texts shown{"", "Connected to CW"};
  shown.insert(shown.end(), c.shown.begin(), c.shown.end());
  shown.push_back("1 of 2 not made, see Log");  // the application without its input
  EXPECT_EQ(backend_.last_actions(), shown);
  if (c.deleted != nullptr) {
    EXPECT_NE(Read(In(c.deleted)), "old") << "the IDE's new file ended the wait";
  }
  EXPECT_EQ(rereads_, 1);
  ExpectNothingLeftOpen();
}

INSTANTIATE_TEST_SUITE_P(, OperationTest, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchTest, ImportTxaAsksFirstAndNoChangesNeitherTheLogNorTheConnection) {
  // The log of an earlier batch.
  files_.TempFile.Create();
  files_.TempFile.Open();
  files_.TMP.Apps = "OLD.APP";
  files_.TMP.Date = 1;
  files_.TMP.Event = "Make Finished";
  files_.TempFile.Add();
  files_.TempFile.Close();
  AddApp(Dir(), "INV.APP");
  WriteAll("INV");
  script()
      .Press(f::ImportTxa)
      .Answer(rt::ButtonNo)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW"); })
      .CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "Are you sure you want to import .TXA into .APP?");
  EXPECT_EQ(boxes()[0].caption, "Confirm");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::Question);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonYes | rt::ButtonNo);
  EXPECT_EQ(boxes()[0].default_button, rt::ButtonNo);
  EXPECT_EQ(Log(), (Lines{{"OLD.APP", "Make Finished"}}));
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_EQ(ide_.ConnectAttempts(), 1) << "only the first attempt at window open";
  EXPECT_EQ(ide_.OpenChannels(), 1);
  EXPECT_EQ(rereads_, 1);
}

// ---- the failure table

// Stopping at the first failure, the IDE's own number and text reach the box (which names the
// application) and the log; the second application is accounted for as not reached.
TEST_F(BatchTest, ARefusedCommandShowsAndLogsTheIdesOwnErrorAndEndsTheBatch) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 1234, "Project has 3 errors   "});
  script().Check(f::StopOnFailure, true).Press(f::ExportTxa).Answer(rt::ButtonOk).CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(boxes()[0].text, "A.APP: Error 1234 : Project has 3 errors");
  EXPECT_EQ(boxes()[0].caption, "Refused by the IDE");
  // The platform keeps 603 through the two item requests, so the batch ends like on any failure.
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin APP Export"}, {"A.APP", "Error 603 IDE error 1234: Project has 3 errors"}}));
  EXPECT_EQ(ide_.Commands().size(), 1u);
  // A failure is not shown as success: both applications are unmade, the second not even tried.
  EXPECT_EQ(backend_.last_actions().back(), "2 of 2 not made, see Log");
  EXPECT_EQ(summary_, "Batch ended: 0 finished, 1 failed, 1 not reached, of 2; 0:00");
  ASSERT_EQ(outcomes_.size(), 2u);
  EXPECT_EQ(outcomes_[0].position, 1);
  EXPECT_EQ(outcomes_[0].folder, Dir());
  EXPECT_EQ(outcomes_[0].outcome, ide::Outcome::kFailed);
  EXPECT_EQ(outcomes_[0].ide_error_number, 1234);
  EXPECT_EQ(outcomes_[0].ide_error_text, "Project has 3 errors");
  EXPECT_EQ((std::pair{outcomes_[1].position, outcomes_[1].outcome}), (std::pair{2, ide::Outcome::kNotReached}));
  ExpectNothingLeftOpen();
}

// With "Stop at first failure" unticked a refusal concerns its application alone: no box holds the
// batch, the log keeps the IDE's reason and the next application is made. (A failure of the IDE
// itself, such as the time-out above, still ends the batch.)
TEST_F(BatchTest, ARefusalWithoutStopAtFirstFailureIsLoggedAndTheBatchGoesOn) {
  for (const char* base : {"A", "B"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 1234, "Project has 3 errors"});
  script().Check(f::StopOnFailure, false).Press(f::MakeExe).CloseBox();
  RunWindow();
  EXPECT_TRUE(boxes().empty()) << Boxes();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Error 603 IDE error 1234: Project has 3 errors"},
                          {"B.APP", "Begin Make"},
                          {"B.APP", "Make Finished"}}));
  EXPECT_EQ(summary_, "Batch ended: 1 finished, 1 failed, of 2; 0:00");
}

// Busy is no refusal: the command goes again after a growing pause until the IDE takes it, and
// fails only once the IDE stayed busy for the whole DDE time-out.
TEST_F(BatchTest, ABusyIdeIsAskedAgainUntilItTakesTheCommandOrTheTimeOutHasPassed) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  state_.DDETimeOut = 1;
  ide_.FailCommand(1, {CommandFault::Kind::kBusy});
  ide_.FailCommand(2, {CommandFault::Kind::kBusy});
  ide_.FailCommand(4, {CommandFault::Kind::kBusy}, true);
  script()
      .Press(f::MakeExe)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "CW busy, sending again"); })
      .Wait(150)  // the pauses: half a second, then a second
      .Inspect([this](rt::Window&) { EXPECT_EQ(ide_.Commands().size(), 4u) << "A in the third send, B's first"; })
      .Wait(6000)
      .Answer(rt::ButtonOk, "B.APP: The IDE stayed busy for the whole DDE time-out")
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Make Finished"},
                          {"B.APP", "Begin Make"},
                          {"B.APP", "Error 604 " + platform::DdeErrorText(platform::kDdeServerBusy)}}));
  // B: sent at once and after 0.5, 1, 2, 4, 8 s and then every 10 s until the minute was over.
  EXPECT_EQ(ide_.Commands().size(), 3u + 11u);
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
}

TEST_F(BatchTest, StopNowWhileTheIdeIsBusySendsTheCommandNoMore) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.FailCommand(1, {CommandFault::Kind::kBusy});
  script()
      .Press(f::MakeExe)
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonNo, "Stop the batch?")
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Stopped by the user while the IDE was busy, not sent"},
                          {"", "Batch stopped by the user"}}));
  EXPECT_FALSE(fs::exists(In("A.EXE"))) << "the command went again and was made";
}

// A make whose project builds the other kind of output: the new file ends the wait as not made,
// saying why; an old one, there before the command, does not.
TEST_F(BatchTest, TheOtherKindOfOutputEndsAMakesWaitAsNotMade) {
  struct Case {
    int button;
    bool makes_dll;
    const char* logged;
  };
  for (const Case& c : {Case{f::MakeExe, true, "The IDE made LIBCORE.DLL, not an .EXE: is it a library project?"},
                        Case{f::MakeDll, false, "The IDE made LIBCORE.EXE, not a .DLL: is it a program project?"}}) {
    SCOPED_TRACE(c.logged);
    WriteAll("LIBCORE");
    ide_.SetMakesDll(c.makes_dll);
    ide_.SetResultDelay(1500);
    outcomes_.clear();
    if (c.button == f::MakeExe) AddApp(Dir(), "LIBCORE.APP");
    script()
        .Press(c.button)
        .Wait(1000)
        .Inspect([&](rt::Window&) { EXPECT_TRUE(outcomes_.empty()) << "the old file ended the wait"; })
        .Wait(501)  // written at 15 s; the folder tells at once
        .Inspect([&](rt::Window& w) {
          ASSERT_EQ(outcomes_.size(), 1u);
          EXPECT_EQ(outcomes_[0].outcome, ide::Outcome::kFailed);
          EXPECT_EQ(w.state(f::LastAction).text, "1 of 1 not made, see Log");
        })
        .CloseBox();
    RunWindow();
    EXPECT_EQ(Log(), (Lines{{"LIBCORE.APP", "Begin Make"}, {"LIBCORE.APP", c.logged}}));
  }
}

TEST_F(BatchTest, StopAtFirstFailureEndsTheBatchAfterAResultTimeOut) {
  state_.DDETimeOut = 1;
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.SetWritesResults(false);
  script().Check(f::StopOnFailure, true).Press(f::MakeExe);
  for (int tick = 1; tick <= 7; ++tick) script().Wait(1000);
  script().CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "No .EXE within 1 minute, wait ended"},
                          {"", "Batch stopped at the first failure"}}));
  ASSERT_EQ(outcomes_.size(), 2u);
  EXPECT_EQ(outcomes_[1].outcome, ide::Outcome::kNotReached);
}

// The user clicks Gen & Make again while the refused command is being sent: that click does not
// start a second batch once this one has ended (the button is disabled meanwhile). A click on the
// close box then is kept and ends the program.
TEST_F(BatchTest, ClicksWhileACommandIsSentAreDroppedButACloseIsKept) {
  InjectingClient client(ide_);
  int sent = 0;
  client.during_send = [&] {
    if (rt::Window* window = runtime_.TopWindow()) {
      window->UserPress(f::MakeExe);
      EXPECT_FALSE(window->state(f::MakeExe).enabled);
      if (++sent == 2) window->UserClose();
    }
  };
  dde_ = &client;
  AddApp(Dir(), "A.APP");
  WriteAll("A");
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 1234, "Project has 3 errors"});
  script().Press(f::MakeExe);
  script().Inspect([this](rt::Window&) { EXPECT_EQ(ide_.Commands().size(), 1u) << "a second batch ran"; });
  // The second batch, asked for by the user now, sends again; its answer and file came before the
  // Close clicked meanwhile, which ends the program once the batch has taken them.
  script().Press(f::MakeExe);
  RunWindow();
  EXPECT_TRUE(script().Done()) << "the window closed before the user's second batch";
  EXPECT_EQ(ide_.Commands().size(), 2u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}}));
}

TEST_F(BatchTest, ErrorCodeSixHundredShowsNothingYetEndsTheBatch) {
  InjectingClient client(ide_);
  dde_ = &client;
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  client.FailNextExecute(600, "Edge of the DDE range  ");
  script().Press(f::MakeExe).CloseBox();
  RunWindow();
  EXPECT_TRUE(boxes().empty()) << Boxes();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Error 600 Edge of the DDE range"}}));
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(backend_.last_actions().back(), "2 of 2 not made, see Log");
}

TEST_F(BatchTest, AFailureBelowSixHundredIsReportedAsProcessingTerminatedWithTheOperationsPrefix) {
  InjectingClient client(ide_);
  dde_ = &client;
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  const std::pair<int, const char*> prefixes[] = {
      {f::MakeExe, "Error Making .App "},        {f::MakeDll, "Error Making .App "},
      {f::ExportTxa, "Error Making .App "},      {f::ImportTxa, "Error Making .App "},
      {f::ImportDct, "Error Importing .DCT "},   {f::ExportDct, "Error Exporting .DCT "}};
  for (const auto& [button, prefix] : prefixes) {
    script().Inspect([&client](rt::Window&) { client.FailNextExecute(42, "Disk full "); }).Press(button);
    if (button == f::ImportTxa) script().Answer(rt::ButtonYes);
    script().Answer(rt::ButtonOk, std::string(prefix) + "42 Disk full");
  }
  script().CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 7u) << Boxes();
  EXPECT_EQ(boxes()[0].text, "A.APP: Error Making .App 42 Disk full");
  EXPECT_EQ(boxes()[0].caption, "Processing Terminated");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::Stop);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonOk);
  // Each batch ended at its first application; the log is the last one's.
  EXPECT_EQ(ide_.Commands().size(), 6u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin DCT Export"}, {"A.APP", "Error 42 Disk full"}}));
}

// ---- the program's own choices: bounded waits, start-up, closing the window, odd names

TEST_F(BatchTest, AWaitWithoutItsFileEndsAfterTheDdeTimeOutAcrossMidnightAndGoesOn) {
  clock_.Set(81513, kDay - 1000);  // 11:59:50 PM
  state_.DDETimeOut = 1;
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  Write(In("A.APP"));
  Write(In("B.APP"));
  ide_.SetWritesResults(false);
  script().Press(f::MakeExe);
  for (int tick = 1; tick <= 5; ++tick) script().Wait(1000);
  script()
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "A.APP DDE Ack.") << "gave up before the minute was over";
        ide_.SetWritesResults(true);
      })
      .Wait(1000)  // a minute after the acknowledgement
      .Wait(3000)
      // The IDE may still be making A: B is not sent to it until A's file comes, late.
      .Inspect([this](rt::Window&) {
        EXPECT_EQ(ide_.Commands().size(), 1u);
        Write(In("A.EXE"), "late");
      })
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "No .EXE within 1 minute, wait ended"},
                          {"A.APP", "The IDE wrote A.EXE after the wait ended; it takes the next"},
                          {"B.APP", "Begin Make"},
                          {"B.APP", "Make Finished"}}));
  EXPECT_EQ(ide_.TimeOut(), 6000);
  EXPECT_TRUE(boxes().empty()) << Boxes();
}

TEST_F(BatchTest, ClosingTheWindowDuringAWaitClosesLogAndConversationThenTheWindow) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.SetWritesResults(false);
  // Esc asks to stop after this application (No); the close box asks first (No, then Yes).
  script()
      .Press(f::MakeExe)
      .Wait(1000)
      .Press(f::MakeDll)
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonCancel, "Stop the batch?")
      .CloseBox()
      .Answer(rt::ButtonNo, "Close Nightjar now?")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.Title(), "Nightjar (Batchwright) - 1 of 2"); })
      .CloseBox()
      .Answer(rt::ButtonYes, "Close Nightjar now?");
  RunWindow();
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_TRUE(script().Done());
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Window closed while waiting for .EXE"}}));
  EXPECT_EQ(ide_.Commands().size(), 1u) << "the button pressed during the wait did nothing";
  EXPECT_EQ(Read(In("B.EXE")), "old");
  EXPECT_EQ(backend_.headless().beeps(), 0);
  ExpectNothingLeftOpen();
}

TEST_F(BatchTest, WithNoTaggedApplicationTheBatchStillEmptiesTheLogStartsTheIdeAndCompletes) {
  files_.TempFile.Create();
  files_.TempFile.Open();
  files_.TMP.Apps = "OLD.APP";
  files_.TMP.Date = 1;
  files_.TempFile.Add();
  files_.TempFile.Close();
  AddApp(Dir(), "ZERO.APP", 0);
  AddApp(Dir(), "TWO.APP", 2);  // only 1 means tagged
  WriteAll("ZERO");
  WriteAll("TWO");
  ide_.ComeUpWhenStarted(starter_, "CW20", 2);
  script()
      .Answer(rt::ButtonOk, "is not currently running")
      .Press(f::MakeExe)
      .Wait(1000)
      .Wait(1000)
      .Wait(1000)  // the third attempt after the start answers
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), Lines{});
  EXPECT_EQ(starter_.Started(), Texts{"CW20"});
  EXPECT_EQ(ide_.ConnectAttempts(), 5);
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_EQ(backend_.last_actions(),
            (Texts{"", "Not Connected", "Waiting for CW to start", "Connected to CW", "Processing Complete"}));
  EXPECT_EQ(state_.DDEConnected, 1);
  ExpectNothingLeftOpen();
}

TEST_F(BatchTest, WhenTheIdeNeverAnswersTheBatchGivesUpAfterAMinuteWithItsLogClosed) {
  AddApp(Dir(), "A.APP");
  WriteAll("A");
  ide_.ComeUpWhenStarted(starter_, "CW20", 1000);
  script().Answer(rt::ButtonOk, "is not currently running").Press(f::MakeExe);
  for (int tick = 1; tick <= 6; ++tick) script().Wait(1000);
  script()
      .Answer(rt::ButtonOk, "did not answer within 60 seconds")
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Not Connected");
        EXPECT_FALSE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 2u) << Boxes();
  EXPECT_EQ(boxes()[1].caption, "Not Connected");
  EXPECT_EQ(boxes()[1].icon, rt::BoxIcon::Stop);
  EXPECT_EQ(starter_.Started(), Texts{"CW20"});
  // At open, at the press, then one every half second for a minute.
  EXPECT_EQ(ide_.ConnectAttempts(), 2 + 120);
  // The log says why nothing was sent, in place of the last batch's records.
  EXPECT_EQ(Log(), (Lines{{"", "Nothing sent: \"CW20\" was started but the IDE did not answer within 60 seconds"}}));
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_EQ(backend_.headless().beeps(), 0);
  EXPECT_EQ(rereads_, 1);
}

TEST_F(BatchTest, ClosingTheWindowWhileTheIdeStartsEndsTheBatchQuietly) {
  AddApp(Dir(), "A.APP");
  WriteAll("A");
  ide_.ComeUpWhenStarted(starter_, "CW20", 1000);
  script().Answer(rt::ButtonOk).Press(f::MakeExe).Wait(1000).CloseBox();
  RunWindow();
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(Log(), (Lines{{"", "Nothing sent: the window was closed while the IDE was starting"}}));
  EXPECT_EQ(state_.LastAction.str(), "Not Connected");
}

TEST_F(BatchTest, NamesTheCommandCannotCarryAreLoggedAndSkipped) {
  fs::create_directory(In("odd[1]"));
  AddApp(Dir() + "odd[1]/", "A.APP");
  AddApp(Dir(), "B,C.APP");
  fs::create_directory(In("Copy (2)"));
  AddApp(Dir() + "Copy (2)/", "OK.APP");  // parentheses are carried
  Write(In("odd[1]") / "A.APP");
  Write(In("B,C.APP"));
  Write(In("Copy (2)") / "OK.APP");
  script().Press(f::MakeExe).Wait(1000).CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Not sent: path holds \"[\", which a DDE command cannot carry"},
                          {"B,C.APP", "Not sent: path holds \",\", which a DDE command cannot carry"},
                          {"OK.APP", "Begin Make"},
                          {"OK.APP", "Make Finished"}}));
  EXPECT_EQ(ide_.Commands(), Texts{"[ExecuteProject(" + Dir() + "Copy (2)/OK.app)]"});
}

TEST_F(BatchTest, ANameWithoutADotIsItsOwnBaseNameUpToEightCharacters) {
  AddApp(Dir(), "NODOT");
  AddApp(Dir(), "LONGNAME1234");
  Write(In("NODOT.APP"));
  Write(In("LONGNAME.APP"));
  script().Press(f::MakeExe).Wait(1000).Wait(1000).CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands(), (Texts{"[ExecuteProject(" + Dir() + "NODOT.app)]",
                                    "[ExecuteProject(" + Dir() + "LONGNAME.app)]"}));
  EXPECT_EQ(Log().size(), 4u);
}

TEST_F(BatchTest, FileNamesAreComparedWithoutRegardToCase) {
  AddApp(Dir(), "APP.APP");
  Write(In("app.app"));
  Write(In("app.exe"), "old");
  ide_.SetWritesResults(false);
  script()
      .Press(f::MakeExe)
      .Inspect([&](rt::Window&) { EXPECT_FALSE(fs::exists(In("app.exe"))) << "a stale app.exe would end the wait"; })
      .Wait(1000)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "APP.APP DDE Ack.");
        Write(In("app.exe"), "new");
      })
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"APP.APP", "Begin Make"}, {"APP.APP", "Make Finished"}}));
}

TEST_F(BatchTest, ApplicationsAreTakenInStoredOrderAndEachBatchHasItsOwnLogAndConversation) {
  AddApp(Dir(), "ZULU.APP");
  AddApp(Dir(), "ALPHA.APP");
  WriteAll("ZULU");
  WriteAll("ALPHA");
  script()
      .Spin(f::TimeOut, -1)
      .Press(f::ExportDct)
      .Wait(1000)
      .Wait(1000)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(ide_.OpenChannels(), 0);
        EXPECT_TRUE(w.state(f::ServerActive).checked);
      })
      .Press(f::ImportDct)
      .Wait(1000)
      .Wait(1000)
      .CloseBox();
  RunWindow();
  std::string z = Dir() + "ZULU";
  std::string a = Dir() + "ALPHA";
  EXPECT_EQ(ide_.Commands(), (Texts{"[ExportDCT(" + z + ".DCT," + z + ".TXD,0)]", "[ExportDCT(" + a + ".DCT," + a + ".TXD,0)]",
                                    "[ImportDCT(" + z + ".TXD," + z + ".DCT,0)]", "[ImportDCT(" + a + ".TXD," + a + ".DCT,0)]"}));
  EXPECT_EQ(Log(), (Lines{{"ZULU.APP", "Begin DCT Import"},
                          {"ZULU.APP", "Import DCT Finished"},
                          {"ALPHA.APP", "Begin DCT Import"},
                          {"ALPHA.APP", "Import DCT Finished"}}));
  // The spin box's value is the time-out of the next batch.
  EXPECT_EQ(ide_.TimeOut(), 14 * 6000);
  EXPECT_EQ(ide_.ConnectAttempts(), 3);
  ExpectNothingLeftOpen();
}


// ---- while a batch runs

// The real lister, except that the files named in `held` are still open by their writer.
class HeldOpenLister final : public platform::DirectoryLister {
 public:
  int List(const std::string& pattern, std::vector<platform::DirectoryEntry>& entries) override {
    return real_->List(pattern, entries);
  }
  bool IsBeingWritten(const std::string& path) override { return held.count(fs::path(path).string()) > 0; }
  std::set<std::string> held;

 private:
  std::unique_ptr<platform::DirectoryLister> real_ = platform::MakeDirectoryLister();
};

// The IDE creates INVOICE.EXE at 15 s but writes it until 18 s: the batch waits for it to be
// closed, looking again every half second, though the close itself brings no folder change. The
// application's folder is not the current one: the file is asked about by its whole path.
TEST_F(BatchTest, AResultStillOpenByItsWriterIsNotCountedUntilClosed) {
  auto lister = std::make_unique<HeldOpenLister>();
  HeldOpenLister& held = *lister;
  lister_ = std::move(lister);
  AddApp(Dir(), "INVOICE.APP");
  Write(In("INVOICE.APP"));
  ide_.SetResultDelay(1500);
  held.held.insert(In("INVOICE.EXE").string());
  backend_.headless().At(clock_.Ticks() + 1800, [&] { held.held.clear(); });
  script()
      .Press(f::MakeExe)
      .Wait(1799)
      .Inspect([&](rt::Window& w) {
        EXPECT_TRUE(fs::exists(In("INVOICE.EXE")));
        EXPECT_EQ(w.state(f::LastAction).text, "INVOICE.APP DDE Ack.");
      })
      .Wait(ide::kWritingRecheck)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Processing Complete"); })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"INVOICE.APP", "Begin Make"}, {"INVOICE.APP", "Make Finished"}}));
}

// Another station deletes B from the list while A is made, and untags C: neither is sent, and the
// log says why for each; D is made once.
TEST_F(BatchTest, ApplicationsDeletedOrUntaggedMeanwhileAreLoggedAndNotSent) {
  for (const char* base : {"A", "B", "C", "D"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  ide_.SetResultDelay(500);
  backend_.headless().At(clock_.Ticks() + 100, [&] {
    files::Files other;
    other.Apps.Open();
    other.Apps.Set(store::Order::File);
    for (other.Apps.Next(); other.store.error.code == 0; other.Apps.Next()) {
      if (other.APP.Application.str() == "B.APP") other.Apps.Delete();
      if (other.APP.Application.str() == "C.APP") {
        other.APP.Tag = 0;
        other.Apps.Put();
      }
    }
    other.Apps.Close();
  });
  script().Press(f::MakeExe).Wait(2000).CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands(), (Texts{"[ExecuteProject(" + Dir() + "A.app)]", "[ExecuteProject(" + Dir() + "D.app)]"}));
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Make Finished"},
                          {"B.APP", "Removed from the list meanwhile, not sent"},
                          {"C.APP", "Untagged meanwhile, not sent"},
                          {"D.APP", "Begin Make"},
                          {"D.APP", "Make Finished"}}));
  EXPECT_EQ(summary_, "Batch ended: 2 finished, 2 skipped, of 4; 0:10");
  EXPECT_EQ(backend_.last_actions().back(), "2 of 4 not made, see Log");
}

// Esc during the first of three asks; Yes lets the first finish and sends nothing more. Meanwhile
// the title counts the applications, the cursor shows work going on and the field shows the stop.
TEST_F(BatchTest, EscStopsTheBatchAfterTheCurrentApplication) {
  for (const char* base : {"A", "B", "C"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  ide_.SetResultDelay(500);
  script()
      .Press(f::MakeExe)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.Title(), "Nightjar (Batchwright) - 1 of 3");
        EXPECT_TRUE(backend_.headless().working());
      })
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonYes, "Stop the batch?")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Stopping after this one"); })
      .Wait(1000)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.Title(), "Nightjar (Batchwright)");
        EXPECT_FALSE(backend_.headless().working());
        EXPECT_EQ(w.state(f::LastAction).text, "Stopped: 2 of 3 not made");
      })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}, {"", "Batch stopped by the user"}}));
  EXPECT_EQ(summary_, "Batch ended: 1 finished, 2 not reached, of 3; 0:05");
}

// "Stop now" abandons a wait that would never end: the application is stopped, not made, and the
// rest not reached. Yes during the last application only lets it finish: no stop line.
TEST_F(BatchTest, EscStopNowAbandonsTheWaitAndAfterTheLastApplicationChangesNothing) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  Write(In("A.APP"));
  Write(In("B.APP"));
  ide_.SetWritesResults(false);
  script()
      .Press(f::MakeExe)
      .Wait(3000)
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonNo, "Stop the batch?")
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Stopped: 2 of 2 not made");
        EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                                {"A.APP", "Stopped by the user; the wait for .EXE was abandoned"},
                                {"", "Batch stopped by the user"}}));
        EXPECT_EQ(summary_, "Batch ended: 0 finished, 1 stopped, 1 not reached, of 2; 0:30");
        ide_.SetWritesResults(true);
        ide_.SetResultDelay(500);
        files_.Apps.Set(store::Order::File);
        files_.Apps.Next();
        files_.APP.Tag = 0;  // only B now
        files_.Apps.Put();
      })
      .Press(f::MakeExe)
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonYes, "Stop the batch?")
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"B.APP", "Begin Make"}, {"B.APP", "Make Finished"}}));
  EXPECT_EQ(summary_, "Batch ended: 1 finished, of 1; 0:05");
  EXPECT_EQ(outcomes_[0].outcome, ide::Outcome::kStopped);
  EXPECT_EQ(outcomes_.back().outcome, ide::Outcome::kMade);
}

// The IDE exits while A is made: the wait ends within two seconds, says why, and B is not sent;
// the connection box no longer reads connected. An IDE that only ends the conversation is met the
// same way.
TEST_F(BatchTest, AnIdeThatExitsOrEndsTheConversationEndsTheWaitWithinTwoSeconds) {
  for (const char* base : {"A", "B"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  ide_.SetResultDelay(6000);
  backend_.headless().At(clock_.Ticks() + 300, [this] { ide_.SetRunning(false); });
  script()
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "2 of 2 not made, see Log");
        ide_.SetRunning(true);
        backend_.headless().At(clock_.Ticks() + 70, [this] { ide_.EndConversations(); });
      })
      .Press(f::MakeExe)
      .Wait(500)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(state_.DDEConnected, 0);
  const Lines ended{{"A.APP", "Begin Make"},
                    {"A.APP", "The IDE ended the conversation (it exited or closed it) while .EXE was awaited"}};
  EXPECT_EQ(Log(), ended);
  EXPECT_TRUE(boxes().empty()) << Boxes();
  EXPECT_EQ(ide_.Commands().size(), 2u);
  ASSERT_EQ(outcomes_.size(), 4u);
  EXPECT_EQ(outcomes_[0].error_code, platform::kDdeChannelNotOpen);
  EXPECT_LE(outcomes_[0].hundredths, 300 + 200);  // it went at 3 s
  EXPECT_LE(outcomes_[2].hundredths, 70 + 200);
  EXPECT_EQ(outcomes_[3].outcome, ide::Outcome::kNotReached);
}

// Another batch holds the log (this process stands in for the other station): nothing is sent and
// the last log stays whole; the box says which batch holds it. A claim file whose holder is gone
// (its lock went with its process) does not block the next batch.
TEST_F(BatchTest, ASecondBatchIsRefusedWhileTheLogIsClaimedButNotByAGoneHoldersFile) {
  AddApp(Dir(), "A.APP");
  Write(In("A.APP"));
  files_.TempFile.Create();
  files_.TempFile.Open();
  files_.TMP.Apps = "OLD.APP";
  files_.TMP.Date = 1;
  files_.TMP.Event = "Make Finished";
  files_.TempFile.Add();
  files_.TempFile.Close();
  const std::string holder = "Export .DCT to .TXD on station OTHER (process 7), since 3/1/24 8:59AM";
  std::string held;
  auto other = platform::ClaimFile(ide::kLogClaimFile, holder, held);
  ASSERT_NE(other, nullptr) << held;
  script()
      .Press(f::MakeExe)
      .Answer(rt::ButtonOk, "held by this batch: " + holder)
      .Inspect([&](rt::Window&) {
        EXPECT_EQ(Log(), (Lines{{"OLD.APP", "Make Finished"}}));
        other.reset();
        Write(ide::kLogClaimFile, "Gen & Make (.EXE) on station KILLED (process 9), since 3/1/24 8:00AM");
      })
      .Press(f::MakeExe)
      .Wait(100)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}}));
  // Released at the end: another batch may claim it now.
  EXPECT_NE(platform::ClaimFile(ide::kLogClaimFile, "next", held), nullptr) << held;
}

// A log record that cannot be written (another program holds the log) stops the batch after the
// application at hand, with the store's reason; the outcome of each is still told.
TEST_F(BatchTest, ALogRecordThatCannotBeWrittenStopsTheBatchAfterThisApplication) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  Write(In("A.APP"));
  Write(In("B.APP"));
  ide_.SetResultDelay(500);
  files::Files other;
  other.store.timing.ordinary_wait_ms = 20;
  backend_.headless().At(clock_.Ticks() + 100, [&] {
    other.TempFile.Open();
    other.TempFile.BeginTransaction(1);
  });
  script()
      .Press(f::MakeExe)
      .Wait(1000)
      .Answer(rt::ButtonOk, "A record of the activity log could not be written (")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Log not written, see message"); })
      .CloseBox();
  RunWindow();
  other.TempFile.Rollback();
  other.TempFile.Close();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}}));
  EXPECT_EQ(ide_.Commands().size(), 1u);
  ASSERT_EQ(outcomes_.size(), 2u);
  EXPECT_EQ(outcomes_[0].outcome, ide::Outcome::kMade);
  EXPECT_EQ(outcomes_[1].outcome, ide::Outcome::kNotReached);
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
}

}  // namespace
}  // namespace ide_test
