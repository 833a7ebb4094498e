// The console program's commands: reading the command line, and running the commands over a fresh
// folder with the console backend on virtual time and the fake IDE, as nightjar.com runs them with
// the system's clock and the real IDE.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console_folder.h"
#include "console/console_command.h"
#include "files/files.h"
#include "ide/batch_operations.h"
#include "platform/directory_lister.h"
#include "store/last_results.h"

namespace {

namespace fs = std::filesystem;
using console::Command;
using console::ParseCommand;
using console::Verb;

TEST(ConsoleCommand, ReadsEachCommandAndItsOptions) {
  auto run = ParseCommand({"run", "import-txa", "--app", "A.APP", "--app=C:\\X\\B.APP", "--timeout", "3", "--yes",
                           "--junit=report.xml"});
  ASSERT_TRUE(run.command) << run.error;
  EXPECT_EQ(run.command->verb, Verb::Run);
  EXPECT_EQ(run.command->operation, ide::Operation::ImportTxa);
  EXPECT_EQ(run.command->apps, (std::vector<std::string>{"A.APP", "C:\\X\\B.APP"}));
  EXPECT_EQ(run.command->timeout_minutes, 3);
  EXPECT_TRUE(run.command->yes);
  EXPECT_EQ(run.command->junit, "report.xml");

  auto all = ParseCommand({"run", "export-dct", "--all"});
  ASSERT_TRUE(all.command) << all.error;
  EXPECT_TRUE(all.command->all);
  EXPECT_EQ(all.command->timeout_minutes, 15);
  for (ide::Operation operation : ide::kAllOperations)
    EXPECT_EQ(console::OperationNamed(console::OperationName(operation)), operation);

  auto add = ParseCommand({"add", "*.app"});
  ASSERT_TRUE(add.command);
  EXPECT_EQ(add.command->verb, Verb::Add);
  EXPECT_EQ(add.command->argument, "*.app");
  EXPECT_EQ(ParseCommand({"--version"}).command->verb, Verb::Version);
  EXPECT_EQ(ParseCommand({"log"}).command->verb, Verb::Log);
}

TEST(ConsoleCommand, RefusesWhatMakesNoCommandAndSaysWhy) {
  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{}, "no command given"},
      {{"build"}, "unknown command \"build\""},
      {{"run"}, "run needs an operation"},
      {{"run", "make-everything"}, "unknown operation \"make-everything\""},
      {{"run", "make-exe", "--timeout", "0"}, "--timeout takes 1 to 99 minutes, not \"0\""},
      {{"run", "make-exe", "--timeout", "100"}, "--timeout takes 1 to 99 minutes, not \"100\""},
      {{"run", "make-exe", "--timeout=15x"}, "--timeout takes 1 to 99 minutes, not \"15x\""},
      {{"run", "make-exe", "--timeout"}, "--timeout needs a number of minutes"},
      {{"run", "make-exe", "--ides", "17"}, "--ides takes 1 to 16 IDEs, not \"17\""},
      {{"run", "make-exe", "--app"}, "--app needs an application's name"},
      {{"run", "make-exe", "--app", "A.APP", "B.APP"}, "unknown option \"B.APP\" for run"},
      {{"run", "make-exe", "--ide="}, "--ide needs the IDE's program (its path)"},
      {{"run", "make-exe", "--all", "--app", "A.APP"}, "--all and --app cannot be given together"},
      {{"run", "make-exe", "--all=yes"}, "unknown option \"--all=yes\" for run"},
      {{"run", "make-exe", "--force"}, "unknown option \"--force\" for run"},
      {{"run", "make-exe", "--help"}, "unknown option \"--help\" for run"},
      {{"list", "extra"}, "unknown option \"extra\" for list"},
      {{"list", "--junit", "r.xml"}, "unknown option \"--junit\" for list"},
      {{"tag"}, "tag takes one argument"},
      {{"add", "a", "b"}, "add takes one argument"},
      {{"--help", "run"}, "--help takes no arguments"},
  };
  for (const auto& [arguments, error] : bad) {
    auto parsed = ParseCommand(arguments);
    std::string shown;
    for (const std::string& a : arguments) shown += a + " ";
    EXPECT_FALSE(parsed.command) << shown;
    EXPECT_EQ(parsed.error, error) << shown;
  }
}

class ConsoleTest : public ConsoleFolderTest {
 protected:
  ConsoleTest() { fs::create_directory(folder_ / "apps"); }
  platform::DirectoryLister& Lister() override { return *lister_; }

  std::string App(const std::string& name) const { return (folder_ / "apps" / name).string(); }
  void WriteApp(const std::string& name) { std::ofstream(App(name)) << "x"; }
  bool Has(const std::ostringstream& stream, const std::string& text) const {
    return stream.str().find(text) != std::string::npos;
  }

  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
};

TEST_F(ConsoleTest, KeepsTheListAddingOnlyExistingAppFilesOnce) {
  WriteApp("INVOICE.APP");
  WriteApp("payroll.app");
  std::ofstream(App("NOTES.TXT")) << "x";
  EXPECT_EQ(Nightjar({"add", (folder_ / "apps" / "*.*").string()}), 0) << err_.str();
  EXPECT_TRUE(Has(out_, "added " + App("INVOICE.APP")));
  EXPECT_TRUE(Has(out_, "added " + App("payroll.app")));
  EXPECT_FALSE(Has(out_, "NOTES.TXT"));
  // Again: nothing is added twice, and the user is told.
  EXPECT_EQ(Nightjar({"add", (folder_ / "apps" / "*.app").string()}), 0);
  EXPECT_EQ(out_.str(), "");
  EXPECT_TRUE(Has(err_, App("INVOICE.APP") + " is in the list already."));
  EXPECT_EQ(Nightjar({"add", (folder_ / "apps" / "MISSING*.APP").string()}), 2);
  EXPECT_TRUE(Has(err_, "No .APP file matches"));

  EXPECT_EQ(Nightjar({"tag", "invoice.app"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"tag", "NOSUCH.APP"}), 2);
  EXPECT_EQ(Nightjar({"list"}), 0);
  EXPECT_EQ(out_.str(), "* " + App("INVOICE.APP") + "\n  " + App("payroll.app") + "\n");
  EXPECT_EQ(Nightjar({"remove", App("payroll.app")}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"untag", "INVOICE.APP"}), 0);
  EXPECT_EQ(Nightjar({"list"}), 0);
  EXPECT_EQ(out_.str(), "  " + App("INVOICE.APP") + "\n");
  EXPECT_EQ(Nightjar({"tag", "--all"}), 0);
  EXPECT_EQ(out_.str(), "tagged 1 application\n");
  EXPECT_EQ(Nightjar({"untag", "--all"}), 0);  // the one tag --all set
  EXPECT_EQ(out_.str(), "untagged 1 application\n");
}

// A batch over one application that is made and one whose .APP is missing: the log's records are
// printed as they come, the exit code says not all were made, and the JUnit report has one case
// each. With only the first named, everything was made: 0.
TEST_F(ConsoleTest, RunPrintsTheLogAndExitsByWhatWasMade) {
  WriteApp("A.APP");
  WriteApp("B.APP");
  ASSERT_EQ(Nightjar({"add", (folder_ / "apps" / "*.APP").string()}), 0);
  fs::remove(App("B.APP"));
  ide_.SetResultDelay(300);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--junit", "report.xml"}), 1) << err_.str();
  EXPECT_TRUE(Has(out_, "3/1/24 9:00AM  A.APP  Begin Make\n")) << out_.str();
  EXPECT_TRUE(Has(out_, "3/1/24 9:00AM  A.APP  Make Finished\n")) << out_.str();
  EXPECT_TRUE(Has(out_, "B.APP  .APP not found\n"));
  EXPECT_TRUE(Has(out_, "Batch ended: 1 finished, 1 not found, of 2; 0:03"));
  EXPECT_TRUE(Has(err_, "1 of 2 not made, see Log"));
  std::ifstream report("report.xml");
  std::string xml((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(std::ostringstream(xml), "tests=\"2\" failures=\"1\"")) << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "name=\"" + App("A.APP") + "\" time=\"3.00\"/>")) << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "<failure type=\"not found\" message=\".APP not found\"/>")) << xml;

  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "a.app"}), 0) << err_.str();
  EXPECT_EQ(ide_.Commands().size(), 2u);
  // The log command shows the last batch's records.
  EXPECT_EQ(Nightjar({"log"}), 0);
  EXPECT_TRUE(Has(out_, "A.APP  Make Finished"));
  EXPECT_FALSE(Has(out_, "B.APP"));
}

// An IDE the client tells apart by its process: the log's first record and each JUnit case name
// it; from the second batch on, the last times give the progress its time left.
TEST_F(ConsoleTest, TheReportNamesEachCasesIdeAndTheProgressSaysTheTimeLeftOnceKnown) {
  WriteApp("A.APP");
  WriteApp("B.APP");
  ASSERT_EQ(Nightjar({"add", (folder_ / "apps" / "*.APP").string()}), 0);
  ide_.SetIdentity(4321, "C:\\CW\\CW20.EXE");
  ide_.SetResultDelay(300);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--junit", "report.xml"}), 0) << err_.str();
  EXPECT_TRUE(Has(out_, "Connected to CW20.EXE (process 4321) in C:\\CW\n")) << out_.str();
  // No time is known until the first application is made; then it stands in for the second's.
  EXPECT_FALSE(Has(err_, "Progress: 1 of 2")) << err_.str();
  EXPECT_TRUE(Has(err_, "Progress: 2 of 2, about 3 s left\n")) << err_.str();
  std::ifstream report("report.xml");
  std::string xml((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(std::ostringstream(xml), "name=\"" + App("B.APP") +
                                               "\" time=\"3.00\">\n    <system-out>Sent to the IDE of process 4321\n"
                                               "</system-out>\n  </testcase>\n"))
      << xml;
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all"}), 0) << err_.str();
  EXPECT_TRUE(Has(err_, "Progress: 1 of 2, about 6 s left\nProgress: 2 of 2, about 3 s left\n")) << err_.str();
}

TEST_F(ConsoleTest, ABatchThatCannotRunExitsWithTwoAndSendsNothing) {
  WriteApp("A.APP");
  ASSERT_EQ(Nightjar({"add", App("A.APP")}), 0);
  ASSERT_EQ(Nightjar({"tag", "A.APP"}), 0);
  // The import would replace the .APP: without --yes it is not run.
  EXPECT_EQ(Nightjar({"run", "import-txa"}), 2);
  EXPECT_TRUE(Has(err_, "--yes"));
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "OTHER.APP"}), 2);
  EXPECT_TRUE(ide_.Commands().empty());
  // No IDE, and none to start: the box the window would show goes to the error stream.
  ide_.SetRunning(false);
  EXPECT_EQ(Nightjar({"run", "make-exe"}), 2);
  EXPECT_TRUE(Has(err_, "Not Connected")) << err_.str();
  EXPECT_TRUE(ide_.Commands().empty());
  // A refusal of the first of two is a failed application (1), logged without a box, and the
  // batch goes on to the second; told to stop at the first failure, it ends there and says so.
  WriteApp("B.APP");
  ASSERT_EQ(Nightjar({"add", App("B.APP")}), 0);
  ide_.SetRunning(true);
  auto report = [] {
    std::ifstream file("report.xml");
    return std::ostringstream(std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()));
  };
  ide_.FailCommand(1, {doubles::CommandFault::Kind::kRefuse, 7, "Project has errors"});
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--junit", "report.xml"}), 1);
  EXPECT_FALSE(Has(err_, "Project has errors")) << err_.str();
  EXPECT_TRUE(Has(out_, "Error 603 IDE error 7: Project has errors")) << out_.str();
  EXPECT_TRUE(Has(out_, "Batch ended: 1 finished, 1 failed, of 2")) << out_.str();
  EXPECT_TRUE(Has(report(), "tests=\"2\" failures=\"1\"")) << report().str();
  EXPECT_TRUE(Has(report(), ">IDE error 7: Project has errors</failure>")) << report().str();
  ide_.FailCommand(3, {doubles::CommandFault::Kind::kRefuse, 7, "Project has errors"});
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--stop-on-failure", "--junit", "report.xml"}), 1);
  EXPECT_TRUE(Has(err_, "A.APP: Error 7 : Project has errors"));
  EXPECT_TRUE(Has(report(), "tests=\"2\" failures=\"2\"")) << report().str();
  EXPECT_TRUE(Has(report(), "type=\"not reached\" message=\"Not processed: the batch ended before it\""))
      << report().str();
  // A report that cannot be written is no success.
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "A.APP", "--junit", (folder_ / "none" / "r.xml").string()}), 2);
  EXPECT_TRUE(Has(err_, "could not be written"));
}

// The time-out's smallest and largest values are taken and used; two applications of one name in
// two folders stay two cases of the report, which is UTF-8 though the records hold code page 1252.
TEST_F(ConsoleTest, TimeOutsAtTheirBoundsAndAReportInUtf8WithOneCasePerApplication) {
  EXPECT_FALSE(ParseCommand({"run", "make-exe", "--timeout", "0"}).command);
  // "Café": in UTF-8 on the disk, in code page 1252 in the record.
  fs::create_directory(folder_ / "apps" / "Caf\xC3\xA9");
  const std::string cafe = (folder_ / "apps" / "Caf\xE9").string();
  WriteApp("A.APP");
  std::ofstream(folder_ / "apps" / "Caf\xC3\xA9" / "A.APP") << "x";
  ASSERT_EQ(Nightjar({"add", App("A.APP")}), 0);
  {
    files::Files files;
    files.Apps.Open();
    files.APP.DriveNPath = cafe + "/";
    files.APP.Application = "A.APP";
    files.Apps.Add();
    ASSERT_EQ(files.store.error.code, 0) << files.store.error.text;
    files.Apps.Close();
  }
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--timeout", "1"}), 0) << err_.str();
  EXPECT_EQ(ide_.TimeOut(), 6000);
  ide_.SetWritesResults(false);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--timeout", "99", "--junit", "report.xml"}), 1);
  EXPECT_EQ(ide_.TimeOut(), 99 * 6000);
  EXPECT_TRUE(Has(out_, "No .EXE within 99 minutes, wait ended")) << out_.str();
  std::ifstream report("report.xml", std::ios::binary);
  std::string xml((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(std::ostringstream(xml), "tests=\"2\" failures=\"2\"")) << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "name=\"" + App("A.APP") + "\"")) << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "name=\"" + (folder_ / "apps" / "Caf\xC3\xA9").string() + "/A.APP\""))
      << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "type=\"timed out\"")) << xml;
}

}  // namespace

namespace {

// Last results outlive the log, which every batch re-creates; --failed takes just the ones not
// made; the build order puts numbered applications first, ties and the unnumbered as stored.
TEST_F(ConsoleTest, LastResultsOutliveTheLogAndDriveFailedAndTheBuildOrder) {
  for (const char* name : {"A.APP", "B.APP", "C.APP", "D.APP"}) WriteApp(name);
  for (const char* name : {"D.APP", "C.APP", "B.APP", "A.APP"}) ASSERT_EQ(Nightjar({"add", App(name)}), 0);
  ide_.FailCommand(3, {doubles::CommandFault::Kind::kRefuse, 7, "Project has errors"});
  // Stopping at the refusal: A is not reached, and says so.
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--stop-on-failure"}), 1);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "D.APP"}), 0);  // a new log
  EXPECT_EQ(Nightjar({"list"}), 0);
  EXPECT_TRUE(Has(out_, App("A.APP") + "  not reached, Gen & Make (.EXE), 3/1/24 9:00AM, took 0:00\n")) << out_.str();
  EXPECT_TRUE(Has(out_, App("B.APP") + "  failed, Gen & Make (.EXE), 3/1/24 9:00AM, took 0:00: Project has errors\n"))
      << out_.str();
  EXPECT_TRUE(Has(out_, App("C.APP") + "  made, ")) << out_.str();

  ASSERT_EQ(Nightjar({"run", "make-exe", "--all", "--failed"}), 0) << out_.str();
  ASSERT_EQ(ide_.Commands().size(), 6u);
  EXPECT_NE(ide_.Commands()[4].find(App("B")), std::string::npos) << ide_.Commands()[4];
  EXPECT_NE(ide_.Commands()[5].find(App("A")), std::string::npos) << ide_.Commands()[5];
  EXPECT_TRUE(Has(out_, "of 2;")) << out_.str();

  EXPECT_EQ(Nightjar({"order", "A.APP", "2"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"order", "B.APP", "1"}), 0);
  EXPECT_EQ(Nightjar({"order", "C.APP", "2"}), 0);
  EXPECT_EQ(Nightjar({"order", "NONE.APP", "2"}), 2);
  EXPECT_FALSE(ParseCommand({"order", "A.APP", "-1"}).command);
  EXPECT_EQ(Nightjar({"list", "--by-order"}), 0);
  EXPECT_EQ(out_.str().find("1    " + App("B.APP")), 0u) << out_.str();
  EXPECT_LT(out_.str().find("2    " + App("C.APP")), out_.str().find("2    " + App("A.APP"))) << out_.str();
  EXPECT_LT(out_.str().find("2    " + App("A.APP")), out_.str().find("-    " + App("D.APP"))) << out_.str();
  std::size_t sent = ide_.Commands().size();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all"}), 0);
  ASSERT_EQ(ide_.Commands().size(), sent + 4);
  std::string order;
  for (std::size_t i = sent; i < sent + 4; ++i) order += ide_.Commands()[i].substr(ide_.Commands()[i].find(App("")) + App("").size(), 1);
  EXPECT_EQ(order, "BCAD");
}

// An application a batch did not reach keeps when it was last made, and --failed takes it. Kept
// numbers that would wrap are left out; remove takes an application's kept result and order with
// it; a results file that cannot be read stops --failed (nothing sent) and is named by list.
TEST_F(ConsoleTest, KeptResultsAreHonestAboutNotReachedRemovedAndUnreadable) {
  for (const char* name : {"A.APP", "B.APP"}) {
    WriteApp(name);
    ASSERT_EQ(Nightjar({"add", App(name)}), 0);
  }
  ASSERT_EQ(Nightjar({"run", "make-exe", "--all"}), 0);
  waiter_.virtual_clock().Advance(3600 * 100);
  ide_.FailCommand(3, {doubles::CommandFault::Kind::kRefuse, 7, "Project has errors"});
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--stop-on-failure"}), 1);
  EXPECT_EQ(Nightjar({"list"}), 0);
  EXPECT_TRUE(Has(out_, App("B.APP") + "  not reached, Gen & Make (.EXE), 3/1/24 10:00AM, took 0:00; last made "
                                       "3/1/24 9:00AM\n"))
      << out_.str();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--failed"}), 0);
  EXPECT_EQ(ide_.Commands().size(), 5u);

  ASSERT_EQ(Nightjar({"order", "A.APP", "2"}), 0);
  ASSERT_EQ(Nightjar({"order", "B.APP", "3"}), 0);
  ASSERT_EQ(store_test::ExecOn(store::kLastResultsFile,
                               "UPDATE LastResults SET build_order=4294967297 WHERE application='B.APP'"),
            "");
  EXPECT_EQ(Nightjar({"list", "--by-order"}), 0);
  EXPECT_EQ(out_.str().find("2    " + App("A.APP")), 0u) << out_.str();
  EXPECT_TRUE(Has(out_, "-    " + App("B.APP"))) << out_.str();

  EXPECT_EQ(Nightjar({"remove", "A.APP"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"add", App("A.APP")}), 0);
  EXPECT_EQ(Nightjar({"list", "--by-order"}), 0);
  EXPECT_TRUE(Has(out_, "-    " + App("A.APP") + "\n")) << out_.str();

  std::ofstream(store::kLastResultsFile, std::ios::trunc) << std::string(4096, 'x');
  const std::size_t sent = ide_.Commands().size();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--failed"}), 2);
  EXPECT_TRUE(Has(err_, "APPSLAST.db: file is not a database")) << err_.str();
  EXPECT_TRUE(Has(err_, "nothing was sent")) << err_.str();
  EXPECT_EQ(ide_.Commands().size(), sent);
  EXPECT_EQ(Nightjar({"list"}), 2);
  EXPECT_TRUE(Has(err_, "could not be read (APPSLAST.db: file is not a database)")) << err_.str();
  EXPECT_TRUE(Has(out_, App("B.APP"))) << out_.str();
}

// A named pipe where the batch keeps its claim on the log is named, not waited on for ever.
TEST_F(ConsoleTest, ANamedPipeForTheLogsClaimIsNamedAndNothingIsSent) {
  WriteApp("A.APP");
  ASSERT_EQ(Nightjar({"add", App("A.APP")}), 0);
  ASSERT_EQ(mkfifo(ide::kLogClaimFile, 0666), 0);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all"}), 2);
  EXPECT_TRUE(Has(err_, std::string(ide::kLogClaimFile) + " is a named pipe")) << err_.str();
  EXPECT_TRUE(ide_.Commands().empty());
}

// --changed sends only what is older than its sources or was never made; --stop-on-failure ends
// the batch at the first application not made.
TEST_F(ConsoleTest, ChangedSkipsUpToDateOutputAndStopOnFailureEndsTheBatch) {
  for (const char* name : {"NEW.APP", "OLD.APP", "NONE.APP"}) {
    WriteApp(name);
    ASSERT_EQ(Nightjar({"add", App(name)}), 0);
  }
  // The day before the virtual today (3/1/24), whatever the real clock says.
  const auto app_time = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::sys_days(std::chrono::year(2024) / 2 / 29)));
  for (const char* name : {"NEW.APP", "OLD.APP", "NONE.APP"}) fs::last_write_time(App(name), app_time);
  std::ofstream(App("NEW.EXE")) << "x";
  fs::last_write_time(App("NEW.EXE"), app_time + std::chrono::hours(1));
  std::ofstream(App("OLD.EXE")) << "x";
  fs::last_write_time(App("OLD.EXE"), app_time - std::chrono::hours(1));
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--changed", "--junit", "report.xml"}), 0) << out_.str();
  EXPECT_TRUE(Has(out_, "NEW.APP  Up to date, not sent\n")) << out_.str();
  EXPECT_TRUE(Has(out_, "Batch ended: 2 finished, 1 skipped as up to date, of 3")) << out_.str();
  EXPECT_EQ(ide_.Commands().size(), 2u);
  std::ifstream report("report.xml");
  std::string xml((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(std::ostringstream(xml), "failures=\"0\"")) << xml;
  EXPECT_TRUE(Has(std::ostringstream(xml), "<skipped message=\"Up to date, not sent\"/>")) << xml;
  // Up to date is no failure for --failed either.
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--failed"}), 0);
  EXPECT_EQ(ide_.Commands().size(), 2u);
  // A folder's dictionary newer than the output makes it out of date.
  std::ofstream(App("DATA.DCT")) << "x";
  fs::last_write_time(App("DATA.DCT"), fs::last_write_time(App("NEW.EXE")) + std::chrono::hours(1));
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "NEW.APP", "--changed"}), 0);
  EXPECT_EQ(ide_.Commands().size(), 3u);
  // An output dated after now keeps nothing up to date: made again, and the log says why.
  std::ofstream(App("OLD.EXE")) << "x";
  fs::last_write_time(App("OLD.EXE"), app_time + std::chrono::days(365 * 76));
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "OLD.APP", "--changed"}), 0);
  EXPECT_EQ(ide_.Commands().size(), 4u);
  EXPECT_TRUE(Has(out_, "OLD.APP  OLD.EXE is dated after now (2/")) << out_.str();  // 2100, as "2/d/00"
  EXPECT_TRUE(Has(out_, "), not taken as up to date\n")) << out_.str();

  fs::remove(App("OLD.APP"));
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--stop-on-failure"}), 1);  // OLD is not found
  EXPECT_TRUE(Has(out_, "Batch stopped at the first failure")) << out_.str();
  EXPECT_TRUE(Has(out_, "1 finished, 1 not found, 1 not reached, of 3")) << out_.str();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all"}), 1);
  EXPECT_TRUE(Has(out_, "2 finished, 1 not found, of 3")) << out_.str();
}

// After a halt for a damaged key, the advice says what a rebuild cannot mend, names the keys that
// more than one record holds, and never calls a cut-short file intact.
TEST_F(ConsoleTest, RebuildAdviceSaysWhatARebuildCannotMendAndNamesTheDuplicates) {
  for (const char* name : {"A.APP", "B.APP"}) {
    WriteApp(name);
    ASSERT_EQ(Nightjar({"add", App(name)}), 0);
  }
  ASSERT_EQ(store_test::ExecOn("APPS.db",
                               "DROP INDEX DriveKey; INSERT INTO Apps(chg, DriveNPath, Application, Tag, "
                               "DriveNPath_fold, Application_fold) SELECT chg, DriveNPath, lower(Application), Tag, "
                               "DriveNPath_fold, Application_fold FROM Apps WHERE Application='A.APP'"),
            "");
  std::string advice = console::HaltAdvice("Error Rebuilding Key!");
  EXPECT_TRUE(Has(std::ostringstream(advice), "does not fill in empty (NULL) fields")) << advice;
  EXPECT_TRUE(Has(std::ostringstream(advice), "APPS.db: more than one record holds each of these keys; remove all "
                                              "but one of each before the rebuild:\n  " + App("A.APP") + "\n"))
      << advice;
  EXPECT_FALSE(Has(std::ostringstream(advice), "B.APP")) << advice;
  EXPECT_FALSE(Has(std::ostringstream(advice), "cut short or has")) << advice;

  ASSERT_EQ(store_test::ExecOn("APPS.db", "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                                          "INSERT INTO Apps(chg, DriveNPath, Application, Tag, DriveNPath_fold, "
                                          "Application_fold) SELECT 0, 'C:\\P' || i || '\\', 'X.APP', 0, "
                                          "'C:\\P' || i || '\\', 'X.APP' FROM n"),
            "");
  fs::resize_file("APPS.db", fs::file_size("APPS.db") / 2);
  advice = console::HaltAdvice("Invalid Key!");
  EXPECT_TRUE(Has(std::ostringstream(advice), "APPS.db is cut short or has unreadable pages")) << advice;
  EXPECT_FALSE(Has(std::ostringstream(advice), "intact")) << advice;
}

}  // namespace
