// OpenRecordFile on real files through the headless runtime: the silent create, the warnings and
// halts for foreign files, damaged keys, locks held by another process and file-system refusals;
// the use counts; and Main opening Apps at its start.
#include "files/open_record_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <cstdlib>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <fstream>
#include <string>

#include "child_process.h"
#include "ide_fake_services.h"
#include "procedures/program.h"
#include "shell/startup.h"
#include "store_test_support.h"
#include "procedures/main.h"

namespace store_test {
namespace {

namespace fs = std::filesystem;
using rt::headless::Halted;

class OpenRecordFileTest : public StoreTest {
 protected:
  // Runs OpenRecordFile on Apps and returns the halt text ("" when it returned).
  std::string OpenApps() {
    try {
      files::OpenRecordFile(runtime_, files_, files_.Apps);
    } catch (const Halted& halted) {
      return halted.text;
    }
    return "";
  }
  // A helper process holding `kind` lock on `file` until the test lets go.
  std::unique_ptr<ChildProcess> HoldLock(const std::string& file, const std::string& kind) {
    auto child = ChildProcess::StartHelper({"lock", file, kind});
    EXPECT_NE(child, nullptr);
    if (child != nullptr) {
      EXPECT_EQ(child->ReadLine(), "ready");
    }
    return child;
  }
  static void Release(ChildProcess& child) {
    child.WriteLine("release");
    EXPECT_EQ(child.ReadLine(), "released");
    EXPECT_EQ(child.Wait(), 0);
  }
};

TEST_F(OpenRecordFileTest, MissingFilesAreCreatedEmptyAndOpenedWithoutAWord) {
  EXPECT_EQ(OpenApps(), "");
  files::OpenRecordFile(runtime_, files_, files_.TempFile);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_TRUE(files_.Apps.IsOpen());
  EXPECT_TRUE(files_.TempFile.IsOpen());
  EXPECT_TRUE(fs::exists("APPS.db"));
  EXPECT_TRUE(fs::exists("TEMPFILE.db"));
  EXPECT_EQ(files_.Apps.Records(), 0);
  EXPECT_EQ(files_.TempFile.Records(), 0);
  // Opening an open file again counts as success.
  EXPECT_EQ(OpenApps(), "");
  EXPECT_TRUE(backend_.boxes().empty());
}

TEST_F(OpenRecordFileTest, AForeignFileShowsInvalidFileAndEndsTheProgramWithoutWritingIt) {
  std::ofstream("APPS.db", std::ios::binary) << "not a record file at all\n";
  const std::string before = FileBytes("APPS.db");
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(OpenApps(), "Invalid File!");
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Invalid File");
  EXPECT_EQ(backend_.boxes()[0].text,
            "Error: (File Does Not Match Record Layout (47)) accessing APPS.  Press OK to end this application.");
  EXPECT_EQ(FileBytes("APPS.db"), before);
  EXPECT_FALSE(files_.Apps.IsOpen());
}

TEST_F(OpenRecordFileTest, DamagedKeysAreRebuiltWhenTheUserSaysYes) {
  MakeApps(50);
  ASSERT_EQ(DamageIndexPage("APPS.db"), "");
  backend_.script().Answer(rt::ButtonYes, "APPS key file is invalid.  Do you want to rebuild the key?");
  EXPECT_EQ(OpenApps(), "");
  EXPECT_EQ(backend_.boxes().size(), 1u) << Boxes();
  ASSERT_TRUE(files_.Apps.IsOpen());
  EXPECT_EQ(files_.Apps.Records(), 50);
  files_.Apps.Close();
  files_.Apps.Open();
  EXPECT_EQ(code(), 0) << "the key is sound after the rebuild";
}

TEST_F(OpenRecordFileTest, RecordsWrittenBehindTheKeysBackInABigFileAreFoundAfterANormalWriteToo) {
  MakeApps(150);  // more than the check looks up one by one
  ASSERT_EQ(DamageIndexMissingRows("APPS.db", 3), "");
  ASSERT_EQ(ExecOn("APPS.db", "INSERT INTO Apps(chg, DriveNPath, Application, Tag, DriveNPath_fold, Application_fold) "
                              "VALUES(0, 'C:\\LAST\\', 'L.APP', 0, 'C:\\LAST\\', 'L.APP')"),
            "");
  backend_.script().Answer(rt::ButtonYes, "APPS key file is invalid.  Do you want to rebuild the key?");
  EXPECT_EQ(OpenApps(), "");
  EXPECT_EQ(files_.Apps.Records(), 154);
}

TEST_F(OpenRecordFileTest, DamagedKeysEndTheProgramWhenTheUserSaysNoAndTheFileIsLeftAsItWas) {
  MakeApps(50);
  ASSERT_EQ(DamageIndexMissingRows("APPS.db", 2), "");
  const std::string before = FileBytes("APPS.db");
  backend_.script().Answer(rt::ButtonNo, "APPS key file is invalid.");
  EXPECT_EQ(OpenApps(), "Invalid Key!");
  EXPECT_EQ(FileBytes("APPS.db"), before);
}

TEST_F(OpenRecordFileTest, ARebuildThatFailsShowsKeyRebuildErrorAndEndsTheProgram) {
  MakeApps(300);
  ASSERT_EQ(DamageTablePage("APPS.db"), "");
  backend_.script()
      .Answer(rt::ButtonYes, "APPS key file is invalid.")
      .Answer(rt::ButtonOk, "Error: (Keys Must Be Rebuilt (46)) repairing key for APPS.");
  EXPECT_EQ(OpenApps(), "Error Rebuilding Key!");
  EXPECT_TRUE(backend_.script().Done());
}

TEST_F(OpenRecordFileTest, AFileLockedByAnotherProcessShowsFileAccessErrorAfterTheRecoveryWait) {
  MakeApps(3);
  auto holder = HoldLock("APPS.db", "exclusive");
  ASSERT_NE(holder, nullptr);
  VirtualWaitClock clock;
  files_.store.timing.clock = &clock;
  clock.on_wait = [&](const std::string& name) { EXPECT_EQ(name, "APPS"); };
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(OpenApps(), "Disk Error");
  EXPECT_EQ(clock.waits, 2) << "the first open's short wait, then the recovery's";
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "File Access Error");
  EXPECT_EQ(backend_.boxes()[0].text, "File (APPS) could not be opened.  Error: File Locked (32).");
  EXPECT_FALSE(files_.Apps.IsOpen());
  Release(*holder);
}

TEST_F(OpenRecordFileTest, ALockThatGoesDuringTheRecoveryWaitOpensTheFileSilently) {
  MakeApps(3);
  auto holder = HoldLock("APPS.db", "exclusive");
  ASSERT_NE(holder, nullptr);
  // No wait on the first attempt: only "Recover=10" waits, and the lock goes as it starts.
  files_.store.timing.ordinary_wait_ms = 0;
  files_.store.timing.second_ms = 1000;
  VirtualWaitClock clock;
  files_.store.timing.clock = &clock;
  clock.on_wait = [&](const std::string&) {
    if (clock.waits == 1) Release(*holder);
  };
  EXPECT_EQ(OpenApps(), "");
  EXPECT_EQ(clock.waits, 1);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_TRUE(files_.Apps.IsOpen());
  EXPECT_EQ(files_.Apps.Records(), 3);
  EXPECT_LT(clock.now_us, 1000000) << "it did not wait it out";
}

TEST_F(OpenRecordFileTest, RecoverTenWaitsTenSecondsForTheLock) {
  // The program's own scale, on a clock that moves only by the store's sleeps.
  MakeApps(1);
  auto holder = HoldLock("APPS.db", "exclusive");
  ASSERT_NE(holder, nullptr);
  VirtualWaitClock clock;
  files_.store.timing = store::StoreTiming{0, 1000, &clock};
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(OpenApps(), "Disk Error");
  EXPECT_EQ(clock.waits, 1);
  EXPECT_EQ(clock.now_us, 10'000'000);
  Release(*holder);
}

TEST_F(OpenRecordFileTest, AFileTheSystemRefusesShowsFileAccessErrorWithTheSystemsMessage) {
  fs::create_directory("APPS.db");
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(OpenApps(), "Disk Error");
  ASSERT_EQ(backend_.boxes().size(), 1u);
#ifdef _WIN32
  EXPECT_EQ(backend_.boxes()[0].text, "File (APPS) could not be opened.  Error: Access Denied (5).");
#else
  EXPECT_EQ(backend_.boxes()[0].text, "File (APPS) could not be opened.  Error: Is a directory (21).");
#endif
}

TEST_F(OpenRecordFileTest, ACreateThatFailsShowsFileCreationErrorAndEndsTheProgram) {
  // A journal of the file's name that cannot be removed (a directory) would be taken for the new
  // file's: it stops the creation.
  fs::create_directories("APPS.db-journal/in-the-way");
  backend_.script().Answer(rt::ButtonOk, ") creating APPS.  Press OK to end this application.");
  EXPECT_EQ(OpenApps(), "File Creation Error!");
  EXPECT_EQ(backend_.boxes().at(0).caption, "File Creation Error");
  EXPECT_FALSE(fs::exists("APPS.db"));
}

#ifndef _WIN32
// A folder that takes no new file gives the system's reason, not the "not found" of the database
// engine's retry. Run as a user the folder refuses (root writes anywhere), in a child process.
TEST_F(OpenRecordFileTest, AFolderThatTakesNoNewFileIsReportedAsAccessDenied) {
  fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(99);
        files_.Apps.CreateMissing();
        std::fprintf(stderr, "%d %s (%s)", files_.store.error.code, files_.store.error.text.c_str(),
                     files_.store.error.file_message.c_str());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "5 [^(]*\\(Permission denied\\)");
  fs::permissions(".", fs::perms::owner_all);
}
#endif

TEST_F(OpenRecordFileTest, UseCountsOpenTheFileForTheFirstHolderAndCloseItAfterTheLast) {
  files::RaiseUseCount(runtime_, files_, files_.TempFile);
  files::RaiseUseCount(runtime_, files_, files_.TempFile);
  EXPECT_EQ(files_.TempFileUseCount, 2);
  EXPECT_EQ(files_.AppsUseCount, 0);
  EXPECT_TRUE(files_.TempFile.IsOpen());
  files::LowerUseCount(files_, files_.TempFile);
  EXPECT_TRUE(files_.TempFile.IsOpen());
  files::LowerUseCount(files_, files_.TempFile);
  EXPECT_EQ(files_.TempFileUseCount, 0);
  EXPECT_FALSE(files_.TempFile.IsOpen());
}

// ---- Main ----------------------------------------------------------------------------------------

class MainOpensAppsTest : public StoreTest {
 protected:
  ide_test::FakeServices services_{backend_.virtual_clock()};  // the IDE is running
  procedures::Program program_{runtime_, services_.services};
};

TEST_F(MainOpensAppsTest, InAnEmptyFolderMainCreatesAppsSilentlyAndClosesItWhenItLeaves) {
  backend_.script()
      .Inspect([this](rt::Window&) {
        EXPECT_EQ(program_.files.AppsUseCount, 1);
        EXPECT_TRUE(program_.files.Apps.IsOpen());
      })
      .CloseBox();
  procedures::Main(program_);
  EXPECT_TRUE(backend_.script().Done());
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_TRUE(fs::exists("APPS.db"));
  EXPECT_EQ(program_.files.AppsUseCount, 0);
  EXPECT_FALSE(program_.files.Apps.IsOpen());
}

TEST_F(MainOpensAppsTest, OnAForeignFileNamedLikeAppsTheProgramWarnsInvalidFileAndEnds) {
  ASSERT_EQ(MakeOtherDatabase("APPS.db"), "");
  backend_.script().Answer(rt::ButtonOk, "accessing APPS.");
  try {
    shell::RunProgram(runtime_, services_.services);
    ADD_FAILURE() << "the program went on";
  } catch (const Halted& halted) {
    EXPECT_EQ(halted.text, "Invalid File!");
  }
  EXPECT_EQ(runtime_.WindowCount(), 0) << "the main window never opened";
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Invalid File");
}

}  // namespace
}  // namespace store_test
