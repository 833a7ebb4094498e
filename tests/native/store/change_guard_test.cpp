// The guarded change and delete against real files and a second real process: another station's
// change is detected (89), a transaction that cannot start or cannot commit reports its own error,
// and nothing of a failed operation remains.
#include "files/change_guard.h"

#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "files/open_record_file.h"
#include "store_test_support.h"

namespace store_test {
namespace {

using store::Order;

class ChangeGuardTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    files::OpenRecordFile(runtime_, files_, files_.Apps);
    AddApps(0, 3);  // APP0, APP1, APP2 in C:\DIR0\ .. C:\DIR2\ .
    files::OpenRecordFile(runtime_, files_, files_.TempFile);
  }
  // Reads the Apps record with this Application through a fresh view, watched, as the list does
  // before it opens the form.
  void ReadWatched(const std::string& application) {
    store::View view(files_.Apps);
    view.Open();
    view.Set();
    for (view.Next(); code() == 0; view.Next())
      if (files_.APP.Application.str() == application) {
        const store::RecordPosition at = view.Position();
        view.Watch();
        view.Reread(at);
        return;
      }
    ADD_FAILURE() << application << " not found";
  }
  std::string StoredApplications() {
    std::string names;
    files::Files reader;
    reader.Apps.Open();
    reader.Apps.Set(Order::Key);
    for (reader.Apps.Next(); reader.store.error.code == 0; reader.Apps.Next())
      names += reader.APP.Application.str() + " ";
    return names;
  }
  std::unique_ptr<ChildProcess> HoldLock(const std::string& file, const std::string& kind) {
    auto child = ChildProcess::StartHelper({"lock", file, kind});
    EXPECT_NE(child, nullptr);
    if (child != nullptr) {
      EXPECT_EQ(child->ReadLine(), "ready");
    }
    return child;
  }
};

TEST_F(ChangeGuardTest, DeleteRemovesTheApplicationAndLeavesItsActivityRecords) {
  files_.TMP.Apps = "APP1.APP";
  files_.TMP.Event = "Begin Make";
  files_.TempFile.Add();
  ReadWatched("APP1.APP");
  EXPECT_EQ(files::DeleteAppsRecord(runtime_, files_), files::kDeleted);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_EQ(StoredApplications(), "APP0.APP APP2.APP ");
  EXPECT_EQ(files_.TempFile.Records(), 1);
  EXPECT_EQ(files_.store.transaction, nullptr);
}

TEST_F(ChangeGuardTest, ChangeWritesTheBufferAndCommits) {
  ReadWatched("APP2.APP");
  files_.APP.Tag = 1;
  files_.APP.Application = "NEW.APP";
  EXPECT_EQ(files::ChangeAppsRecord(runtime_, files_), files::kChanged);
  EXPECT_TRUE(backend_.boxes().empty()) << Boxes();
  EXPECT_EQ(StoredApplications(), "APP0.APP APP1.APP NEW.APP ");
}

TEST_F(ChangeGuardTest, AChangeByAnotherProcessIsReportedAndTheStoredRecordShownThenASecondSaveWins) {
  ReadWatched("APP0.APP");
  // Another station changes the first record in key order, APP0, and ends.
  auto other = ChildProcess::StartHelper({"change", "THEIRS.APP"});
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->ReadLine(), "done 0");
  EXPECT_EQ(other->Wait(), 0);

  files_.APP.Application = "MINE.APP";
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(files::ChangeAppsRecord(runtime_, files_), files::kChangedElsewhere);
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Update Operation Error");
  EXPECT_EQ(backend_.boxes()[0].text, "This record was changed by another station.");
  EXPECT_EQ(files_.APP.Application.str(), "THEIRS.APP") << "the buffer holds the other station's record";
  EXPECT_EQ(files_.kept.SavedErrorCode, 0) << "the warning consumed the kept error";

  files_.APP.Application = "MINE.APP";
  EXPECT_EQ(files::ChangeAppsRecord(runtime_, files_), files::kChanged);
  EXPECT_EQ(StoredApplications(), "MINE.APP APP1.APP APP2.APP ");
}

// What another station deleted first: a change says so once and does not offer to try again; a
// delete of it counts as done, without a message.
TEST_F(ChangeGuardTest, ARecordDeletedElsewhereEndsTheChangeOnceAndIsDeletedAlready) {
  files::Files other;
  other.Apps.Open();
  auto remove = [&other](const char* name) {
    other.Apps.Set(store::Order::Key);
    for (other.Apps.Next(); other.store.error.code == 0; other.Apps.Next())
      if (other.APP.Application.str() == name) return other.Apps.Delete();
  };
  ReadWatched("APP1.APP");
  remove("APP1.APP");
  files_.APP.Tag = 1;
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(files::ChangeAppsRecord(runtime_, files_), files::kRecordGone);
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Update Operation Error");

  ReadWatched("APP2.APP");
  remove("APP2.APP");
  EXPECT_EQ(files::DeleteAppsRecord(runtime_, files_), files::kDeleted);
  EXPECT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(StoredApplications(), "APP0.APP ");
  EXPECT_EQ(files_.store.transaction, nullptr);
}

TEST_F(ChangeGuardTest, ADeleteOfARecordAnotherProcessChangedStillDeletesTheRecordAsItIsNow) {
  // The delete re-reads the record inside its transaction, so it removes what is stored.
  ReadWatched("APP0.APP");
  auto other = ChildProcess::StartHelper({"change", "THEIRS.APP"});
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->ReadLine(), "done 0");
  EXPECT_EQ(files::DeleteAppsRecord(runtime_, files_), files::kDeleted);
  EXPECT_EQ(StoredApplications(), "APP1.APP APP2.APP ");
}

TEST_F(ChangeGuardTest, ATransactionThatCannotStartShowsTheFramingErrorAndDeletesNothing) {
  files_.TMP.Apps = "APP1.APP";
  files_.TMP.Event = "Begin Make";
  files_.TempFile.Add();
  auto writer = HoldLock("TEMPFILE.db", "reserved");
  ASSERT_NE(writer, nullptr);
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(files::DeleteTempFileRecord(runtime_, files_), files::kDeleteFailed);
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Transaction Framing Error");
  EXPECT_EQ(backend_.boxes()[0].text,
            "Error: (File Locked (32)) attempting to frame the delete transaction on TempFile.  "
            "Delete transaction cancelled.");
  writer->WriteLine("release");
  EXPECT_EQ(writer->ReadLine(), "released");
  EXPECT_EQ(files_.TempFile.Records(), 1);
  EXPECT_EQ(files_.store.transaction, nullptr);
}

TEST_F(ChangeGuardTest, ACommitThatAReaderKeepsWaitingIsAFailedDeleteAndTheRecordStays) {
  ReadWatched("APP1.APP");
  auto reader = HoldLock("APPS.db", "shared");
  ASSERT_NE(reader, nullptr);
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(files::DeleteAppsRecord(runtime_, files_), files::kDeleteFailed);
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].text,
            "An error (File Locked (32)) was experienced when attempting to delete a record from the file Apps.");
  reader->WriteLine("release");
  EXPECT_EQ(reader->ReadLine(), "released");
  EXPECT_EQ(StoredApplications(), "APP0.APP APP1.APP APP2.APP ");
  // The record is still current: once the reader has gone, the delete goes through.
  EXPECT_EQ(files::DeleteAppsRecord(runtime_, files_), files::kDeleted);
  EXPECT_EQ(StoredApplications(), "APP0.APP APP2.APP ");
}

TEST_F(ChangeGuardTest, AChangeThatWouldDuplicateTheKeyFailsWithTheFileNamedAndChangesNothing) {
  ReadWatched("APP1.APP");
  files_.APP.DriveNPath = "c:\\dir0\\";
  files_.APP.Application = "app0.app";
  backend_.script().Answer(rt::ButtonOk);
  EXPECT_EQ(files::ChangeAppsRecord(runtime_, files_), files::kChangeFailed);
  EXPECT_EQ(backend_.boxes().at(0).text,
            "An error (Duplicate Key Value (40)) was experienced when attempting to update a record from the "
            "file.  Probable Cause: Apps.");
  EXPECT_EQ(StoredApplications(), "APP0.APP APP1.APP APP2.APP ");
}

TEST_F(ChangeGuardTest, TheKeptErrorIsTheFailedOperationsNotTheRollbacks) {
  files_.Apps.BeginTransaction(2);
  files_.Apps.ForgetCurrent();
  files_.Apps.Delete();
  ASSERT_EQ(code(), store::kRecordNotAvailable);
  files::KeepStoreError(files_);
  EXPECT_EQ(code(), 0) << "the rollback succeeded";
  EXPECT_EQ(files_.store.transaction, nullptr);
  EXPECT_EQ(files_.kept.SavedErrorCode, store::kRecordNotAvailable);
  EXPECT_EQ(files_.kept.SavedErrorText, "No Record Available");

  // A file-system error keeps its number and message too.
  files_.store.error = {store::kFileSystemError, "File System Error", "28", "No space left on device"};
  files::KeepStoreError(files_);
  EXPECT_EQ(files_.kept.SavedFileErrorCode, 28);
  EXPECT_EQ(files_.kept.SavedFileErrorText, "No space left on device");
}

}  // namespace
}  // namespace store_test
