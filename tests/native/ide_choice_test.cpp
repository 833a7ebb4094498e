// The choice of IDE: the main window's "IDE:" field with its lookup and its "IDEs at once" spin box
// (checked, kept between runs, locked while a batch runs), the kept values read back with damaged
// ones left out, and nightjar.com's --ide and --ides, which set the same choice for one run.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "console/console_command.h"
#include "console_folder.h"
#include "files/open_record_file.h"
#include "ide_fake_services.h"
#include "procedures/ide_choice.h"
#include "procedures/kept_settings.h"
#include "procedures/main.h"
#include "procedures/main_def.h"
#include "procedures/program.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "short_names_lister.h"
#include "store/last_results.h"
#include "store/settings.h"
#include "store/store_test_support.h"

namespace procedures {
namespace {

namespace fs = std::filesystem;
namespace f = main_field;

class IdeChoiceTest : public ::testing::Test {
 protected:
  // A setting written as another program (or a damaged file) would leave it.
  void Put(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store::kLastResultsFile, &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  std::string ProgramFile(const std::string& name) {
    std::ofstream(folder_ / name) << "program";
    return (folder_ / name).string();
  }
  rt::headless::Script& script() { return backend_.script(); }

  store_test::InFreshDirectory in_folder_;
  const fs::path folder_ = in_folder_.path();
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices services_{backend_.virtual_clock()};
  Program program_{runtime_, services_.services};
};

// Up to 16 with the arrows and no further, a number typed out of range refused with a message and
// the one in use kept; the next start opens with the last count set.
TEST_F(IdeChoiceTest, TheCountStaysWithinOneToSixteenRefusesOthersWithAMessageAndIsKept) {
  script()
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::IDEs).text, "1"); })
      .Spin(f::IDEs, -1)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::IDEs).text, "1"); })
      .Type(f::IDEs, "15")
      .Spin(f::IDEs, 1)
      .Spin(f::IDEs, 1)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::IDEs).text, "16");
        EXPECT_EQ(KeptSettings::Read().Ides(1, 16), 16);  // kept as soon as it is set
      });
  for (const char* bad : {"17", "0", "x"}) {
    script()
        .Type(f::IDEs, bad)
        .Answer(rt::ButtonOk, "1 to 16")
        .Inspect([bad](rt::Window& w) {
          EXPECT_EQ(w.state(f::IDEs).text, "16") << bad;
          EXPECT_EQ(w.FocusField(), f::IDEs) << bad;
        });
  }
  script().Spin(f::IDEs, -1).Press(f::Close);
  Main(program_);
  EXPECT_TRUE(script().Done());
  EXPECT_EQ(backend_.beeps(), 3);

  script().Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::IDEs).text, "15"); }).CloseBox();
  Main(program_);
  EXPECT_TRUE(script().Done());
}

// A program typed from the current folder is taken by its full path, and one looked up in the
// dialog for programs as chosen there; both are kept. One that does not exist, a folder, or a
// name with "?" (a letter the code page lacks) is refused with its reason and the one in use stays.
TEST_F(IdeChoiceTest, AProgramIsTakenByItsFullPathAndKeptAndOneThatCannotBeUsedIsRefused) {
  const std::string typed = ProgramFile("IDE.EXE");
  const std::string looked_up = ProgramFile("OTHER.EXE");
  script()
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, ""); })
      .Type(f::IDEProgram, " IDE.EXE ")
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(w.state(f::IDEProgram).text, typed);
        EXPECT_EQ(KeptSettings::Read().IdeProgram(), typed);
      })
      .Type(f::IDEProgram, (folder_ / "MISSING.EXE").string())
      .Answer(rt::ButtonOk, "MISSING.EXE does not exist")
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(w.state(f::IDEProgram).text, typed);
        EXPECT_EQ(w.FocusField(), f::IDEProgram);
      })
      .Type(f::IDEProgram, folder_.string() + "/")
      .Answer(rt::ButtonOk, "is a folder")
      .Type(f::IDEProgram, (folder_ / "B?CHER.EXE").string())
      .Answer(rt::ButtonOk, "code page")
      .Inspect([&](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, typed); })
      .Press(f::LookupIDE)
      .ChooseFile(looked_up)
      .Inspect([&](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, looked_up); })
      .Press(f::LookupIDE)
      .CancelFile()
      .Inspect([&](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, looked_up); })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(script().Done());
  ASSERT_EQ(backend_.file_dialogs().size(), 2u);
  EXPECT_EQ(backend_.file_dialogs()[0].filter, "Programs|*.exe");
  EXPECT_EQ(backend_.file_dialogs()[1].initial, looked_up);  // the dialog opens at the one in use

  // Kept: the next start shows it, and finds no IDE running that program (the fake runs none);
  // cleared, the next one shows none, and any IDE is used again.
  script()
      .Answer(rt::ButtonOk, "not currently running")
      .Inspect([&](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, looked_up); })
      .Type(f::IDEProgram, "")
      .CloseBox();
  Main(program_);
  script().Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::IDEProgram).text, ""); }).CloseBox();
  Main(program_);
  EXPECT_TRUE(script().Done());
}

// A bare name is looked for as Windows looks for a program: the current folder, Nightjar's own
// folder, then PATH, with ".EXE" added; not found, the reason names where it was looked for.
TEST(IdeProgramSearch, ABareNameIsLookedForInTheCurrentFolderTheProgramsFolderThenPath) {
  store_test::InFreshDirectory root;
  test_doubles::ShortNamesLister lister;
  for (const char* folder : {"here", "own", "path1", "path2"}) fs::create_directory(root.path() / folder);
  const std::string base = root.path().string() + "/";
  lister.program_search = {.current = base + "here/", .own = base + "own/", .path = {base + "path1/", base + "path2/"}};
  for (const char* file : {"own/CW21.EXE", "path1/CW21.EXE", "path2/CW30.EXE"}) std::ofstream(base + file) << "x";
  EXPECT_EQ(CheckIdeProgram("CW21", lister).path, base + "own/CW21.EXE");
  EXPECT_EQ(CheckIdeProgram("cw30.exe", lister).path, base + "path2/CW30.EXE");
  std::ofstream(root.path() / "here" / "CW21.EXE") << "x";
  EXPECT_EQ(CheckIdeProgram("CW21", lister).path, base + "here/CW21.EXE");
  EXPECT_EQ(CheckIdeProgram("CW99", lister).problem,
            "The IDE's program CW99 and CW99.EXE were looked for in the current folder (" + base +
                "here/), in Nightjar's folder (" + base + "own/) and in the 2 folders of PATH; none is there. Give "
                "the IDE's program by its full path.");
}

// The choice of IDE cannot change under a batch: both controls and the lookup are disabled until
// it ends.
TEST_F(IdeChoiceTest, TheChoiceOfIdeIsLockedWhileABatchRuns) {
  files::OpenRecordFile(runtime_, program_.files, program_.files.Apps);
  program_.files.APP.DriveNPath = folder_.string() + "/";
  program_.files.APP.Application = "A.APP";
  program_.files.APP.Tag = 1;
  program_.files.Apps.Add();
  program_.files.Apps.Close();
  std::ofstream(folder_ / "A.APP") << "application";
  services_.ide.SetResultDelay(500);
  auto enabled = [](bool on) {
    return [on](rt::Window& w) {
      for (int field : {f::IDEs, f::IDEProgram, f::LookupIDE}) EXPECT_EQ(w.state(field).enabled, on) << field;
    };
  };
  script()
      .Inspect(enabled(true))
      .Press(f::MakeExe)
      .Inspect(enabled(false))
      .Wait(4000)  // the timer finds the result
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Processing Complete"); })
      .Inspect(enabled(true))
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(script().Done());
}

// What the window keeps, read back: a program outside ASCII comes back in the code page; values
// that are damaged (out of range, of the wrong type, not a path the field could hold) are left out
// and the defaults hold.
TEST_F(IdeChoiceTest, KeptValuesComeBackAndDamagedOnesAreLeftOut) {
  EXPECT_FALSE(KeptSettings::Read().IdeProgram());
  EXPECT_FALSE(KeptSettings::Read().Ides(1, 16));
  KeepIdeProgram("C:\\IDE\\Caf\xE9\\CW20.EXE");
  KeepIdes(16);
  EXPECT_EQ(KeptSettings::Read().IdeProgram(), "C:\\IDE\\Caf\xE9\\CW20.EXE");
  EXPECT_EQ(KeptSettings::Read().Ides(1, 16), 16);
  // The window's own numbers stay numbers beside the text.
  KeepTimeOut(20);
  EXPECT_EQ(KeptTimeOut(1, 99), 20);
  EXPECT_EQ(KeptSettings::Read().IdeProgram(), "C:\\IDE\\Caf\xE9\\CW20.EXE");

  for (const char* count : {"0", "17", "'four'", "NULL"}) {
    Put(std::string("UPDATE Settings SET Value = ") + count + " WHERE Name = 'IDEs'");
    EXPECT_FALSE(KeptSettings::Read().Ides(1, 16)) << count;
  }
  const std::string too_long = "'C:\\" + std::string(kIdeProgramWidth, 'A') + "'";
  for (const std::string& program : {std::string("5"), std::string("X'C0FF'"), std::string("'C:\\A' || char(10)"),
                                     std::string("CAST(X'FF' AS TEXT)"), too_long}) {
    Put("UPDATE Settings SET Value = " + program + " WHERE Name = 'IDEProgram'");
    EXPECT_FALSE(KeptSettings::Read().IdeProgram()) << program;
  }
  // Main opens with the defaults over them.
  script()
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::IDEs).text, "1");
        EXPECT_EQ(w.state(f::IDEProgram).text, "");
      })
      .CloseBox();
  Main(program_);
  EXPECT_TRUE(script().Done());
}

TEST(ConsoleIdeFlags, IdeAndIdesAreReadAndACountOutOfRangeIsRefused) {
  auto parsed = console::ParseCommand({"run", "make-exe", "--ide", "C:\\IDE\\CW20.EXE", "--ides", "16"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->ide_program, "C:\\IDE\\CW20.EXE");
  EXPECT_EQ(parsed.command->ides, 16);
  parsed = console::ParseCommand({"run", "make-exe", "--ide=CW20.EXE", "--ides=1"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->ide_program, "CW20.EXE");
  EXPECT_EQ(parsed.command->ides, 1);
  parsed = console::ParseCommand({"run", "make-exe"});
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->ide_program, "");
  EXPECT_EQ(parsed.command->ides, 1);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--ides", "0"}, {"--ides", "17"}, {"--ides=2x"}, {"--ides=-1"}, {"--ides"}, {"--ide"}, {"--ide="}}) {
    std::vector<std::string> arguments{"run", "make-exe"};
    arguments.insert(arguments.end(), bad.begin(), bad.end());
    parsed = console::ParseCommand(arguments);
    EXPECT_FALSE(parsed.command) << bad[0];
    EXPECT_NE(parsed.error.find(bad[0].substr(0, bad[0].find('='))), std::string::npos) << parsed.error;
  }
  EXPECT_NE(console::Usage().find("--ides N"), std::string::npos);
}

class ConsoleIdeTest : public ConsoleFolderTest {
 protected:
  platform::DirectoryLister& Lister() override { return *lister_; }
  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
};

// An --ide that names no program ends the run before anything is sent, saying which path it
// looked for (a relative one made full); one that exists is taken.
TEST_F(ConsoleIdeTest, AnIdeThatDoesNotExistExitsTwoAndSendsNothing) {
  std::ofstream(folder_ / "A.APP") << "x";
  ASSERT_EQ(Nightjar({"add", (folder_ / "A.APP").string()}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--ide", "NOIDE.EXE"}), 2);
  EXPECT_NE(err_.str().find("NOIDE.EXE was looked for in the current folder (" + folder_.string() + "/), in Nightjar's "
                            "folder ("),
            std::string::npos)
      << err_.str();
  EXPECT_NE(err_.str().find("Nothing was sent"), std::string::npos) << err_.str();
  EXPECT_EQ(out_.str(), "");  // no log begun
  EXPECT_TRUE(ide_.Commands().empty());

  std::ofstream(folder_ / "IDE.EXE") << "program";
  ide_.SetIdentity(4242, (folder_ / "IDE.EXE").string());  // the running IDE runs that program
  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--ide", "IDE.EXE", "--ides", "2"}), 0) << err_.str();
  EXPECT_EQ(ide_.Commands().size(), 1u);
}

}  // namespace
}  // namespace procedures
