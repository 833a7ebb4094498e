// A process that dies in the middle of a write, killed from outside: what it had committed is all
// there, what it had not is gone, and it leaves no lock behind. And a create over such a file must
// not let the dead process's journal roll into the new file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "files/open_record_file.h"
#include "store_test_support.h"

namespace store_test {
namespace {

namespace fs = std::filesystem;

class CrashTest : public StoreTest {
 protected:
  // APPS.db with `committed` records, then a helper that writes 3,000 more without committing
  // and is killed while its half-written pages are in the file.
  void KillInTheMiddleOfAWrite(int committed) {
    MakeApps(committed);
    const auto size_before = fs::file_size("APPS.db");
    auto writer = ChildProcess::StartHelper({"die-in-write", "3000"});
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(writer->ReadLine(), "ready");
    writer->Kill();
    // The write had reached the disk: the file grew and a journal lies beside it.
    EXPECT_GT(fs::file_size("APPS.db"), size_before);
    EXPECT_TRUE(fs::exists("APPS.db-journal"));
  }
};

TEST_F(CrashTest, AKilledWriterLosesNothingCommittedAndLeavesNoLock) {
  KillInTheMiddleOfAWrite(40);
  files::OpenRecordFile(runtime_, files_, files_.Apps);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_EQ(files_.Apps.Records(), 40);
  // Nothing holds a lock: a transaction starts and commits at once.
  files_.store.timing.ordinary_wait_ms = 0;
  files_.store.timing.second_ms = 0;
  files_.Apps.BeginTransaction(0);
  ASSERT_EQ(code(), 0);
  AddApps(100, 1);
  files_.Apps.Commit();
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(files_.Apps.Records(), 41);
  EXPECT_FALSE(fs::exists("APPS.db-journal")) << "the dead process's journal was rolled back";
}

TEST_F(CrashTest, CreateOverAFileWithADeadWritersJournalGivesAnEmptySoundFile) {
  KillInTheMiddleOfAWrite(40);
  files_.Apps.Create();
  ASSERT_EQ(code(), 0) << files_.store.error.text;
  EXPECT_FALSE(fs::exists("APPS.db-journal"));
  files::OpenRecordFile(runtime_, files_, files_.Apps);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_EQ(files_.Apps.Records(), 0);
  AddApps(0, 3);
  EXPECT_EQ(files_.Apps.Records(), 3);
}

}  // namespace
}  // namespace store_test
