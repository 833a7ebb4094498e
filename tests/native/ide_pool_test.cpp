// A pool of IDEs: the schedule's rules on their own (one folder's applications apart, build order
// numbers as barriers), the time left, choosing IDEs by their program, and batches over several
// fake instances on the virtual clock: the rules kept, stop now across the pool, an IDE that dies,
// each application counted once, the IDE kept with each last result.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include <sqlite3.h>

#include "ide/pool_schedule.h"
#include "ide_test_support.h"
#include "short_names_lister.h"
#include "procedures/main_def.h"
#include "runtime/window.h"
#include "store/last_results.h"

namespace ide_test {
namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
using ide::PoolSchedule;

// ---- the schedule alone

// Starts whatever may start, as free IDEs would, and returns the indices started.
std::vector<std::size_t> StartAll(PoolSchedule& schedule, int free_ides) {
  std::vector<std::size_t> started;
  while (free_ides-- > 0) {
    std::optional<std::size_t> next = schedule.Next();
    if (!next) break;
    schedule.Started(*next);
    started.push_back(*next);
  }
  return started;
}

TEST(PoolSchedule, OneFoldersApplicationsNeverRunAtOnceWhateverTheLetterCaseOrSeparator) {
  PoolSchedule schedule({{"C:\\APPS\\A\\"}, {"c:/apps/a/"}, {"C:\\APPS\\B\\"}, {"C:\\Apps\\A\\"}});
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{0, 2}));
  schedule.Ended(2);
  EXPECT_EQ(schedule.Next(), std::nullopt) << "folder A is still at work";
  schedule.Ended(0);
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{1}));
  schedule.Ended(1);
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{3}));
  EXPECT_EQ(schedule.NotStarted(), 0u);
}

TEST(PoolSchedule, BuildOrderNumbersAreBarriersAndTheUnnumberedComeLast) {
  // As Arrange orders them: 1, 1, 2, then the unnumbered; all in folders of their own.
  PoolSchedule schedule({{"A", 1}, {"B", 1}, {"C", 2}, {"D", 0}, {"E", 0}});
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{0, 1}));
  schedule.Ended(0);
  EXPECT_EQ(schedule.Next(), std::nullopt) << "2 waits for every 1";
  schedule.Ended(1);
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{2}));
  schedule.Ended(2);
  EXPECT_EQ(StartAll(schedule, 4), (std::vector<std::size_t>{3, 4}));
  EXPECT_EQ(schedule.AtWork(), 2);
}

TEST(TimeLeft, WhatMustRunOneAfterAnotherCountsAsWellAsWhatTheIdesShare) {
  struct Case {
    const char* what;
    std::vector<PoolSchedule::Item> items;
    std::vector<std::int64_t> expected, spent;
    std::size_t at_work;  // the first this many are at work
    int ides;
    std::int64_t left;
  };
  const Case cases[] = {
      {"three folders share two IDEs", {{"A"}, {"B"}, {"C"}}, {100, 100, 100}, {0, 0, 0}, 0, 2, 200},
      {"one folder's run one after another", {{"A/"}, {"a/"}, {"A\\"}}, {100, 100, 100}, {0, 0, 0}, 0, 4, 300},
      {"a number waits for the lower ones", {{"A", 1}, {"B", 2}, {"C", 2}}, {100, 50, 50}, {0, 0, 0}, 0, 4, 150},
      {"the unnumbered wait for every number", {{"A", 1}, {"B", 0}}, {100, 100}, {0, 0}, 0, 2, 200},
      {"what is spent is taken off", {{"A"}, {"B"}}, {300, 100}, {250, 0}, 1, 1, 150},
      {"one past its time needs a tenth more", {{"A"}}, {100}, {500}, 1, 1, 10},
      {"never more IDEs than work", {{"A"}}, {400}, {0}, 0, 4, 400},
  };
  for (const Case& c : cases) {
    PoolSchedule schedule(c.items);
    StartAll(schedule, static_cast<int>(c.at_work));
    EXPECT_EQ(schedule.TimeLeft(c.expected, c.spent, c.ides), c.left) << c.what;
  }
  EXPECT_EQ(ide::MedianOf({}), std::nullopt);
  EXPECT_EQ(ide::MedianOf({300, 100}), 300);
  EXPECT_EQ(ide::TimeLeftText(4000), "about 40 s left");
  EXPECT_EQ(ide::TimeLeftText(24000), "about 4 min left");
  EXPECT_EQ(ide::TimeLeftText(390000), "about 1 h 5 min left");
}

// The IDEs at work in the 30 characters of the last-action field: whole names, the rest counted.
TEST(PoolProgress, TheApplicationsAtWorkFitTheFieldByWholeNames) {
  EXPECT_EQ(ide::AtWorkText({"INVOICE"}, 30), "1 IDE: INVOICE");
  EXPECT_EQ(ide::AtWorkText({"INVOICE", "LEDGER", "PAY"}, 30), "3 IDEs: INVOICE, LEDGER, PAY");
  EXPECT_EQ(ide::AtWorkText({"PAYROLL", "INVOICE", "MAILING", "STOCK"}, 30), "4 IDEs: PAYROLL, INVOICE, +2");
  EXPECT_EQ(ide::AtWorkText({"INVOICE", "LEDGER", "PAYROLL"}, 30), "3 IDEs: INVOICE, LEDGER, +1");
  EXPECT_EQ(ide::AtWorkText({"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "B"}, 30), "2 IDEs: +2");
}

TEST(PoolIde, ProgramsCompareWithoutLetterCaseAndWithEitherSeparator) {
  EXPECT_TRUE(ide::SameProgram("C:\\CW\\BIN\\CW20.EXE", "c:/cw/bin/cw20.exe"));
  EXPECT_FALSE(ide::SameProgram("C:\\CW\\BIN\\CW20.EXE", "C:\\CW2\\BIN\\CW20.EXE"));
  // The program's short spelling, as a user may type it, and the long one its process reports.
  test_doubles::ShortNamesLister lister;
  lister.Name("IDE Tools", "IDETOO~1");
  EXPECT_TRUE(ide::SameProgram("C:\\IDETOO~1\\CW20.EXE", "c:\\IDE Tools\\cw20.exe", &lister));
  EXPECT_FALSE(ide::SameProgram("C:\\IDETOO~1\\CW20.EXE", "c:\\IDE Tools\\cw20.exe"));
  EXPECT_EQ(ide::ConnectedText({1, 1234, "C:\\CW\\BIN\\CW20.EXE"}), "Connected to CW20 (pid 1234)");
  EXPECT_EQ(ide::ConnectedText({1, 0, ""}), "Connected to CW");
  // The name gives way, the process stays.
  EXPECT_EQ(ide::ConnectedText({1, 4000000000u, "C:\\A\\AVERYLONGPROGRAMNAME.EXE"}), "Connected to A (pid 4000000000)");
}

// ---- batches over several fake instances

constexpr const char* kProgram = "C:\\CW\\BIN\\CW20.EXE";
constexpr const char* kOther = "C:\\CW9\\BIN\\CW20.EXE";

class PoolTest : public IdeTest {
 protected:
  PoolTest() {
    pool_.SetScheduler([this](std::int64_t due) { backend_.headless().At(due, [this] { pool_.Pump(); }); });
    pool_.SetOnWritten([this](const std::string& path) {
      backend_.headless().ChangeDirectory(fs::path(path).parent_path().string());
    });
    dde_ = &pool_;
    ide_.SetRunning(false);
  }
  // An application in folder `folder` (under the applications' folder), with its .APP there.
  void AddIn(const std::string& folder, const std::string& base) {
    fs::create_directories(apps_dir_ / folder);
    AddApp(Dir() + folder + "/", base + ".APP");
    Write(apps_dir_ / folder / (base + ".APP"));
  }
  // `count` instances of kProgram, processes 101, 102, ..., each writing its result `delay` after.
  void Instances(int count, std::int64_t delay) {
    for (int i = 0; i < count; ++i) pool_.Add(101 + i, kProgram).SetResultDelay(delay);
  }
  // The outcomes by application.
  std::map<std::string, ide::ApplicationOutcome> ByApplication() const {
    std::map<std::string, ide::ApplicationOutcome> by;
    for (const ide::ApplicationOutcome& outcome : outcomes_) by[outcome.application] = outcome;
    return by;
  }
  static bool Overlap(const ide::ApplicationOutcome& a, const ide::ApplicationOutcome& b) {
    return a.offset < b.offset + b.hundredths && b.offset < a.offset + a.hundredths;
  }

  doubles::FakeIdePool pool_{clock_};
};

TEST_F(PoolTest, FourIdesMakeTwelveApplicationsSideBySideKeepingEachFolderApartAndCountingEachOnce) {
  for (int i = 0; i < 12; ++i) AddIn(std::string(1, static_cast<char>('A' + i % 3)), "APP" + std::to_string(i));
  Instances(4, 1000);
  state_.IDEs = 4;
  script().Press(f::MakeExe).Wait(6000).CloseBox();
  RunWindow();
  ASSERT_EQ(outcomes_.size(), 12u);
  std::set<int> positions;
  for (const ide::ApplicationOutcome& outcome : outcomes_) {
    EXPECT_EQ(outcome.outcome, ide::Outcome::kMade) << outcome.application << ": " << outcome.detail;
    EXPECT_TRUE(positions.insert(outcome.position).second) << "told twice: " << outcome.application;
    EXPECT_GE(outcome.ide_process, 101u);
  }
  bool side_by_side = false;
  for (const ide::ApplicationOutcome& a : outcomes_)
    for (const ide::ApplicationOutcome& b : outcomes_) {
      if (&a == &b || !Overlap(a, b)) continue;
      EXPECT_NE(a.folder, b.folder) << a.application << " and " << b.application << " ran at once";
      side_by_side = true;
    }
  EXPECT_TRUE(side_by_side);
  // Three folders: at most three at once, so four rounds of 10 s, not twelve.
  Log();
  EXPECT_EQ(summary_.substr(0, summary_.find(';')), "Batch ended: 12 finished, of 12");
  EXPECT_LE(summary_.substr(summary_.find(';') + 2), "0:45");
  EXPECT_EQ(pool_.Commands().size(), 12u);
  EXPECT_EQ(pool_.OpenChannels(), 0);
  // The kept results name the IDE.
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(store::LastResults().ReadAll(kept));
  for (const ide::ApplicationOutcome& outcome : outcomes_)
    EXPECT_EQ(kept[store::LastResultKey(outcome.folder, outcome.application)].ide_process, outcome.ide_process);
}

TEST_F(PoolTest, ANumberedApplicationEndsBeforeAnyHigherNumberOrUnnumberedOneStarts) {
  AddIn("A", "LIB1");
  AddIn("B", "LIB2");
  AddIn("C", "APP");
  AddIn("D", "BASE");
  ASSERT_TRUE(store::LastResults().SetOrder(Dir() + "D/", "BASE.APP", 1));
  ASSERT_TRUE(store::LastResults().SetOrder(Dir() + "A/", "LIB1.APP", 2));
  ASSERT_TRUE(store::LastResults().SetOrder(Dir() + "B/", "LIB2.APP", 2));
  Instances(4, 500);
  state_.IDEs = 4;
  script().Press(f::MakeExe).Wait(3000).CloseBox();
  RunWindow();
  auto by = ByApplication();
  ASSERT_EQ(by.size(), 4u);
  auto end = [](const ide::ApplicationOutcome& o) { return o.offset + o.hundredths; };
  EXPECT_LE(end(by["BASE.APP"]), by["LIB1.APP"].offset);
  EXPECT_LE(end(by["BASE.APP"]), by["LIB2.APP"].offset);
  EXPECT_TRUE(Overlap(by["LIB1.APP"], by["LIB2.APP"])) << "the two numbered 2 run side by side";
  EXPECT_LE(std::max(end(by["LIB1.APP"]), end(by["LIB2.APP"])), by["APP.APP"].offset);
}

// IDEs that make inside the command and answer only once the make is done, 10 s each: four
// commands are in flight at once all the same.
class InFlightTest : public PoolTest {
 protected:
  InFlightTest() {
    for (int i = 0; i < 8; ++i) AddIn("F" + std::to_string(i), "APP" + std::to_string(i));
    Instances(4, 0);
    for (std::size_t i = 0; i < 4; ++i) pool_.Instance(i).SetAckDelay(1000);
    state_.IDEs = 4;
    state_.DDETimeOut = 1;
  }
  // Each application's outcome, in the order of their names.
  std::vector<ide::Outcome> Outcomes() const {
    std::vector<ide::Outcome> outcomes;
    for (const auto& [app, outcome] : ByApplication()) outcomes.push_back(outcome.outcome);
    return outcomes;
  }
  static constexpr ide::Outcome kMade = ide::Outcome::kMade;
};

TEST_F(InFlightTest, FourIdesThatAnswerOnlyWhenTheirMakeIsDoneMakeSideBySide) {
  script().Press(f::MakeExe).Wait(2500).CloseBox();
  RunWindow();
  EXPECT_EQ(Outcomes(), std::vector<ide::Outcome>(8, kMade));
  for (int a = 0; a < 4; ++a)
    for (int b = a + 1; b < 4; ++b) EXPECT_TRUE(Overlap(outcomes_[a], outcomes_[b])) << a << " and " << b;
  Log();
  EXPECT_EQ(summary_.substr(summary_.find(';') + 2), "0:20") << "two rounds of four, not eight makes";
}

// One IDE never answers and another dies inside its command: each leaves alone, and the other two
// make the rest.
TEST_F(InFlightTest, AnIdeThatNeverAnswersOrDiesInsideItsCommandLeavesAndTheOthersMakeTheRest) {
  pool_.Instance(0).FailCommand(1, {doubles::CommandFault::Kind::kTimeOut});
  script()
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([this](rt::Window&) { pool_.Instance(1).SetRunning(false); })
      .Wait(10)
      .Answer(rt::ButtonOk, "APP1.APP: Unexpected Error: 602")
      .Wait(5490)
      .Answer(rt::ButtonOk, "APP0.APP: DDE timeout")
      .CloseBox();
  RunWindow();
  std::vector<ide::Outcome> expected(8, kMade);
  expected[0] = ide::Outcome::kTimedOut;
  expected[1] = ide::Outcome::kFailed;
  EXPECT_EQ(Outcomes(), expected);
  std::vector<LogLine> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), LogLine{"", "IDE CW20.EXE (process 101) left the batch; the others go on"}),
            log.end());
  EXPECT_EQ(pool_.Instance(0).Commands().size(), 1u);
  EXPECT_EQ(pool_.Instance(1).Commands().size(), 1u);
}

TEST_F(InFlightTest, WhileEscsQuestionIsOpenTheFilesThatComeAreTaken) {
  script()
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([this](rt::Window&) { Write(apps_dir_ / "F0" / "APP0.EXE", "made inside the command"); })
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonCancel, "Stop the batch?")
      .Wait(2500)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Outcomes(), std::vector<ide::Outcome>(8, kMade));
  const ide::ApplicationOutcome first = ByApplication()["APP0.APP"];
  EXPECT_EQ(first.offset + first.hundredths, 500) << "taken while the question was open, not after it";
}

TEST_F(InFlightTest, StopNowTakesTheFilesThatCameAndAbandonsTheOtherCommandsInFlight) {
  script()
      .Press(f::MakeExe)
      .Wait(500)
      // The first IDE has written its file but not answered yet when the user stops.
      .Inspect([this](rt::Window&) { Write(apps_dir_ / "F0" / "APP0.EXE", "made inside the command"); })
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonNo, "Stop the batch?")
      .CloseBox();
  RunWindow();
  EXPECT_EQ(Outcomes(), (std::vector<ide::Outcome>{kMade, ide::Outcome::kStopped, ide::Outcome::kStopped,
                                                    ide::Outcome::kStopped, ide::Outcome::kNotReached,
                                                    ide::Outcome::kNotReached, ide::Outcome::kNotReached,
                                                    ide::Outcome::kNotReached}));
  EXPECT_EQ(pool_.Commands().size(), 4u);
}

TEST_F(PoolTest, StopNowAbandonsTheWaitOfEveryIdeAndLeavesTheRestNotReached) {
  for (const char* folder : {"A", "B", "C", "D"}) AddIn(folder, std::string("X") + folder);
  Instances(3, 3000);
  state_.IDEs = 3;
  script()
      .Press(f::MakeExe)
      .Wait(1000)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "3 IDEs: XA, XB, XC"); })
      .Key(f::Browse_1, rt::key::kEsc)
      .Answer(rt::ButtonNo, "Stop the batch?")
      .CloseBox();
  RunWindow();
  auto by = ByApplication();
  ASSERT_EQ(by.size(), 4u);
  for (const char* app : {"XA.APP", "XB.APP", "XC.APP"}) {
    EXPECT_EQ(by[app].outcome, ide::Outcome::kStopped) << app;
    EXPECT_EQ(by[app].detail, "Stopped by the user; the wait for .EXE was abandoned");
  }
  EXPECT_EQ(by["XD.APP"].outcome, ide::Outcome::kNotReached);
  EXPECT_EQ(pool_.Commands().size(), 3u);
  EXPECT_EQ(backend_.last_actions().back(), "Stopped: 4 of 4 not made");
}

TEST_F(PoolTest, AnIdeThatDiesLeavesThePoolWithItsApplicationLoggedAndTheOthersMakeTheRest) {
  for (const char* folder : {"A", "B", "C", "D", "E"}) AddIn(folder, std::string("X") + folder);
  Instances(2, 1000);
  state_.IDEs = 2;
  script()
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([this](rt::Window&) { pool_.Instance(1).SetRunning(false); })
      .Wait(8000)
      .CloseBox();
  RunWindow();
  auto by = ByApplication();
  ASSERT_EQ(by.size(), 5u);
  EXPECT_EQ(by["XB.APP"].outcome, ide::Outcome::kFailed);
  EXPECT_EQ(by["XB.APP"].ide_process, 102u);
  EXPECT_EQ(by["XB.APP"].detail, "The IDE ended the conversation (it exited or closed it) while .EXE was awaited");
  for (const char* app : {"XA.APP", "XC.APP", "XD.APP", "XE.APP"}) {
    EXPECT_EQ(by[app].outcome, ide::Outcome::kMade) << app << ": " << by[app].detail;
    EXPECT_EQ(by[app].ide_process, 101u) << app;
  }
  std::vector<LogLine> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      LogLine{"", "IDE CW20.EXE (process 102) left the batch; the others go on"}),
            log.end());
  EXPECT_EQ(summary_.substr(0, summary_.find(';')), "Batch ended: 4 finished, 1 failed, of 5");
}

TEST_F(PoolTest, WhenEveryIdeHasDiedTheBatchEndsWithTheReason) {
  for (const char* folder : {"A", "B", "C"}) AddIn(folder, std::string("X") + folder);
  Instances(2, 1000);
  state_.IDEs = 2;
  script()
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([this](rt::Window&) {
        pool_.Instance(0).SetRunning(false);
        pool_.Instance(1).SetRunning(false);
      })
      .Wait(1000)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::ServerActive).checked, false); })
      .CloseBox();
  RunWindow();
  auto by = ByApplication();
  EXPECT_EQ(by["XA.APP"].outcome, ide::Outcome::kFailed);
  EXPECT_EQ(by["XB.APP"].outcome, ide::Outcome::kFailed);
  EXPECT_EQ(by["XC.APP"].outcome, ide::Outcome::kNotReached);
  std::vector<LogLine> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), (LogLine{"", "No IDE is left to make the rest"}));
  EXPECT_EQ(pool_.Commands().size(), 2u);
}

TEST_F(PoolTest, OnlyTheChosenProgramsInstancesAreUsedAndTheConnectNamesIt) {
  AddIn("A", "INVOICE");
  pool_.Add(201, kOther);
  pool_.Add(202, "c:/cw/bin/cw20.exe");
  state_.IDEProgram = kProgram;
  script()
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Connected to cw20 (pid 202)"); })
      .Press(f::MakeExe)
      .Wait(100)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(pool_.Instance(0).Commands().size(), 0u);
  EXPECT_EQ(pool_.Commands(), (std::vector<std::string>{"202: [ExecuteProject(" + Dir() + "A/INVOICE.app)]"}));
  std::vector<LogLine> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), (LogLine{"", "Connected to cw20.exe (process 202) in c:/cw/bin"}));
}

TEST_F(PoolTest, ThePoolTakesTheRunningInstancesFirstThenStartsTheProgramUntilItHasEnough) {
  for (const char* folder : {"A", "B", "C"}) AddIn(folder, std::string("X") + folder);
  Instances(3, 100);
  pool_.Add(300, kOther);  // another program's: never used
  pool_.Instance(1).SetRunning(false);
  pool_.Instance(2).SetRunning(false);
  pool_.StartsWith(starter_, std::string("\"") + kProgram + "\"", kProgram);
  state_.IDEProgram = kProgram;
  state_.IDEs = 3;
  script().Press(f::MakeExe).Wait(2000).CloseBox();
  RunWindow();
  EXPECT_EQ(starter_.Started(), (std::vector<std::string>(2, std::string("\"") + kProgram + "\"")));
  std::set<std::uint32_t> used;
  for (const ide::ApplicationOutcome& outcome : outcomes_) used.insert(outcome.ide_process);
  EXPECT_EQ(used, (std::set<std::uint32_t>{101, 102, 103}));
  // Those it started are left running for the next batch.
  EXPECT_TRUE(pool_.Instance(1).Running());
  EXPECT_TRUE(pool_.Instance(2).Running());
}

TEST_F(PoolTest, AProgramThatDoesNotExistOrNeverAnswersIsToldAndNothingIsSent) {
  AddIn("A", "INVOICE");
  pool_.Add(201, kOther);
  state_.IDEProgram = "C:\\NOWHERE\\CW20.EXE";
  script()
      .Answer(rt::ButtonOk, "not currently running")
      .Press(f::MakeExe)
      .Answer(rt::ButtonOk, "\"C:\\NOWHERE\\CW20.EXE\" could not be started")
      .CloseBox();
  RunWindow();
  EXPECT_TRUE(pool_.Commands().empty());
  EXPECT_EQ(Log().front().event, "Nothing sent: \"C:\\NOWHERE\\CW20.EXE\" could not be started");

  // Installed, but it never offers the service: told once the start-up wait has passed.
  starter_.Install("\"C:\\NOWHERE\\CW20.EXE\"", nullptr);
  script()
      .Answer(rt::ButtonOk, "not currently running")
      .Press(f::MakeExe)
      .Wait(ide::kStartUpWait + 100)
      .Answer(rt::ButtonOk, "did not answer as the IDE within 60 seconds")
      .CloseBox();
  RunWindow();
  EXPECT_TRUE(pool_.Commands().empty());
}

TEST_F(PoolTest, TheTitleCountsTheEndedApplicationsWithTheTimeLeftOnceALastTimeIsKnown) {
  for (const char* folder : {"A", "B", "C", "D"}) AddIn(folder, std::string("X") + folder);
  for (const char* folder : {"A", "B", "C", "D"})
    ASSERT_TRUE(store::LastResults().Record({.folder = Dir() + folder + "/", .application = std::string("X") + folder + ".APP",
                                             .outcome = "made", .hundredths = 2000}));
  Instances(2, 2000);
  state_.IDEs = 2;
  script()
      .Press(f::MakeExe)
      .Wait(1000)
      // Four of 20 s on two IDEs, two of them half done: (10 + 10 + 20 + 20) / 2.
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.Title(), "Nightjar (Batchwright) - 0 of 4, about 30 s left"); })
      // The first two ended at 20 s, the last two started then: (19 + 19) / 2.
      .Wait(1100)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.Title(), "Nightjar (Batchwright) - 2 of 4, about 19 s left"); })
      .Wait(5000)
      .CloseBox();
  RunWindow();
  EXPECT_EQ(outcomes_.size(), 4u);
}

TEST_F(PoolTest, StopAtFirstFailureStartsNothingMoreOnAnyIdeAndLetsTheWorkAtHandEnd) {
  for (const char* folder : {"A", "B", "C", "D"}) AddIn(folder, std::string("X") + folder);
  Instances(3, 500);
  pool_.Instance(1).FailCommand(1, {doubles::CommandFault::Kind::kRefuse, 12, "Project has errors"});
  state_.IDEs = 3;
  script().Check(f::StopOnFailure, true).Press(f::MakeExe).Answer(rt::ButtonOk, "Project has errors").Wait(1000).CloseBox();
  RunWindow();
  auto by = ByApplication();
  ASSERT_EQ(by.size(), 4u);
  // The three IDEs were sent their applications before the refusal came: the makes at hand end.
  EXPECT_EQ(by["XA.APP"].outcome, ide::Outcome::kMade) << "the make at hand on another IDE ends as made";
  EXPECT_EQ(by["XB.APP"].outcome, ide::Outcome::kFailed);
  EXPECT_EQ(by["XC.APP"].outcome, ide::Outcome::kMade);
  EXPECT_EQ(by["XD.APP"].outcome, ide::Outcome::kNotReached);
  EXPECT_EQ(pool_.Commands().size(), 3u);
}

TEST_F(PoolTest, ABusyIdeIsAskedAgainWhileTheOtherIdesGoOnMaking) {
  for (const char* folder : {"A", "B", "C"}) AddIn(folder, std::string("X") + folder);
  Instances(2, 100);
  // The first IDE is busy (another batch's make) for three tries: taken at 0.5 + 1 + 2 s.
  for (int nth = 1; nth <= 3; ++nth) pool_.Instance(0).FailCommand(nth, {doubles::CommandFault::Kind::kBusy});
  state_.IDEs = 2;
  script().Press(f::MakeExe).Wait(1000).Wait(1000).Wait(1000).Wait(1000).CloseBox();
  RunWindow();
  auto by = ByApplication();
  ASSERT_EQ(by.size(), 3u);
  for (const auto& [app, outcome] : by) EXPECT_EQ(outcome.outcome, ide::Outcome::kMade) << app << ": " << outcome.detail;
  EXPECT_EQ(by["XA.APP"].ide_process, 101u);
  EXPECT_GE(by["XA.APP"].hundredths, 350);
  // The second IDE made both others while the first was still busy.
  EXPECT_EQ(by["XB.APP"].ide_process, 102u);
  EXPECT_EQ(by["XC.APP"].ide_process, 102u);
  EXPECT_LT(by["XC.APP"].offset + by["XC.APP"].hundredths, 350);
  EXPECT_EQ(pool_.Instance(0).Commands().size(), 4u);
}

// ---- the kept results' new column

TEST(LastResultsIde, AnOlderFileGainsTheIdeColumnWhenNextWrittenAndKeepsWhatItHeld) {
  fs::path file = fs::temp_directory_path() / ("pool_last_" + std::to_string(::getpid()) + ".db");
  fs::remove(file);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE LastResults(key TEXT PRIMARY KEY, folder TEXT NOT NULL, application TEXT NOT "
                         "NULL, operation TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL DEFAULT '', date INTEGER NOT "
                         "NULL DEFAULT 0, clock INTEGER NOT NULL DEFAULT 0, hundredths INTEGER NOT NULL DEFAULT 0, "
                         "error TEXT NOT NULL DEFAULT '', build_order INTEGER NOT NULL DEFAULT 0); INSERT INTO "
                         "LastResults(key, folder, application, build_order) VALUES('C:\\A\\OLD.APP', 'C:\\A\\', "
                         "'OLD.APP', 3)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  store::LastResults results(file.string());
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(results.ReadAll(kept)) << results.Error();
  EXPECT_EQ(kept["C:\\A\\OLD.APP"].ide_process, 0u);
  ASSERT_TRUE(results.Record({.folder = "C:\\A\\", .application = "NEW.APP", .outcome = "made", .ide_process = 4000000000u}))
      << results.Error();
  ASSERT_TRUE(results.ReadAll(kept)) << results.Error();
  EXPECT_EQ(kept["C:\\A\\NEW.APP"].ide_process, 4000000000u);
  EXPECT_EQ(kept["C:\\A\\OLD.APP"].order, 3);
  fs::remove(file);
}

}  // namespace
}  // namespace ide_test
