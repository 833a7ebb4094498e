// The six batch operations against the fake IDE on the headless runtime and its virtual clock: each
// operation, each kind of failure, the INVOICE make and the time-out on the second of three, and the
// program's own choices (start-up, waits that end without their file, midnight, closing the window,
// names a command cannot carry).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "ide_test_support.h"
#include "platform/dde_client.h"
#include "runtime/window.h"
#include "windows/main_def.h"

namespace ide_test {
namespace {

namespace fs = std::filesystem;
namespace f = windows::main_field;
using doubles::CommandFault;
using Lines = std::vector<LogLine>;
using Texts = std::vector<std::string>;

constexpr std::int32_t kDay = 8640000;

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
  EXPECT_EQ(summary_, "Batch ended: 1 finished, 0 failed, 0 not found, 0 skipped, of 1; 0:15");
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
  ide_.SetTimeOutWait([this](std::int64_t hundredths) { clock_.Advance(hundredths); });
  script()
      .Press(f::MakeExe)
      .Answer(rt::ButtonOk, "DDE timeout")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "2 of 3 not made, see Log"); })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"FIRST.APP", "Begin Make"},
                          {"FIRST.APP", "Make Finished"},
                          {"SECOND.APP", "Begin Make"},
                          {"SECOND.APP", "Error 605 " + platform::DdeErrorText(platform::kDdeTimeOut)}}));
  ASSERT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(boxes()[0].text, "DDE timeout");
  EXPECT_EQ(boxes()[0].caption, "");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::None);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonOk);
  EXPECT_EQ(ide_.Commands().size(), 2u);
  EXPECT_EQ(Read(In("THIRD.EXE")), "old");
  EXPECT_EQ(ide_.TimeOut(), 15 * 6000);
  ExpectNothingLeftOpen();
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

TEST_F(BatchTest, ARefusedCommandShowsTheIdesOwnErrorAndEndsTheBatch) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 1234, "Project has 3 errors   "});
  script().Press(f::ExportTxa).Answer(rt::ButtonOk).CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(boxes()[0].text, "Error 1234 : Project has 3 errors");
  EXPECT_EQ(boxes()[0].caption, "");
  EXPECT_EQ(state_.IDEErrorNumber, 1234);
  // The platform keeps 603 through the two item requests, so the batch ends like on any failure.
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin APP Export"},
                          {"A.APP", "Error 603 " + platform::DdeErrorText(platform::kDdeNotProcessed)}}));
  EXPECT_EQ(ide_.Commands().size(), 1u);
  // A failure is not shown as success: both applications are unmade, the second not even tried.
  EXPECT_EQ(backend_.last_actions().back(), "2 of 2 not made, see Log");
  EXPECT_EQ(summary_, "Batch ended: 0 finished, 1 failed, 0 not found, 0 skipped, of 2; 0:00");
  ExpectNothingLeftOpen();
}

TEST_F(BatchTest, OtherDdeFailuresShowTheirCodeAndEndTheBatch) {
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  WriteAll("A");
  WriteAll("B");
  ide_.FailCommand(1, {CommandFault::Kind::kBusy});
  script().Press(f::MakeExe).Answer(rt::ButtonOk, "Unexpected Error: 604").CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Error 604 " + platform::DdeErrorText(platform::kDdeServerBusy)}}));
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(ide_.Commands().size(), 1u);
}

// The user clicks Gen & Make again while the refused command is being sent: that click does not
// start a second batch once this one has ended. A Close clicked then is kept and ends the program.
TEST_F(BatchTest, ClicksWhileACommandIsSentAreDroppedButACloseIsKept) {
  InjectingClient client(ide_);
  int sent = 0;
  client.during_send = [&] {
    if (rt::Window* window = runtime_.TopWindow()) {
      window->UserPress(f::MakeExe);
      if (++sent == 2) window->UserPress(f::Close);
    }
  };
  dde_ = &client;
  AddApp(Dir(), "A.APP");
  WriteAll("A");
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 1234, "Project has 3 errors"});
  script().Press(f::MakeExe).Answer(rt::ButtonOk, "Project has 3 errors");
  script().Inspect([this](rt::Window&) { EXPECT_EQ(ide_.Commands().size(), 1u) << "a second batch ran"; });
  // The second batch, asked for by the user now, sends again; the Close clicked meanwhile ends it all.
  script().Press(f::MakeExe).Answer(rt::ButtonYes, "Close Nightjar now?");
  RunWindow();
  EXPECT_TRUE(script().Done()) << "the window closed before the user's second batch";
  EXPECT_EQ(ide_.Commands().size(), 2u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Window closed while waiting for .EXE"}}));
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
  EXPECT_EQ(boxes()[0].text, "Error Making .App 42 Disk full");
  EXPECT_EQ(boxes()[0].caption, "Processing Terminated");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::Stop);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonOk);
  // Each batch ended at its first application; the log is the last one's.
  EXPECT_EQ(ide_.Commands().size(), 6u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin DCT Export"}, {"A.APP", "Error 42 Disk full"}}));
}

TEST_F(BatchTest, AnErrorPendingAMinuteAfterTheAcknowledgementEndsThatWaitAlsoAcrossMidnight) {
  InjectingClient client(ide_);
  dde_ = &client;
  // The grace period runs past midnight: measured on the time of day alone it would never end.
  clock_.Set(81513, kDay - 3000);  // 11:59:30 PM
  AddApp(Dir(), "A.APP");
  AddApp(Dir(), "B.APP");
  Write(In("A.APP"));
  Write(In("B.APP"));
  ide_.SetWritesResults(false);
  script().Press(f::MakeExe).Inspect([&client](rt::Window&) { client.SetPending(606, "DDE system error"); });
  // Within the grace period every poll reports the error and goes on waiting.
  for (int tick = 1; tick <= 6; ++tick) script().Wait(1000).Answer(rt::ButtonOk, "Unexpected Error: 606");
  script()
      .Inspect([this](rt::Window&) { ide_.SetWritesResults(true); })
      .Wait(1000)  // 70 s after the acknowledgement: A gives up, B is sent
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "Error 606 DDE system error"},
                          {"B.APP", "Begin Make"},
                          {"B.APP", "Make Finished"}}));
  EXPECT_EQ(boxes().size(), 6u) << Boxes();
  EXPECT_EQ(clock_.Today(), 81514);
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
      .Wait(1000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"},
                          {"A.APP", "No .EXE within 1 minute, wait ended"},
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
      .Answer(rt::ButtonNo, "Stop the batch after this application?")
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
  EXPECT_EQ(Log(), Lines{});
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_EQ(backend_.headless().beeps(), 0);
  EXPECT_EQ(rereads_, 1);
}

TEST_F(BatchTest, ClosingTheWindowWhileTheIdeStartsEndsTheBatchQuietly) {
  AddApp(Dir(), "A.APP");
  WriteAll("A");
  ide_.ComeUpWhenStarted(starter_, "CW20", 1000);
  script().Answer(rt::ButtonOk).Press(f::MakeExe).Wait(1000).Press(f::Close);
  RunWindow();
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(Log(), Lines{});
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
  bool IsBeingWritten(const std::string& path) override { return held.count(fs::path(path).filename().string()) > 0; }
  std::set<std::string> held;

 private:
  std::unique_ptr<platform::DirectoryLister> real_ = platform::MakeDirectoryLister();
};

// The IDE creates INVOICE.EXE at 15 s but writes it until 18 s: the batch waits for it to be
// closed, looking again every half second, though the close itself brings no folder change.
TEST_F(BatchTest, AResultStillOpenByItsWriterIsNotCountedUntilClosed) {
  auto lister = std::make_unique<HeldOpenLister>();
  HeldOpenLister& held = *lister;
  lister_ = std::move(lister);
  AddApp(Dir(), "INVOICE.APP");
  Write(In("INVOICE.APP"));
  ide_.SetResultDelay(1500);
  held.held.insert("INVOICE.EXE");
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
  EXPECT_EQ(summary_, "Batch ended: 2 finished, 0 failed, 0 not found, 2 skipped, of 4; 0:10");
  EXPECT_EQ(backend_.last_actions().back(), "2 of 4 not made, see Log");
}

// Esc during the first of three asks; Yes lets the first finish and sends nothing more. Meanwhile
// the title counts the applications and the cursor shows work going on.
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
      .Answer(rt::ButtonYes, "Stop the batch after this application?")
      .Wait(1000)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.Title(), "Nightjar (Batchwright)");
        EXPECT_FALSE(backend_.headless().working());
        EXPECT_EQ(w.state(f::LastAction).text, "2 of 3 not made, see Log");
      })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(Log(), (Lines{{"A.APP", "Begin Make"}, {"A.APP", "Make Finished"}, {"", "Batch stopped by the user"}}));
  EXPECT_EQ(summary_, "Batch ended: 1 finished, 0 failed, 0 not found, 0 skipped, of 3; 0:05");
}

// The IDE exits while A is made: B's command finds the conversation gone, the batch ends and the
// connection box no longer reads connected.
TEST_F(BatchTest, AnIdeThatExitsDuringTheBatchLeavesTheBoxUnticked) {
  for (const char* base : {"A", "B"}) {
    AddApp(Dir(), std::string(base) + ".APP");
    Write(In(std::string(base) + ".APP"));
  }
  ide_.SetResultDelay(500);
  backend_.headless().At(clock_.Ticks() + 300, [this] { ide_.SetRunning(false); });
  script().Press(f::MakeExe).Wait(1000).Answer(rt::ButtonOk, "Unexpected Error: 602").CloseBox();
  RunWindow();
  EXPECT_EQ(state_.DDEConnected, 0);
  EXPECT_EQ(Log().back(), (LogLine{"B.APP", "Error 602 " + platform::DdeErrorText(platform::kDdeChannelNotOpen)}));
}

}  // namespace
}  // namespace ide_test
