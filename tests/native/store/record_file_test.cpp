// The record store on real files: key order with folded case and duplicates, positions, the change
// watch, transactions, views, and the codes for files that are missing, foreign, damaged or
// refused by the file system.
#include "store/record_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sqlite3.h>

#ifndef _WIN32
#include <sys/mount.h>

#include <cerrno>
#endif

#include "child_process.h"
#include "store_test_support.h"

namespace store_test {
namespace {

namespace fs = std::filesystem;
using store::Order;

class RecordFileTest : public StoreTest {
 protected:
  void OpenEmptyApps() {
    files_.Apps.Create();
    ASSERT_EQ(code(), 0) << files_.store.error.text;
    files_.Apps.Open();
    ASSERT_EQ(code(), 0) << files_.store.error.text;
  }
  void OpenEmptyTempFile() {
    files_.TempFile.Create();
    ASSERT_EQ(code(), 0);
    files_.TempFile.Open();
    ASSERT_EQ(code(), 0);
  }
  void AddApp(const std::string& dir, const std::string& name, std::int16_t tag = 0) {
    files_.APP.DriveNPath = dir;
    files_.APP.Application = name;
    files_.APP.Tag = tag;
    files_.Apps.Add();
  }
  void AddEvent(std::int32_t date, std::int32_t clock, const std::string& event) {
    files_.TMP.Apps = "PAYROLL.APP";
    files_.TMP.Date = date;
    files_.TMP.Clock = clock;
    files_.TMP.Event = event;
    files_.TempFile.Add();
    ASSERT_EQ(code(), 0);
  }
  // Reads on in one direction through `step` until 33; the Application (or Event) of every record.
  template <typename Step, typename Field>
  std::vector<std::string> ReadAll(Step step, Field field) {
    std::vector<std::string> seen;
    for (int guard = 0; guard < 1000; ++guard) {
      step();
      if (code() != 0) break;
      seen.push_back(field());
    }
    EXPECT_EQ(code(), store::kRecordNotAvailable);
    return seen;
  }
  std::vector<std::string> AppsForward() {
    return ReadAll([&] { files_.Apps.Next(); }, [&] { return files_.APP.Application.str(); });
  }
  std::vector<std::string> AppsBackward() {
    return ReadAll([&] { files_.Apps.Previous(); }, [&] { return files_.APP.Application.str(); });
  }
  std::vector<std::string> EventsForward() {
    return ReadAll([&] { files_.TempFile.Next(); }, [&] { return files_.TMP.Event.str(); });
  }
  std::vector<std::string> EventsBackward() {
    return ReadAll([&] { files_.TempFile.Previous(); }, [&] { return files_.TMP.Event.str(); });
  }
};

using Names = std::vector<std::string>;

TEST_F(RecordFileTest, CreatedFileOpensEmptyAndReadsReport33) {
  OpenEmptyApps();
  EXPECT_TRUE(fs::exists("APPS.db"));
  EXPECT_EQ(files_.Apps.Name(), "APPS");
  EXPECT_EQ(files_.Apps.Records(), 0);
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  EXPECT_EQ(files_.store.error.text, "No Record Available");
  files_.Apps.Previous();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
}

TEST_F(RecordFileTest, MissingFileIs2AndSecondOpenIs52WithTheFileStillOpen) {
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kFileNotFound);
  EXPECT_FALSE(files_.Apps.IsOpen());
  EXPECT_FALSE(fs::exists("APPS.db")) << "an open must not create the file";

  OpenEmptyApps();
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kFileAlreadyOpen);
  EXPECT_TRUE(files_.Apps.IsOpen());
  AddApp("C:\\A\\", "A.APP");
  EXPECT_EQ(code(), 0);
}

TEST_F(RecordFileTest, KeyIgnoresLetterCaseOfTheCodePageAndRefusesDuplicatesWith40) {
  OpenEmptyApps();
  AddApp("c:\\work\\", "payroll.app");
  ASSERT_EQ(code(), 0);
  AddApp("C:\\WORK\\", "PAYROLL.APP");
  EXPECT_EQ(code(), store::kDuplicateKey);
  // 8-bit letters fold too: e acute (0xE9) and E acute (0xC9), s caron (0x9A) and S caron (0x8A).
  AddApp("C:\\caf\xE9\\", "\x9A.APP");
  ASSERT_EQ(code(), 0);
  AddApp("C:\\CAF\xC9\\", "\x8A.app");
  EXPECT_EQ(code(), store::kDuplicateKey);
  EXPECT_EQ(files_.Apps.Records(), 2);

  // Key order: directory first, then name, case ignored.
  AddApp("C:\\Work\\", "ACCOUNTS.APP");
  AddApp("c:\\abc\\", "Z.APP");
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsForward(), (Names{"Z.APP", "\x9A.APP", "ACCOUNTS.APP", "payroll.app"}));
}

TEST_F(RecordFileTest, RecordReadBackHasTheExactByteImageWithBlankPadding) {
  OpenEmptyApps();
  store::AppsRecord written;
  written.DriveNPath = "D:\\Projects\\Ledger\\";
  written.Application = "LEDGER.APP";
  written.Tag = 1;
  files_.APP = written;
  files_.Apps.Add();
  ASSERT_EQ(code(), 0);
  files_.APP.Clear();
  files_.Apps.Set(Order::File);
  files_.Apps.Next();
  ASSERT_EQ(code(), 0);
  EXPECT_EQ(std::memcmp(&files_.APP, &written, sizeof written), 0);

  // A value as wide as its field keeps every byte; the TempFile image holds its numbers too.
  OpenEmptyTempFile();
  store::TempFileRecord event;
  event.Apps = std::string(40, 'X');
  event.Date = 81513;
  event.Clock = 3240000;
  event.Event = std::string(79, 'e') + "!";
  files_.TMP = event;
  files_.TempFile.Add();
  files_.TMP.Clear();
  files_.TempFile.Set(Order::Key);
  files_.TempFile.Next();
  ASSERT_EQ(code(), 0);
  EXPECT_EQ(std::memcmp(&files_.TMP, &event, sizeof event), 0);
}

TEST_F(RecordFileTest, NextAndPreviousWalkTheKeyAndTurnAroundAtEitherEnd) {
  OpenEmptyApps();
  for (const char* name : {"C.APP", "A.APP", "B.APP"}) AddApp("C:\\X\\", name);
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsForward(), (Names{"A.APP", "B.APP", "C.APP"}));
  // Past the end, a read backward starts again from the last record.
  EXPECT_EQ(AppsBackward(), (Names{"C.APP", "B.APP", "A.APP"}));
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsBackward(), (Names{"C.APP", "B.APP", "A.APP"}));
  // File order is the order of storage, whatever the key.
  files_.Apps.Set(Order::File);
  EXPECT_EQ(AppsForward(), (Names{"C.APP", "A.APP", "B.APP"}));
}

TEST_F(RecordFileTest, EqualClockKeysAreAllKeptAndReadInStorageOrderBothWays) {
  OpenEmptyTempFile();
  AddEvent(100, 500, "second day");
  for (int i = 0; i < 5; ++i) AddEvent(99, 700, "same " + std::to_string(i));
  AddEvent(99, 600, "earlier");
  AddEvent(101, 0, "third day");
  EXPECT_EQ(files_.TempFile.Records(), 8);
  files_.TempFile.Set(Order::Key);
  const Names forward{"earlier", "same 0", "same 1", "same 2", "same 3", "same 4", "second day", "third day"};
  EXPECT_EQ(EventsForward(), forward);
  files_.TempFile.Set(Order::Key);
  EXPECT_EQ(EventsBackward(), Names(forward.rbegin(), forward.rend()));

  // A position inside the run of equal keys: reads go on from that very record either way.
  files_.TempFile.Set(Order::Key);
  for (int i = 0; i < 3; ++i) files_.TempFile.Next();
  ASSERT_EQ(files_.TMP.Event.str(), "same 1");
  const store::RecordPosition middle = files_.TempFile.Position(Order::Key);
  files_.TempFile.Reset(Order::Key, middle);
  files_.TempFile.Next();
  EXPECT_EQ(files_.TMP.Event.str(), "same 1");
  files_.TempFile.Next();
  EXPECT_EQ(files_.TMP.Event.str(), "same 2");
  files_.TempFile.Reset(Order::Key, middle);
  files_.TempFile.Previous();
  EXPECT_EQ(files_.TMP.Event.str(), "same 1");
  files_.TempFile.Previous();
  EXPECT_EQ(files_.TMP.Event.str(), "same 0");
}

TEST_F(RecordFileTest, SetToKeyValueFindsTheFirstKeyNotLessGoingOnAndTheLastNotGreaterGoingBack) {
  OpenEmptyTempFile();
  AddEvent(10, 1, "a");
  AddEvent(20, 1, "b1");
  AddEvent(20, 1, "b2");
  AddEvent(30, 1, "c");
  files_.TMP.Date = 20;
  files_.TMP.Clock = 1;
  files_.TempFile.SetToKeyValue();
  files_.TempFile.Next();
  EXPECT_EQ(files_.TMP.Event.str(), "b1");
  files_.TMP.Date = 20;
  files_.TMP.Clock = 1;
  files_.TempFile.SetToKeyValue();
  files_.TempFile.Previous();
  EXPECT_EQ(files_.TMP.Event.str(), "b2");
  // A value between keys, and one beyond the last.
  files_.TMP.Date = 25;
  files_.TempFile.SetToKeyValue();
  files_.TempFile.Next();
  EXPECT_EQ(files_.TMP.Event.str(), "c");
  files_.TMP.Date = 99;
  files_.TempFile.SetToKeyValue();
  files_.TempFile.Next();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.TempFile.Previous();
  EXPECT_EQ(files_.TMP.Event.str(), "c");
}

TEST_F(RecordFileTest, PositionsRereadTheirRecordAndResetNextToItWhenItIsGone) {
  OpenEmptyApps();
  for (const char* name : {"A.APP", "B.APP", "C.APP"}) AddApp("C:\\X\\", name);
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  files_.Apps.Next();
  const store::RecordPosition b_key = files_.Apps.Position(Order::Key);
  const store::RecordPosition b_file = files_.Apps.Position(Order::File);
  EXPECT_NE(b_key, b_file);
  EXPECT_LE(b_key.Trimmed().size(), store::kPositionSize);

  files_.Apps.Set(Order::Key);
  files_.Apps.Next();  // A is current now
  files_.Apps.Reread(b_file);
  EXPECT_EQ(files_.APP.Application.str(), "B.APP");
  EXPECT_EQ(files_.Apps.Position(Order::Key), b_key) << "the same record gives the same position";

  files_.Apps.Delete();
  ASSERT_EQ(code(), 0);
  files_.Apps.Reread(b_key);
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Reset(Order::Key, b_key);
  files_.Apps.Next();
  EXPECT_EQ(files_.APP.Application.str(), "C.APP");
  files_.Apps.Reset(Order::Key, b_key);
  files_.Apps.Previous();
  EXPECT_EQ(files_.APP.Application.str(), "A.APP");

  files_.Apps.Reset(Order::Key, store::RecordPosition("not a position"));
  EXPECT_EQ(code(), store::kRecordNotAvailable);
}

TEST_F(RecordFileTest, PutAndDeleteActOnTheCurrentRecordOnly) {
  OpenEmptyApps();
  AddApp("C:\\X\\", "A.APP");
  AddApp("C:\\X\\", "B.APP");
  // The record just added is current: Put changes it in place.
  files_.APP.Tag = 1;
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);
  // A Put that would duplicate the key fails and changes nothing.
  files_.APP.Application = "a.app";
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kDuplicateKey);
  // Changing the key moves the record in key order.
  files_.APP.Application = "0.APP";
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsForward(), (Names{"0.APP", "A.APP"}));
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  EXPECT_EQ(files_.APP.Tag, 1);

  files_.Apps.ForgetCurrent();
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Delete();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  EXPECT_EQ(files_.Apps.Records(), 2);
}

TEST_F(RecordFileTest, DuplicateTellsWhetherAnotherRecordHoldsTheBufferKey) {
  OpenEmptyApps();
  AddApp("C:\\X\\", "A.APP");
  AddApp("C:\\X\\", "B.APP");
  EXPECT_FALSE(files_.Apps.Duplicate()) << "the current record itself does not count";
  files_.APP.Application = "a.app";
  EXPECT_TRUE(files_.Apps.Duplicate());
  files_.Apps.ForgetCurrent();
  files_.APP.Application = "C.APP";
  EXPECT_FALSE(files_.Apps.Duplicate());
}

TEST_F(RecordFileTest, WatchedRecordChangedOrDeletedByAnotherConnectionFailsWith89) {
  OpenEmptyApps();
  AddApp("C:\\X\\", "A.APP");
  AddApp("C:\\X\\", "B.APP");
  files::Files other;  // another station on the same file
  other.Apps.Open();
  ASSERT_EQ(other.store.error.code, 0);

  files_.Apps.Watch();
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();  // A, watched
  other.Apps.Set(Order::Key);
  other.Apps.Next();
  other.APP.Tag = 1;  // a change that leaves every text as it was
  other.Apps.Put();
  ASSERT_EQ(other.store.error.code, 0);
  files_.APP.Application = "MINE.APP";
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kChangedByAnotherStation);
  files_.Apps.Delete();
  EXPECT_EQ(code(), store::kChangedByAnotherStation);

  // Read again under the watch: this station's own writes do not count as changes by others.
  files_.Apps.Watch();
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  EXPECT_EQ(files_.APP.Tag, 1);
  files_.APP.Application = "MINE.APP";
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);
  files_.APP.Tag = 0;
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);

  // Without the watch a write goes over whatever is stored.
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();  // B (before MINE), not watched
  ASSERT_EQ(files_.APP.Application.str(), "B.APP");
  other.Apps.Set(Order::Key);
  other.Apps.Next();
  other.Apps.Delete();
  ASSERT_EQ(other.store.error.code, 0);
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kRecordNotAvailable) << "a write to a record that is gone is no success";
}

// Another station deletes the last record and adds one: the new record never takes the old one's
// place, and a watched write to the deleted one says it is gone (33), not changed (89).
TEST_F(RecordFileTest, ADeletedRecordsPlaceIsNeverTakenAndWritesToItAre33) {
  OpenEmptyApps();
  for (const char* name : {"A.APP", "B.APP", "C.APP"}) AddApp("C:\\X\\", name);
  files::Files other;
  other.Apps.Open();
  ASSERT_EQ(other.store.error.code, 0);
  files_.Apps.Watch();
  files_.Apps.Set(Order::Key);
  files_.Apps.Previous();  // C, the highest id, watched
  const store::RecordPosition c = files_.Apps.Position(Order::File);
  other.Apps.Set(Order::Key);
  other.Apps.Previous();
  other.Apps.Delete();
  other.APP.Application = "D.APP";
  other.Apps.Add();
  ASSERT_EQ(other.store.error.code, 0);

  files_.APP.Tag = 1;
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Delete();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  // A failed re-read leaves nothing current that a write could reach instead.
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();  // A is current
  files_.Apps.Reread(c);
  EXPECT_EQ(code(), store::kRecordNotAvailable) << "C's place must not name D";
  files_.APP.Tag = 1;
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsForward(), (Names{"A.APP", "B.APP", "D.APP"}));
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  EXPECT_EQ(files_.APP.Tag, 0) << "A was not written";
}

// A file of the earlier layout (ids that SQLite may give again) opens with its records and ids, and
// from then on keeps ids for life.
TEST_F(RecordFileTest, AFileOfTheEarlierLayoutIsUpgradedInPlace) {
  OpenEmptyApps();
  for (const char* name : {"A.APP", "B.APP", "C.APP"}) AddApp("C:\\X\\", name);
  files_.Apps.Set(Order::Key);
  files_.Apps.Previous();
  const store::RecordPosition c = files_.Apps.Position(Order::File);
  files_.Apps.Close();
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open("APPS.db", &db), SQLITE_OK);
    std::string table, index;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT type, sql FROM sqlite_schema WHERE name IN ('Apps', 'DriveKey')", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW)
      (std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))) == "table" ? table : index) =
          reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    sqlite3_finalize(stmt);
    table.erase(table.find(" AUTOINCREMENT"), 14);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db,
                           ("BEGIN; ALTER TABLE Apps RENAME TO t; " + table +
                            "; INSERT INTO Apps SELECT * FROM t; DROP TABLE t; " + index + "; DELETE FROM sqlite_sequence; PRAGMA user_version=" +
                           std::to_string(files_.Apps.LegacyLayoutVersion()) + "; COMMIT").c_str(),
                           nullptr, nullptr, &error),
              SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  files_.Apps.Open();
  ASSERT_EQ(code(), 0) << files_.store.error.text;
  files_.Apps.Reread(c);
  EXPECT_EQ(files_.APP.Application.str(), "C.APP") << "the records keep their ids";
  files_.Apps.Delete();
  files_.APP.Application = "D.APP";
  files_.Apps.Add();
  files_.Apps.Reread(c);
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Close();
  files_.Apps.Open();
  EXPECT_EQ(code(), 0) << "the upgraded file is of the current layout";
}

// A file that another station has open is emptied for it too; the ids of the old records stay used;
// one that the other station holds locked is left as it is.
TEST_F(RecordFileTest, CreatingAFileAnotherStationHasOpenEmptiesItForEveryone) {
  OpenEmptyApps();
  AddApp("C:\\X\\", "A.APP");
  AddApp("C:\\X\\", "B.APP");
  const store::RecordPosition b = files_.Apps.Position(Order::File);
  files_.Apps.Close();
  files::Files other;
  other.Apps.Open();
  ASSERT_EQ(other.store.error.code, 0);
  files_.Apps.Create();
  EXPECT_EQ(code(), 0) << files_.store.error.text;
  EXPECT_EQ(other.Apps.Records(), 0);
  files_.Apps.Open();
  AddApp("C:\\X\\", "C.APP");
  files_.Apps.Reread(b);
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  files_.Apps.Close();

  other.Apps.BeginTransaction(1);
  files_.Apps.Create();
  EXPECT_EQ(code(), store::kFileLocked);
  other.Apps.Rollback();
  EXPECT_EQ(other.Apps.Records(), 1);
}

// Stations starting together in an empty folder each make the file when they find none: every one
// of them ends up in the same file, and nothing one of them added is lost.
TEST_F(RecordFileTest, StationsMakingTheFileTogetherAllUseOneFile) {
  const fs::path top = fs::current_path();
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    const fs::path folder = top / ("round" + std::to_string(round));
    fs::create_directory(folder);
    fs::current_path(folder);  // the stations start here
    std::vector<std::unique_ptr<ChildProcess>> stations;
    for (int s = 0; s < 3; ++s) {
      stations.push_back(ChildProcess::StartHelper({"create-add", "S" + std::to_string(s) + ".APP"}));
      ASSERT_NE(stations.back(), nullptr);
    }
    for (auto& station : stations) station->WriteLine("go");
    for (auto& station : stations) EXPECT_EQ(station->ReadLine(), "done 0");
    for (auto& station : stations) station->Wait();
    files::Files reader;
    reader.Apps.Open();
    EXPECT_EQ(reader.Apps.Records(), 3);
    reader.Apps.Close();
    fs::current_path(top);
  }
}

TEST_F(RecordFileTest, RollbackUndoesTheWriteAndKeepsTheGuardOfTheRecordAsItWas) {
  OpenEmptyApps();
  AddApp("C:\\X\\", "A.APP");
  files_.Apps.Watch();
  files_.Apps.Set(Order::Key);
  files_.Apps.Next();
  files_.Apps.BeginTransaction(2);
  ASSERT_EQ(code(), 0);
  files_.Apps.BeginTransaction(2);
  EXPECT_EQ(code(), store::kTransactionActive);
  files_.APP.Application = "B.APP";
  files_.Apps.Put();
  ASSERT_EQ(code(), 0);
  files_.Apps.Rollback();
  EXPECT_EQ(code(), 0);
  // The stored record is A again, and a second attempt is guarded against A as it was read,
  // not against the write that was undone.
  files_.APP.Application = "C.APP";
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);
  files_.Apps.Set(Order::Key);
  EXPECT_EQ(AppsForward(), (Names{"C.APP"}));
}

TEST_F(RecordFileTest, ViewReadsInKeyOrderBesideTheFileAndMakesItsRecordCurrent) {
  OpenEmptyApps();
  for (const char* name : {"B.APP", "A.APP", "C.APP", "D.APP"}) AddApp("C:\\X\\", name);
  store::View view(files_.Apps);
  view.Next();
  EXPECT_EQ(code(), store::kRecordNotAvailable) << "a view reads only once opened";
  view.Open();
  ASSERT_EQ(code(), 0);
  view.Set();
  view.Previous();
  EXPECT_EQ(files_.APP.Application.str(), "D.APP");
  view.Set();
  view.Next();
  view.Next();
  EXPECT_EQ(files_.APP.Application.str(), "B.APP");
  const store::RecordPosition b = view.Position();

  // The file's own sequence does not move the view.
  files_.Apps.Set(Order::File);
  files_.Apps.Next();
  view.Next();
  EXPECT_EQ(files_.APP.Application.str(), "C.APP");
  // The record the view read is the file's current record.
  files_.APP.Tag = 1;
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);

  view.Reset(b);
  view.Previous();
  EXPECT_EQ(files_.APP.Application.str(), "B.APP");
  view.Previous();
  EXPECT_EQ(files_.APP.Application.str(), "A.APP");
  view.Reread(b);
  EXPECT_EQ(files_.APP.Application.str(), "B.APP");

  // Seeking to a key value standing in the buffer.
  files_.APP.DriveNPath = "c:\\x\\";
  files_.APP.Application = "bz";
  view.SetToKeyValue();
  view.Next();
  EXPECT_EQ(files_.APP.Application.str(), "C.APP");
  view.Close();
  view.Next();
  EXPECT_EQ(code(), store::kRecordNotAvailable);
}

// The keys at chosen ranks of the key order, folded, in the key fields alone, each a value a seek
// finds its record by; a rank past the last record is 33 and gives no key at all.
TEST_F(RecordFileTest, KeysAtRanksComeInKeyOrderFoldedAndNothingPastTheEnd) {
  OpenEmptyApps();
  AddApp("c:\\b\\", "X.APP");
  AddApp("C:\\A\\", "y.app");
  AddApp("C:\\A\\", "X.APP");
  AddApp("D:\\", "Z.APP");
  files_.APP.Tag = 7;
  Names seen;
  auto take = [&] { seen.push_back(files_.APP.DriveNPath.str() + files_.APP.Application.str()); };
  files_.Apps.KeysAtRanks({0, 1, 1, 2}, take);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(seen, (Names{"C:\\A\\X.APP", "C:\\A\\Y.APP", "C:\\A\\Y.APP", "C:\\B\\X.APP"}));
  EXPECT_EQ(files_.APP.Tag, 7);
  files_.Apps.SetToKeyValue();  // at the last key given: the record as stored
  files_.Apps.Next();
  EXPECT_EQ(files_.APP.DriveNPath.str(), "c:\\b\\");
  seen.clear();
  files_.Apps.KeysAtRanks({0, 4}, take);
  EXPECT_EQ(code(), store::kRecordNotAvailable);
  EXPECT_TRUE(seen.empty());
}

// Type-ahead through the key's index: a folder or an application name that begins with the word,
// whichever comes first in key order after the key in the buffer, going round to the top; the
// found record becomes current, so its position is at hand.
TEST_F(RecordFileTest, FindKeyPrefixTakesTheNextFolderOrNameThatBeginsWithTheWord) {
  OpenEmptyApps();
  AddApp("C:\\ACCOUNTS\\", "LEDGER.APP");
  AddApp("C:\\ACCOUNTS\\", "payroll.APP");
  AddApp("C:\\HR\\", "PAYDAY.APP");
  AddApp("C:\\HR\\", "PAYROLL2.APP");
  AddApp("PAYROLL\\", "A.APP");
  AddApp("Z:\\", "PAYROLL3.APP");
  auto find = [&](const std::string& from_dir, const std::string& from_name, const char* word, bool after) {
    files_.APP.DriveNPath = from_dir;
    files_.APP.Application = from_name;
    files_.Apps.FindKeyPrefix(word, after);
    return code() == 0 ? files_.APP.DriveNPath.str() + files_.APP.Application.str() : std::to_string(code());
  };
  EXPECT_EQ(find("", "", "payroll", false), "C:\\ACCOUNTS\\payroll.APP");
  EXPECT_EQ(find("C:\\ACCOUNTS\\", "PAYROLL.APP", "Payroll", false), "C:\\ACCOUNTS\\payroll.APP");
  EXPECT_EQ(find("C:\\ACCOUNTS\\", "PAYROLL.APP", "PAYROLL", true), "C:\\HR\\PAYROLL2.APP");
  EXPECT_EQ(find("C:\\HR\\", "PAYROLL2.APP", "PAYROLL", true), "PAYROLL\\A.APP");  // by its folder
  EXPECT_EQ(find("PAYROLL\\", "A.APP", "PAYROLL", true), "Z:\\PAYROLL3.APP");
  EXPECT_EQ(find("Z:\\", "PAYROLL3.APP", "PAYROLL", true), "C:\\ACCOUNTS\\payroll.APP");  // round to the top
  EXPECT_EQ(find("C:\\HR\\", "PAYDAY.APP", "PAYD", true), "C:\\HR\\PAYDAY.APP");  // the only one, after going round
  AddApp("Z:\\", "payroll3.app");  // a duplicate key: 40, which the search that follows must not keep
  ASSERT_EQ(code(), store::kDuplicateKey);
  EXPECT_EQ(find("C:\\", "", "PAYROLX", false), std::to_string(store::kRecordNotAvailable));
  EXPECT_EQ(find("C:\\", "", "C:\\H", false), "C:\\HR\\PAYDAY.APP");
  files_.APP.Application = "MOVED.APP";  // the found record is current: a write reaches it
  files_.Apps.Put();
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(find("", "", "MOVED", false), "C:\\HR\\MOVED.APP");
  EXPECT_FALSE(files_.TempFile.FindsKeyPrefix());  // numbers: read record by record instead
}

// A count no further than the limit, exact up to it: a file whose ids are used densely and span far
// more than twice the limit is not counted at all; one whose ids are used sparsely (most records
// deleted, the rest bunched at one end) is counted.
TEST_F(RecordFileTest, RecordsUpToCountsExactlyUpToTheLimitAndOnlyALittleBeyond) {
  OpenEmptyApps();
  files_.Apps.BeginTransaction(2);
  for (int i = 0; i < 1000; ++i) AddApp("C:\\", "A" + std::to_string(i) + ".APP");
  files_.Apps.Commit();
  EXPECT_EQ(files_.Apps.RecordsUpTo(1000), 1000);
  EXPECT_GT(files_.Apps.RecordsUpTo(300), 300);
  EXPECT_GT(files_.Apps.RecordsUpTo(999), 999);
  files_.Apps.BeginTransaction(2);
  files_.Apps.Set(Order::File);
  for (int i = 0; i < 1000; ++i) {
    files_.Apps.Next();
    if (i >= 60 && i != 999) files_.Apps.Delete();
  }
  files_.Apps.Commit();
  EXPECT_EQ(files_.Apps.Records(), 61);
  EXPECT_EQ(files_.Apps.RecordsUpTo(100), 61);  // ids still span 1000
  EXPECT_EQ(files_.Apps.RecordsUpTo(60), 61);   // one past the limit: counted no further
  EXPECT_EQ(code(), 0);
}

// ---- Files that are not ours ---------------------------------------------------------------------

struct ForeignFile {
  const char* what;
  std::string bytes;  // written as APPS.db; empty: made by `make` instead
  void (*make)();
};

TEST_F(RecordFileTest, FilesThatAreNotOursAre47AndStayUntouched) {
  const std::vector<ForeignFile> cases = {
      {"an empty file", "", nullptr},
      {"a text file", "DriveNPath,Application\r\nC:\\X\\,A.APP\r\n", nullptr},
      {"another program's database", "", [] { ASSERT_EQ(MakeOtherDatabase("APPS.db"), ""); }},
      {"a record file of the other layout", "", [] {
         // Ours, but a TempFile saved under the name of Apps.
         store::Store other_store;
         store::TempFileRecord buffer;
         store::RecordFile temp(other_store, store::kTempFileLayout, &buffer);
         temp.Create();
         fs::rename("TEMPFILE.db", "APPS.db");
       }},
  };
  for (const ForeignFile& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove("APPS.db");
    if (c.make != nullptr) c.make();
    else std::ofstream("APPS.db", std::ios::binary) << c.bytes;
    const std::string before = FileBytes("APPS.db");
    files_.Apps.Open();
    EXPECT_EQ(code(), store::kInvalidFile);
    EXPECT_EQ(files_.store.error.text, "File Does Not Match Record Layout");
    EXPECT_FALSE(files_.Apps.IsOpen());
    EXPECT_EQ(FileBytes("APPS.db"), before);
    EXPECT_FALSE(fs::exists("APPS.db-journal"));
    // Build refuses to touch it as well.
    files_.Apps.Build();
    EXPECT_EQ(code(), store::kInvalidFile);
    EXPECT_EQ(FileBytes("APPS.db"), before);
  }
}

// ---- Damaged keys --------------------------------------------------------------------------------

struct KeyDamage {
  const char* what;
  std::string (*damage)(const std::string&);
  int expected_records;
};

TEST_F(RecordFileTest, DamagedKeysAre46AndBuildRepairsThemKeepingEveryRecord) {
  const std::vector<KeyDamage> cases = {
      {"rows missing from the index", [](const std::string& p) { return DamageIndexMissingRows(p, 3); }, 302},
      {"index in the wrong order", [](const std::string& p) { return DamageIndexOrder(p); }, 299},
      {"garbage index page", [](const std::string& p) { return DamageIndexPage(p); }, 299},
      // The records are intact in these two: the rebuild puts the index and the journal back.
      {"index dropped", [](const std::string& p) { return ExecOn(p, "DROP INDEX DriveKey"); }, 299},
      {"journal switched to WAL", [](const std::string& p) { return ExecOn(p, "PRAGMA journal_mode=WAL"); }, 299},
  };
  for (const KeyDamage& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove("APPS.db");
    MakeApps(300);
    // The newest record is deleted first: no record may take its place after the rebuild.
    files_.Apps.Open();
    files_.Apps.Set(Order::File);
    files_.Apps.Previous();
    const store::RecordPosition deleted = files_.Apps.Position(Order::File);
    files_.Apps.Delete();
    files_.Apps.Close();
    ASSERT_EQ(c.damage("APPS.db"), "");
    const std::string damaged = FileBytes("APPS.db");
    files_.Apps.Open();
    EXPECT_EQ(code(), store::kInvalidKeyFile);
    EXPECT_FALSE(files_.Apps.IsOpen());
    EXPECT_EQ(FileBytes("APPS.db"), damaged) << "the check writes nothing";

    files_.Apps.Build();
    ASSERT_EQ(code(), 0) << files_.store.error.text << " " << files_.store.error.file_message;
    files_.Apps.Open();
    ASSERT_EQ(code(), 0);
    EXPECT_EQ(files_.Apps.Records(), c.expected_records);
    // Every record comes back through the key, in order.
    files_.Apps.Set(Order::Key);
    std::string last;
    int read = 0;
    for (files_.Apps.Next(); code() == 0; files_.Apps.Next(), ++read) {
      const std::string key = files_.APP.DriveNPath.str() + "|" + files_.APP.Application.str();
      EXPECT_LT(last, key);
      last = key;
    }
    EXPECT_EQ(read, c.expected_records);
    AddApp("C:\\NEW\\", "NEW.APP");
    files_.Apps.Reread(deleted);
    EXPECT_EQ(code(), store::kRecordNotAvailable) << "the new record took the deleted one's place";
    files_.Apps.Close();
  }
}

TEST_F(RecordFileTest, UnreadableRecordsAre46AndBuildCannotMendThem) {
  MakeApps(300);
  ASSERT_EQ(DamageTablePage("APPS.db"), "");
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kInvalidKeyFile);
  files_.Apps.Build();
  EXPECT_EQ(code(), store::kInvalidKeyFile);
  EXPECT_FALSE(files_.Apps.IsOpen());
}

TEST_F(RecordFileTest, ABigFileWithOneMisplacedRegionOrNewRecordsMissingFromItsKeyIs46) {
  // More records than the check looks up one by one: it samples some of them, and the newest.
  MakeApps(3000);
  ASSERT_EQ(DamageIndexOrder("APPS.db"), "");
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kInvalidKeyFile);
  MakeApps(3000);
  ASSERT_EQ(DamageIndexMissingRows("APPS.db", 2), "");
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kInvalidKeyFile);
}

// Another program's values: a blob in the key, numbers beyond a SHORT, directories longer than 80.
TEST_F(RecordFileTest, ValuesOfTheWrongKindOrSizeReadOnceEachAndAreNeverWrittenBackCut) {
  MakeApps(2);  // APP0.APP and APP1.APP, the program's own
  const std::string huge = "C:\\" + std::string(297, 'H') + "\\";
  auto row = [](const std::string& dir, const std::string& name, const std::string& tag) {
    return "INSERT INTO Apps(chg, DriveNPath, Application, Tag, DriveNPath_fold, Application_fold) VALUES(0, " + dir +
           ", '" + name + "', " + tag + ", " + dir + ", '" + name + "');";
  };
  ASSERT_EQ(ExecOn("APPS.db", row("X'433A5C42'", "BLOB.APP", "65537") + row("'C:\\W\\'", "WIDE.APP", "4294967297") +
                                  row("'C:\\N\\'", "NEG.APP", "-65535") + row("'" + huge + "'", "HUGE.APP", "0")),
            "");
  files_.Apps.Open();
  ASSERT_EQ(code(), 0);
  files_.Apps.Set(Order::Key);
  store::RecordPosition huge_position;
  int tagged = 0;
  for (const char* way : {"forward", "backward"}) {
    SCOPED_TRACE(way);
    std::vector<std::string> seen;
    for (int guard = 0; guard < 20; ++guard) {
      way[0] == 'f' ? files_.Apps.Next() : files_.Apps.Previous();
      if (code() != 0) break;
      seen.push_back(files_.APP.Application.str());
      if (seen.back().rfind("APP", 0) != 0) tagged += files_.APP.Tag == 1 ? 1 : 0;
      if (seen.back() == "HUGE.APP") huge_position = files_.Apps.Position(Order::Key);
    }
    EXPECT_EQ(code(), store::kRecordNotAvailable);
    EXPECT_EQ(seen.size(), 6u) << ::testing::PrintToString(seen);
  }
  EXPECT_EQ(tagged, 0) << "65537, 2^32+1 and -65535 are no tag";

  // The 300-byte directory: its position finds it again, and a write that would cut it is refused.
  files_.Apps.Reset(Order::Key, huge_position);
  files_.Apps.Next();
  ASSERT_EQ(files_.APP.Application.str(), "HUGE.APP");
  files_.Apps.Reread(huge_position);
  files_.APP.Tag = 1;
  files_.Apps.Put();
  EXPECT_EQ(code(), store::kValueTooLong);
  EXPECT_EQ(files_.store.error.text, "Stored Value Too Long For Its Field");
  files_.APP.DriveNPath = "C:\\SHORT\\";
  files_.Apps.Put();
  EXPECT_EQ(code(), 0) << "a directory the user typed anew is written";
}

// ---- Create --------------------------------------------------------------------------------------

TEST_F(RecordFileTest, CreateReplacesTheFileAndRefusesAnOpenOne) {
  MakeApps(5);
  files_.Apps.Open();
  files_.Apps.Create();
  EXPECT_EQ(code(), store::kFileAlreadyOpen);
  EXPECT_EQ(files_.Apps.Records(), 5);
  files_.Apps.Close();
  files_.Apps.Create();
  ASSERT_EQ(code(), 0);
  files_.Apps.Open();
  EXPECT_EQ(files_.Apps.Records(), 0);
  EXPECT_FALSE(fs::exists("APPS.db-new"));
}

// ---- The file system says no ---------------------------------------------------------------------

TEST_F(RecordFileTest, ADirectoryInThePlaceOfTheFileIsReportedWithTheSystemsMessage) {
  fs::create_directory("APPS.db");
  files_.Apps.Open();
  const store::StoreErrorState& e = files_.store.error;
#ifdef _WIN32
  EXPECT_EQ(e.code, store::kAccessDenied);
  EXPECT_EQ(e.text, "Access Denied");
  EXPECT_EQ(e.file_code, "5");
#else
  EXPECT_EQ(e.code, store::kFileSystemError);
  EXPECT_EQ(e.text, "File System Error");
  EXPECT_EQ(e.file_code, "21");
  EXPECT_EQ(e.file_message, "Is a directory");
#endif
  EXPECT_FALSE(e.file_message.empty());
  // Create cannot replace it either.
  files_.Apps.Create();
  EXPECT_NE(code(), 0);
  EXPECT_TRUE(fs::is_directory("APPS.db"));
  EXPECT_FALSE(fs::exists("APPS.db-new"));
}

#ifndef _WIN32
// (Under wine, run as root, a read-only file opens for writing; there the directory above shows
// the refusal, and the test below the Windows way of locking a whole file.)
TEST_F(RecordFileTest, AFileTheUserMayNotWriteIsAccessDeniedWithTheSystemsMessage) {
  MakeApps(1);
  // Read-only for everybody; the helper opens it as an ordinary user.
  fs::permissions("APPS.db", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  auto helper = ChildProcess::StartHelper({"open"});
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->ReadLine(), "5|Access Denied|13|Permission denied");
  EXPECT_EQ(helper->Wait(), 0);
}
#else
TEST_F(RecordFileTest, AFileAnotherProcessOpenedWithoutSharingIsLocked) {
  MakeApps(1);
  auto holder = ChildProcess::StartHelper({"hold-unshared", "APPS.db"});
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(holder->ReadLine(), "ready");
  VirtualWaitClock clock;
  files_.store.timing.clock = &clock;
  files_.Apps.Open();
  EXPECT_EQ(code(), store::kFileLocked);
  EXPECT_EQ(clock.waits, 1) << "it waited for the file like for a lock";
  EXPECT_EQ(files_.store.error.file_code, "32") << "the sharing violation";
  EXPECT_FALSE(files_.store.error.file_message.empty());
  holder->WriteLine("release");
  EXPECT_EQ(holder->ReadLine(), "released");
  files_.Apps.Open();
  EXPECT_EQ(code(), 0);
}
#endif

#ifndef _WIN32
TEST_F(RecordFileTest, AFullDiskIsAFileSystemErrorWithTheSystemsReason) {
  fs::create_directory("small");
  if (::mount("tmpfs", "small", "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "no tmpfs can be mounted here";
  fs::current_path("small");
  OpenEmptyApps();
  for (int i = 0; i < 2000 && code() == 0; ++i) AddApp("C:\\" + std::string(70, 'D') + "\\", std::to_string(i));
  const store::StoreErrorState full = files_.store.error;
  files_.Apps.Close();
  fs::current_path("..");
  ::umount("small");
  EXPECT_EQ(full.code, store::kFileSystemError);
  EXPECT_EQ(full.file_code, std::to_string(ENOSPC));
  EXPECT_EQ(full.file_message, "No space left on device");
}
#endif

TEST_F(RecordFileTest, RemovePlainFileDeletesItAndReports2WhenThereIsNone) {
  std::ofstream("OUT.EXE") << "x";
  store::RemovePlainFile(files_.store, "OUT.EXE");
  EXPECT_EQ(code(), 0);
  EXPECT_FALSE(fs::exists("OUT.EXE"));
  store::RemovePlainFile(files_.store, "OUT.EXE");
  EXPECT_EQ(code(), store::kFileNotFound);
}

}  // namespace
}  // namespace store_test
