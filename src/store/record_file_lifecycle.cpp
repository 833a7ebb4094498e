// A record file's life on disk: the open with its checks (stamps, schema, a sample of the key),
// the upgrade of files of the earlier layout, create (emptied in place or built beside and moved
// into place), the key rebuild with its mending of the index and the journal, and removal.
#include "store/record_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>

#include "platform/file_access.h"
#include "store/sqlite_statement.h"

namespace store {

namespace fa = platform::file_access;

namespace {

// The checks of a file set their own code (46, 47) and return this instead of a SQLite result.
constexpr int kRefused = -1;

}  // namespace

void RecordFile::Open() {
  if (db_ != nullptr) {
    Fail(kFileAlreadyOpen);
    return;
  }
  const int recover = recover_wait_ms_;
  recover_wait_ms_ = 0;
  lock_wait_ms_ = std::max(store_.timing.ordinary_wait_ms, recover);
  // The platform says best why a file cannot be opened (missing, access denied, a directory...).
  // A file another program holds without sharing (Windows) is waited for like a database lock.
  int os_error = fa::ProbeReadWrite(DiskName());
  for (int count = 0; fa::KindOf(os_error) == fa::ErrorKind::Locked && OnBusy(count) != 0; ++count)
    os_error = fa::ProbeReadWrite(DiskName());
  if (os_error != 0) {
    SetPlatformError(store_.error, os_error);
    lock_wait_ms_ = 0;
    return;
  }
  int rc = OpenConnection(DiskName());
  if (rc == SQLITE_OK) rc = UpgradeLegacyLayout();
  if (rc == SQLITE_OK) rc = CheckStamps();
  if (rc == SQLITE_OK) rc = CheckKey();
  if (rc != SQLITE_OK) {
    Exec("ROLLBACK");
    if (rc != kRefused) FailSqlite(rc);  // kRefused: the check set its own code
    CloseConnection();
    lock_wait_ms_ = 0;
    return;
  }
  lock_wait_ms_ = store_.timing.ordinary_wait_ms;
  Succeed();
}

// A file of the layout before ids were kept for life is rebuilt in place, in one transaction: the
// same records with the same ids, the sequence starting after the highest of them. Files of the
// current layout, and files that are not ours (CheckStamps refuses them), are left alone.
int RecordFile::UpgradeLegacyLayout() {
  std::int64_t application_id = 0, user_version = 0;
  for (auto [sql, value] : {std::pair{"PRAGMA application_id", &application_id}, {"PRAGMA user_version", &user_version}}) {
    OneOff q(db_, sql);
    if (q.rc() != SQLITE_OK) return q.rc();
    int step = sqlite3_step(q.get());
    if (step != SQLITE_ROW) return step == SQLITE_DONE ? SQLITE_OK : step;
    *value = sqlite3_column_int64(q.get(), 0);
  }
  if (application_id != kApplicationId || user_version != sql_.legacy_version) return SQLITE_OK;
  const std::string table = layout_.label;
  const std::string script = "BEGIN IMMEDIATE; ALTER TABLE " + table + " RENAME TO " + table + "_legacy; " +
                             sql_.create_table + "; INSERT INTO " + table + " SELECT * FROM " + table +
                             "_legacy; DROP TABLE " + table + "_legacy; " + sql_.create_index +
                             "; PRAGMA user_version=" + std::to_string(sql_.layout_version) + "; COMMIT;";
  int rc = Exec(script.c_str());
  if (rc != SQLITE_OK) Exec("ROLLBACK");
  return rc;
}

// Is the file ours, of this layout? Runs inside a read transaction that CheckKey continues.
// Returns kRefused after setting its own code: 47 for a database that is not ours (other stamps,
// another table, other objects); 46 for our table with its index missing or altered, or with its
// journal switched to WAL by some tool: the records are intact, and the key rebuild mends those.
int RecordFile::CheckStamps() {
  int rc = Exec("BEGIN");
  if (rc != SQLITE_OK) return rc;
  auto read_int = [&](const char* sql, std::int64_t& value) {
    OneOff q(db_, sql);
    if (q.rc() != SQLITE_OK) return q.rc();
    int step = sqlite3_step(q.get());
    if (step == SQLITE_ROW) {
      value = sqlite3_column_int64(q.get(), 0);
      return SQLITE_OK;
    }
    return step == SQLITE_DONE ? SQLITE_NOTADB : step;
  };
  std::int64_t application_id = 0, user_version = 0;
  if ((rc = read_int("PRAGMA application_id", application_id)) != SQLITE_OK) return rc;
  if ((rc = read_int("PRAGMA user_version", user_version)) != SQLITE_OK) return rc;
  if (application_id != kApplicationId || user_version != sql_.layout_version) {
    Fail(kInvalidFile);
    return kRefused;
  }
  bool table = false, foreign = false, index = false, other_index = false;
  OneOff schema(db_, "SELECT type, name, tbl_name, sql FROM sqlite_schema");
  if (schema.rc() != SQLITE_OK) return schema.rc();
  while ((rc = sqlite3_step(schema.get())) == SQLITE_ROW) {
    auto column = [&](int c) {
      const unsigned char* v = sqlite3_column_text(schema.get(), c);
      return std::string(v != nullptr ? reinterpret_cast<const char*>(v) : "");
    };
    const std::string type = column(0), name = column(1), owner = column(2), sql = column(3);
    if (type == "table" && name == "sqlite_sequence") continue;  // SQLite's table of the id sequence
    if (type == "table" && name == layout_.label && sql == sql_.create_table) table = true;
    else if (type == "index" && owner == layout_.label && name == layout_.key.name && sql == sql_.create_index)
      index = true;
    else if (type == "index" && owner == layout_.label) other_index = true;
    else foreign = true;
  }
  if (rc != SQLITE_DONE) return rc;
  if (foreign || !table) {
    Fail(kInvalidFile);
    return kRefused;
  }
  // The store shares its files through the rollback journal only (WAL needs memory shared on one host).
  OneOff mode(db_, "PRAGMA journal_mode");
  if (mode.rc() != SQLITE_OK) return mode.rc();
  if ((rc = sqlite3_step(mode.get())) != SQLITE_ROW) return rc;
  const unsigned char* journal = sqlite3_column_text(mode.get(), 0);
  const bool wal = journal != nullptr && std::strcmp(reinterpret_cast<const char*>(journal), "wal") == 0;
  if (wal || !index || other_index) {
    Fail(kInvalidKeyFile);
    return kRefused;
  }
  return SQLITE_OK;
}

// Puts the key back as the layout has it, on the open connection outside any transaction: the
// rollback journal again, every other index of the table dropped, the key's index rebuilt from the
// records (or made, when it was dropped).
int RecordFile::MendSchema() {
  int rc = Exec("PRAGMA journal_mode=DELETE");
  if (rc != SQLITE_OK) return rc;
  if ((rc = Exec("BEGIN IMMEDIATE")) != SQLITE_OK) return rc;
  std::vector<std::string> drop;
  bool ours = false;
  {
    OneOff indexes(db_, "SELECT name, sql FROM sqlite_schema WHERE type='index' AND tbl_name=?1 AND sql IS NOT NULL");
    rc = indexes.rc();
    if (rc == SQLITE_OK) sqlite3_bind_text(indexes.get(), 1, layout_.label, -1, SQLITE_STATIC);
    while (rc == SQLITE_OK && (rc = sqlite3_step(indexes.get())) == SQLITE_ROW) {
      const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(indexes.get(), 0));
      const std::string sql = reinterpret_cast<const char*>(sqlite3_column_text(indexes.get(), 1));
      if (name == layout_.key.name && sql == sql_.create_index) ours = true;
      else drop.push_back(name);
      rc = SQLITE_OK;
    }
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  for (const std::string& name : drop) {
    if (rc != SQLITE_OK) break;
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    rc = Exec(("DROP INDEX " + quoted + "\"").c_str());
  }
  if (rc == SQLITE_OK) rc = Exec(ours ? (std::string("REINDEX ") + layout_.key.name).c_str() : sql_.create_index.c_str());
  if (rc == SQLITE_OK) rc = Exec("COMMIT");
  if (rc != SQLITE_OK) Exec("ROLLBACK");
  return rc;
}

// Is the key sound? Records must be found by a search through the index (an index in the wrong
// order, or missing entries, fails that) and the pages read on the way must be readable. A file of
// up to 100 records has every record looked up; a larger one 32 spread evenly over it and its 8
// newest, so the cost hardly grows with the file (bench_store: 0.53 ms to open 1,000 records,
// 0.59 ms for 1,000,000, where counting every index entry took 40 ms and more). Ends the read
// transaction. Returns kRefused after setting 46 itself.
int RecordFile::CheckKey() {
  const std::string table = layout_.label;
  auto count = [&](const std::string& sql, std::int64_t& value) {
    OneOff q(db_, sql);
    if (q.rc() != SQLITE_OK) return q.rc();
    int step = sqlite3_step(q.get());
    if (step != SQLITE_ROW) return step;
    value = sqlite3_column_int64(q.get(), 0);
    return SQLITE_OK;
  };
  // A file up to this size has every record looked up; a larger one kSamples spread over it.
  constexpr std::int64_t kWholeFile = 100;
  constexpr std::int64_t kSamples = 32;
  // Counted only as far as it decides between looking every record up and sampling: the open costs
  // the same for a file of a thousand records and one of a million.
  std::int64_t rows = 0;
  int rc = count("SELECT count(*) FROM (SELECT 1 FROM " + table + " NOT INDEXED LIMIT " +
                     std::to_string(kWholeFile + 1) + ")",
                 rows);
  if (rc != SQLITE_OK) return rc;

  OneOff lookup(db_, sql_.check_lookup);
  if (lookup.rc() != SQLITE_OK) return lookup.rc();
  const int parts = static_cast<int>(sql_.key_columns.size());
  bool found_all = true;
  auto look_up = [&](sqlite3_stmt* row) {
    for (int p = 0; p < parts; ++p) sqlite3_bind_value(lookup.get(), p + 1, sqlite3_column_value(row, p + 1));
    sqlite3_bind_int64(lookup.get(), parts + 1, sqlite3_column_int64(row, 0));
    int step = sqlite3_step(lookup.get());
    sqlite3_reset(lookup.get());
    if (step == SQLITE_DONE) found_all = false;
    return step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
  };
  if (rows <= kWholeFile) {
    OneOff all(db_, sql_.check_rows);
    if (all.rc() != SQLITE_OK) return all.rc();
    while ((rc = sqlite3_step(all.get())) == SQLITE_ROW && found_all)
      if ((rc = look_up(all.get())) != SQLITE_OK) return rc;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
  } else {
    std::int64_t low = 0, high = 0;
    if ((rc = count("SELECT min(id) FROM " + table, low)) != SQLITE_OK) return rc;
    if ((rc = count("SELECT max(id) FROM " + table, high)) != SQLITE_OK) return rc;
    OneOff at(db_, sql_.check_rows + " WHERE id>=?1 ORDER BY id LIMIT 1");
    if (at.rc() != SQLITE_OK) return at.rc();
    for (std::int64_t i = 0; i < kSamples && found_all; ++i) {
      const double share = static_cast<double>(i) / static_cast<double>(kSamples - 1);
      sqlite3_bind_int64(at.get(), 1, low + static_cast<std::int64_t>(share * static_cast<double>(high - low)));
      rc = sqlite3_step(at.get());
      if (rc == SQLITE_ROW) rc = look_up(at.get());
      else if (rc == SQLITE_DONE) rc = SQLITE_OK;
      sqlite3_reset(at.get());
      if (rc != SQLITE_OK) return rc;
    }
    // Records written behind the index's back (a tool, a crash of another writer) are the newest:
    // the last few by id are all looked up.
    OneOff newest(db_, sql_.check_rows + " ORDER BY id DESC LIMIT 8");
    if (newest.rc() != SQLITE_OK) return newest.rc();
    while ((rc = sqlite3_step(newest.get())) == SQLITE_ROW && found_all)
      if ((rc = look_up(newest.get())) != SQLITE_OK) return rc;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
  }
  if (!found_all) {
    Fail(kInvalidKeyFile);
    return kRefused;
  }
  return Exec("COMMIT");
}

void RecordFile::Create() {
  if (db_ != nullptr) {
    Fail(kFileAlreadyOpen);
    return;
  }
  const std::string target = DiskName();
  const int probe = fa::ProbeReadWrite(target);
  if (fa::KindOf(probe) == fa::ErrorKind::NotFound) return MakeMissing(false);
  if (probe == 0) {
    // A file of ours is emptied where it is, in one transaction: every station that has it open
    // sees it empty at once, and record ids stay used. One that another station holds locked is
    // not replaced behind its back: 32.
    const int rc = EmptyInPlace();
    if (rc == SQLITE_OK) return Succeed();
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) return FailSqlite(rc);
  }
  // A file that is not ours (or is damaged) is replaced by one built beside. A journal left by the
  // old file would be taken for the new file's and rolled back into it.
  std::string fresh;
  if (!BuildBeside(fresh)) return;
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    if (int e = fa::DeleteIfPresent(target + suffix); e != 0) {
      fa::DeleteIfPresent(fresh);
      return SetFileSystemFailure(store_.error, e);
    }
  }
  if (int e = fa::ReplaceWith(fresh, target); e != 0) {
    fa::DeleteIfPresent(fresh);
    return SetFileSystemFailure(store_.error, e);
  }
  Succeed();
}

void RecordFile::CreateMissing() {
  if (db_ != nullptr) {
    Fail(kFileAlreadyOpen);
    return;
  }
  const int probe = fa::ProbeReadWrite(DiskName());
  if (fa::KindOf(probe) == fa::ErrorKind::NotFound) return MakeMissing(true);
  Succeed();  // there is a file of that name now; opening it tells what it is
}

// No file of the name: a new one takes it, unless another station's takes it first. That one is
// as new as this one would be: `keep_other` keeps it as it is; otherwise it is emptied in place.
void RecordFile::MakeMissing(bool keep_other) {
  const std::string target = DiskName();
  // A journal without its file is left from a file deleted in the middle of a write; it would be
  // rolled back into the new file. (Removed while no file of the name exists: a journal of a live
  // file cannot be among them.)
  if (int e = fa::DeleteIfPresent(target + "-journal"); e != 0) return SetFileSystemFailure(store_.error, e);
  std::string fresh;
  if (!BuildBeside(fresh)) return;
  int e = fa::MoveNoReplace(fresh, target);
  if (e == 0) return Succeed();
  fa::DeleteIfPresent(fresh);
  if (!fa::IsAlreadyExists(e)) return SetFileSystemFailure(store_.error, e);
  if (keep_other) return Succeed();
  const int rc = EmptyInPlace();
  if (rc == SQLITE_OK) return Succeed();
  FailSqlite(rc);
}

// Builds an empty file of this layout under a name of this call's own beside DiskName(), so that
// two stations creating the file at once never touch each other's half-built file. False (the
// error set, nothing left behind) when that fails.
bool RecordFile::BuildBeside(std::string& fresh) {
  fresh = DiskName() + "-new-" + std::to_string(std::random_device{}());
  if (int e = fa::DeleteIfPresent(fresh); e != 0) {
    SetFileSystemFailure(store_.error, e);
    return false;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(fresh.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    const std::string script = "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; BEGIN; PRAGMA application_id=" +
                               std::to_string(kApplicationId) + "; PRAGMA user_version=" +
                               std::to_string(sql_.layout_version) + "; " + sql_.create_table + "; " +
                               sql_.create_index + "; COMMIT;";
    rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    // The engine retries a file it could not make as an existing one, and reports that retry's
    // "not found"; the folder says why it refused the new file (access denied, a read-only disk).
    const int refused = (rc & 0xFF) == SQLITE_CANTOPEN ? fa::ProbeCreate(fresh + "-probe") : 0;
    if (refused != 0) {
      sqlite3_close_v2(db);
      fa::DeleteIfPresent(fresh);
      SetFileSystemFailure(store_.error, refused);
      return false;
    }
    db_ = db;
    FailSqlite(rc);
    db_ = nullptr;
    sqlite3_close_v2(db);
    fa::DeleteIfPresent(fresh);
    fa::DeleteIfPresent(fresh + "-journal");
    return false;
  }
  sqlite3_close_v2(db);
  return true;
}

// Empties the existing file DiskName() if it is ours and sound enough to delete its records.
int RecordFile::EmptyInPlace() {
  lock_wait_ms_ = store_.timing.ordinary_wait_ms;
  int rc = OpenConnection(DiskName());
  if (rc == SQLITE_OK) rc = UpgradeLegacyLayout();
  if (rc == SQLITE_OK) {
    rc = CheckStamps();
    Exec("ROLLBACK");  // ends the read transaction the check began
  }
  if (rc == SQLITE_OK) {
    const std::string script = std::string("BEGIN IMMEDIATE; DELETE FROM ") + layout_.label + "; COMMIT;";
    rc = Exec(script.c_str());
    if (rc != SQLITE_OK) Exec("ROLLBACK");
  }
  if (rc == kRefused) rc = SQLITE_NOTADB;  // not ours: replaced instead
  CloseConnection();
  lock_wait_ms_ = 0;
  return rc;
}

void RecordFile::Build() {
  if (store_.transaction != nullptr) {
    Fail(kTransactionActive);
    return;
  }
  const bool was_open = db_ != nullptr;
  if (!was_open) {
    if (int os_error = fa::ProbeReadWrite(DiskName()); os_error != 0) {
      SetPlatformError(store_.error, os_error);
      return;
    }
    lock_wait_ms_ = store_.timing.ordinary_wait_ms;
    int rc = OpenConnection(DiskName());
    if (rc == SQLITE_OK) rc = CheckStamps();
    Exec("ROLLBACK");  // ends the read transaction the check began
    // 46 from the check (a dropped or altered index, a WAL journal) is what the rebuild mends.
    if (rc == kRefused && store_.error.code == kInvalidKeyFile) rc = SQLITE_OK;
    if (rc != SQLITE_OK) {
      if (rc != kRefused) FailSqlite(rc);
      CloseConnection();
      return;
    }
  }
  int rc = MendSchema();
  // An index with unreadable pages cannot even be emptied: build the file anew instead.
  if ((rc & 0xFF) == SQLITE_CORRUPT) rc = RebuildByCopy();
  if (rc == SQLITE_OK) Succeed();
  else FailSqlite(rc);
  if (!was_open) {
    const StoreErrorState outcome = store_.error;
    CloseConnection();
    store_.error = outcome;
  }
}

// Copies the records, read in table order without the index, into a fresh temporary database,
// indexes them there and writes that database back over the file (SQLite's backup, which takes the
// file's write lock and journals the change like any commit).
int RecordFile::RebuildByCopy() {
  sqlite3* fresh = nullptr;
  int rc = sqlite3_open_v2("", &fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(fresh, 1);
    const std::string script = "BEGIN; PRAGMA application_id=" + std::to_string(kApplicationId) +
                               "; PRAGMA user_version=" + std::to_string(sql_.layout_version) + "; " +
                               sql_.create_table + "; COMMIT;";
    rc = sqlite3_exec(fresh, script.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    OneOff attach(fresh, "ATTACH DATABASE ?1 AS damaged");
    rc = attach.rc();
    if (rc == SQLITE_OK) {
      sqlite3_bind_text(attach.get(), 1, sqlite3_db_filename(db_, "main"), -1, SQLITE_TRANSIENT);
      rc = sqlite3_step(attach.get());
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
  }
  if (rc == SQLITE_OK) {
    const std::string table = layout_.label;
    const std::string copy = "INSERT INTO main." + table + " SELECT * FROM damaged." + table + " NOT INDEXED";
    rc = sqlite3_exec(fresh, copy.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      // Ids of records deleted before the damage stay used, as far as the old sequence can be read.
      const std::string sequence = "INSERT OR IGNORE INTO main.sqlite_sequence(name, seq) VALUES('" + table +
                                   "', 0); UPDATE main.sqlite_sequence SET seq=max(seq, (SELECT seq FROM "
                                   "damaged.sqlite_sequence WHERE name='" + table + "')) WHERE name='" + table + "'";
      sqlite3_exec(fresh, sequence.c_str(), nullptr, nullptr, nullptr);  // best effort
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(fresh, "DETACH DATABASE damaged", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(fresh, sql_.create_index.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) {
    sqlite3_backup* backup = sqlite3_backup_init(db_, "main", fresh, "main");
    if (backup == nullptr) {
      rc = sqlite3_errcode(db_);
    } else {
      rc = sqlite3_backup_step(backup, -1);
      int finish = sqlite3_backup_finish(backup);
      rc = rc == SQLITE_DONE ? finish : rc;
    }
  }
  if (rc != SQLITE_OK && fresh != nullptr && (rc & 0xFF) != SQLITE_BUSY) {
    // Report the copy's own failure (the damaged records), not a generic one.
    if (sqlite3_errcode(fresh) != SQLITE_OK) rc = sqlite3_extended_errcode(fresh);
  }
  sqlite3_close_v2(fresh);
  return rc;
}


void RecordFile::Remove() {
  if (db_ != nullptr) {
    Fail(kFileAlreadyOpen);
    return;
  }
  RemovePlainFile(store_, DiskName());
  if (store_.error.code == kNoError) fa::DeleteIfPresent(DiskName() + "-journal");
}

void RemovePlainFile(Store& store, const std::string& name) {
  if (int e = fa::ProbeReadWrite(name); fa::KindOf(e) == fa::ErrorKind::NotFound) {
    SetPlatformError(store.error, e);
    return;
  }
  SetPlatformError(store.error, fa::DeleteIfPresent(name));
}

}  // namespace store
