// The SQLite implementation of a record file: schema derived from the layout table, stateless
// statements (each reset as soon as its call ends, so no lock outlives a call), the rollback journal
// with synchronous FULL, and a change counter per record for the change guard.
#include "store/record_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <utility>
#include <limits>
#include <thread>

#include "platform/code_page.h"
#include "platform/file_access.h"

namespace store {

namespace fa = platform::file_access;

namespace {

// Stamps that tell our files from other SQLite databases: the application id, and a hash of the
// layout's schema text as the user version.
constexpr std::int32_t kApplicationId = 0x4E6A5231;  // "NjR1"

// The checks of a file set their own code (46, 47) and return this instead of a SQLite result.
constexpr int kRefused = -1;

constexpr std::int64_t kLowestId = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighestId = std::numeric_limits<std::int64_t>::max();

// Keys are compared on folded text (the code page's upper-case fold) with plain byte order, so any
// SQLite tool reads the files.

std::string_view TrimmedBytes(const unsigned char* data, std::size_t size) {
  while (size > 0 && data[size - 1] == ' ') --size;
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

std::int64_t NowMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int32_t HashText(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return static_cast<std::int32_t>(hash & 0x7FFFFFFF);
}

// Resets a cached statement when the call that used it ends, whatever way it ends.
class Use {
 public:
  explicit Use(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Use() {
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

// A one-off statement, finalized at the end of its scope.
class OneOff {
 public:
  OneOff(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
  ~OneOff() { sqlite3_finalize(stmt_); }
  OneOff(const OneOff&) = delete;
  OneOff& operator=(const OneOff&) = delete;
  int rc() const { return rc_; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint64_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[(value >> (4 * i)) & 0xF]);
}

bool ReadHex(std::string_view text, std::size_t& at, int digits, std::uint64_t& value) {
  if (at + digits > text.size()) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    char c = text[at + i];
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) return false;
    value = (value << 4) | static_cast<std::uint64_t>(v);
  }
  at += digits;
  return true;
}

}  // namespace

// The statements of a file, prepared once on first use and reset after every use.
enum RecordFile::StatementId : int {
  kFirst,        // first record in key order
  kLast,         // last record in key order
  kEqualAfter,   // same key value, larger id
  kKeyAfter,     // larger key value
  kEqualBefore,  // same key value, smaller id
  kKeyBefore,    // smaller key value
  kFileAfter,    // file order: larger id
  kFileBefore,   // file order: smaller id
  kById,
  kCount,
  kInsert,
  kUpdate,
  kUpdateWatched,
  kDelete,
  kDeleteWatched,
  kDuplicate,
  kStatementCount
};

RecordFile::RecordFile(Store& store, const FileLayout& layout, void* buffer)
    : store_(store), layout_(layout), buffer_(static_cast<unsigned char*>(buffer)) {
  const std::string table = layout.label;
  const KeyLayout& key = layout.key;

  // Columns: id (identity and file order), chg (the change counter), the fields, and for each
  // case-insensitive string component of the key a folded shadow column that the index orders.
  // An id is never given again once its record was deleted (AUTOINCREMENT), so a position that
  // another station still holds can never name a newer record.
  std::string columns = "id INTEGER PRIMARY KEY AUTOINCREMENT, chg INTEGER NOT NULL";
  std::string field_list;
  for (int i = 0; i < layout.field_count; ++i) {
    const FieldLayout& f = layout.fields[i];
    columns += std::string(", ") + f.name + (f.type == FieldType::String ? " TEXT NOT NULL" : " INTEGER NOT NULL");
    field_list += std::string(i ? ", " : "") + f.name;
  }
  std::string fold_list;
  for (int p = 0; p < key.part_count; ++p) {
    const FieldLayout& f = layout.fields[key.parts[p]];
    if (f.type == FieldType::String && key.ignore_case) {
      key_columns_.push_back(std::string(f.name) + "_fold");
      columns += ", " + key_columns_.back() + " TEXT NOT NULL";
      fold_list += ", " + key_columns_.back();
    } else {
      key_columns_.push_back(f.name);
    }
  }
  create_table_sql_ = "CREATE TABLE " + table + "(" + columns + ")";
  std::string index_columns;
  for (std::size_t p = 0; p < key_columns_.size(); ++p) index_columns += (p ? ", " : "") + key_columns_[p];
  create_index_sql_ = std::string("CREATE ") + (key.unique ? "UNIQUE " : "") + "INDEX " + key.name + " ON " +
                      table + "(" + index_columns + ")";
  layout_version_ = HashText(create_table_sql_ + ";" + create_index_sql_);
  // Files written before ids were kept for life had the same table with an id SQLite could reuse.
  std::string legacy_table = create_table_sql_;
  legacy_table.erase(legacy_table.find(" AUTOINCREMENT"), std::string_view(" AUTOINCREMENT").size());
  legacy_version_ = HashText(legacy_table + ";" + create_index_sql_);

  std::string select = "SELECT id, chg, " + field_list;
  for (const std::string& c : key_columns_) select += ", " + c;
  select += " FROM " + table;

  // Key comparisons: equality of every component, and the row-value comparison that SQLite
  // serves from the index.
  std::string equal, tuple = "(", params = "(", ascending, descending;
  for (std::size_t p = 0; p < key_columns_.size(); ++p) {
    const std::string n = std::to_string(p + 1);
    equal += (p ? " AND " : "") + key_columns_[p] + "=?" + n;
    tuple += (p ? ", " : "") + key_columns_[p];
    params += (p ? ", ?" : "?") + n;
    ascending += key_columns_[p] + ", ";
    descending += key_columns_[p] + " DESC, ";
  }
  tuple += ")";
  params += ")";
  const std::string id_param = "?" + std::to_string(key_columns_.size() + 1);

  sql_.resize(kStatementCount);
  sql_[kFirst] = select + " ORDER BY " + ascending + "id LIMIT 1";
  sql_[kLast] = select + " ORDER BY " + descending + "id DESC LIMIT 1";
  sql_[kEqualAfter] = select + " WHERE " + equal + " AND id>" + id_param + " ORDER BY id LIMIT 1";
  sql_[kKeyAfter] = select + " WHERE " + tuple + ">" + params + " ORDER BY " + ascending + "id LIMIT 1";
  sql_[kEqualBefore] = select + " WHERE " + equal + " AND id<" + id_param + " ORDER BY id DESC LIMIT 1";
  sql_[kKeyBefore] = select + " WHERE " + tuple + "<" + params + " ORDER BY " + descending + "id DESC LIMIT 1";
  sql_[kFileAfter] = select + " WHERE id>?1 ORDER BY id LIMIT 1";
  sql_[kFileBefore] = select + " WHERE id<?1 ORDER BY id DESC LIMIT 1";
  sql_[kById] = select + " WHERE id=?1";
  sql_[kCount] = "SELECT count(*) FROM " + table;

  // Writes bind the fields as ?1..?n and the folded key texts after them.
  const int n = layout.field_count;
  std::string values, sets;
  int param = 1;
  for (int i = 0; i < n; ++i, ++param) {
    values += (i ? ", ?" : "?") + std::to_string(param);
    sets += std::string(", ") + layout.fields[i].name + "=?" + std::to_string(param);
  }
  for (std::size_t p = 0; p < key_columns_.size(); ++p) {
    const FieldLayout& f = layout.fields[key.parts[p]];
    if (!(f.type == FieldType::String && key.ignore_case)) continue;
    values += ", ?" + std::to_string(param);
    sets += ", " + key_columns_[p] + "=?" + std::to_string(param);
    ++param;
  }
  const std::string where_id = " WHERE id=?" + std::to_string(param);
  const std::string and_chg = " AND chg=?" + std::to_string(param + 1);
  sql_[kInsert] = "INSERT INTO " + table + "(chg, " + field_list + fold_list + ") VALUES(0, " + values + ") RETURNING id";
  sql_[kUpdate] = "UPDATE " + table + " SET chg=chg+1" + sets + where_id + " RETURNING chg";
  sql_[kUpdateWatched] = "UPDATE " + table + " SET chg=chg+1" + sets + where_id + and_chg + " RETURNING chg";
  sql_[kDelete] = "DELETE FROM " + table + " WHERE id=?1";
  sql_[kDeleteWatched] = "DELETE FROM " + table + " WHERE id=?1 AND chg=?2";
  sql_[kDuplicate] = "SELECT 1 FROM " + table + " WHERE " + equal + " AND id<>" + id_param + " LIMIT 1";
  statements_.assign(kStatementCount, nullptr);
}

RecordFile::~RecordFile() { CloseConnection(); }

// ---- Error state ---------------------------------------------------------------------------------

void RecordFile::Succeed() { SetError(store_.error, kNoError); }
void RecordFile::Fail(std::int32_t code) { SetError(store_.error, code); }

void RecordFile::FailSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      Succeed();
      return;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      Fail(kFileLocked);
      return;
    case SQLITE_NOTADB:
      Fail(kInvalidFile);
      return;
    case SQLITE_CORRUPT:
      Fail(kInvalidKeyFile);
      return;
    case SQLITE_CONSTRAINT:
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        Fail(kDuplicateKey);
        return;
      }
      break;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_PERM: {
      // The operating system's own error, when SQLite recorded one for this failure.
      int os_error = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
      if (os_error != 0) {
        SetFileSystemFailure(store_.error, os_error);
        return;
      }
      break;
    }
    default:
      break;
  }
  // Anything else is reported as a file-system error carrying SQLite's own code and message.
  Fail(kFileSystemError);
  store_.error.file_code = std::to_string(rc);
  store_.error.file_message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
}

bool RecordFile::RequireOpen() {
  if (db_ != nullptr) return true;
  Fail(kFileNotOpen);
  return false;
}

// ---- Connection ----------------------------------------------------------------------------------

int RecordFile::BusyHandler(void* self, int count) { return static_cast<RecordFile*>(self)->OnBusy(count); }

int RecordFile::OnBusy(int count) {
  if (lock_wait_ms_ <= 0) return 0;
  const std::int64_t now = NowMicroseconds();
  if (count == 0) {
    wait_started_us_ = now;
    if (store_.on_lock_wait) store_.on_lock_wait(Name());
  }
  const std::int64_t left = std::int64_t{lock_wait_ms_} * 1000 - (now - wait_started_us_);
  if (left <= 0) return 0;
  // Short steps first, so a lock that goes quickly costs little; then steady 50 ms polls.
  static constexpr int kStepsMs[] = {1, 2, 5, 10, 20, 50};
  const int step = kStepsMs[std::min<std::size_t>(static_cast<std::size_t>(count), std::size(kStepsMs) - 1)];
  std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::int64_t>(std::int64_t{step} * 1000, left)));
  return 1;
}

int RecordFile::OpenConnection(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  db_ = db;  // for the error mapping, also when the open failed
  if (rc != SQLITE_OK) return rc;
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &RecordFile::BusyHandler, this);
  // A file that only opened for reading (SQLite falls back silently) is refused access.
  if (sqlite3_db_readonly(db_, "main") == 1) return SQLITE_READONLY;
  // The rollback journal (never WAL: the files may lie in a folder shared over a network) and a
  // full sync at every commit; no schema code of the file is ever trusted.
  rc = Exec("PRAGMA synchronous=FULL");
  if (rc == SQLITE_OK) rc = Exec("PRAGMA trusted_schema=OFF");
  return rc;
}

void RecordFile::CloseConnection() {
  for (sqlite3_stmt*& stmt : statements_) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
  if (store_.transaction == this) store_.transaction = nullptr;
  current_ = Current();
  watched_ = watch_armed_ = false;
  cursor_ = Cursor();
}

sqlite3_stmt* RecordFile::Prepared(StatementId id) {
  sqlite3_stmt*& stmt = statements_[id];
  if (stmt == nullptr) {
    int rc = sqlite3_prepare_v3(db_, sql_[id].c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
      FailSqlite(rc);
      sqlite3_finalize(stmt);
      stmt = nullptr;
    }
  }
  return stmt;
}

int RecordFile::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

// ---- Open, create, build -------------------------------------------------------------------------

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
  if (application_id != kApplicationId || user_version != legacy_version_) return SQLITE_OK;
  const std::string table = layout_.label;
  const std::string script = "BEGIN IMMEDIATE; ALTER TABLE " + table + " RENAME TO " + table + "_legacy; " +
                             create_table_sql_ + "; INSERT INTO " + table + " SELECT * FROM " + table +
                             "_legacy; DROP TABLE " + table + "_legacy; " + create_index_sql_ +
                             "; PRAGMA user_version=" + std::to_string(layout_version_) + "; COMMIT;";
  int rc = Exec(script.c_str());
  if (rc != SQLITE_OK) Exec("ROLLBACK");
  return rc;
}

// Is the file ours, of this layout? Runs inside a read transaction that CheckKey continues.
// Returns kRefused after setting 47 itself for a file that is a database but not ours.
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
  bool ours = application_id == kApplicationId && user_version == layout_version_;
  if (ours) {
    // A file switched to WAL by some tool is not in the form the store shares safely.
    OneOff mode(db_, "PRAGMA journal_mode");
    if (mode.rc() != SQLITE_OK) return mode.rc();
    if ((rc = sqlite3_step(mode.get())) != SQLITE_ROW) return rc;
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0));
    ours = text != nullptr && std::strcmp(text, "wal") != 0;
  }
  if (ours) {
    // Exactly our table and our index, with our statements' text.
    OneOff schema(db_, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type DESC, name");
    if (schema.rc() != SQLITE_OK) return schema.rc();
    const std::string expected[2][4] = {{"table", layout_.label, layout_.label, create_table_sql_},
                                        {"index", layout_.key.name, layout_.label, create_index_sql_}};
    int row = 0;
    while ((rc = sqlite3_step(schema.get())) == SQLITE_ROW) {
      // SQLite's own table of the id sequence belongs to the layout.
      const unsigned char* name = sqlite3_column_text(schema.get(), 1);
      if (name != nullptr && std::strcmp(reinterpret_cast<const char*>(name), "sqlite_sequence") == 0) continue;
      if (row >= 2) {
        ours = false;
        break;
      }
      for (int c = 0; c < 4; ++c) {
        const unsigned char* v = sqlite3_column_text(schema.get(), c);
        if (v == nullptr || expected[row][c] != reinterpret_cast<const char*>(v)) ours = false;
      }
      ++row;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
    if (row != 2) ours = false;
  }
  if (!ours) {
    Fail(kInvalidFile);
    return kRefused;
  }
  return SQLITE_OK;
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

  std::string key_list, equal;
  for (std::size_t p = 0; p < key_columns_.size(); ++p) {
    key_list += ", " + key_columns_[p];
    equal += key_columns_[p] + "=?" + std::to_string(p + 1) + " AND ";
  }
  OneOff lookup(db_, "SELECT 1 FROM " + table + " INDEXED BY " + layout_.key.name + " WHERE " + equal +
                         "id=?" + std::to_string(key_columns_.size() + 1));
  if (lookup.rc() != SQLITE_OK) return lookup.rc();
  const int parts = static_cast<int>(key_columns_.size());
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
    OneOff all(db_, "SELECT id" + key_list + " FROM " + table + " NOT INDEXED");
    if (all.rc() != SQLITE_OK) return all.rc();
    while ((rc = sqlite3_step(all.get())) == SQLITE_ROW && found_all)
      if ((rc = look_up(all.get())) != SQLITE_OK) return rc;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return rc;
  } else {
    std::int64_t low = 0, high = 0;
    if ((rc = count("SELECT min(id) FROM " + table, low)) != SQLITE_OK) return rc;
    if ((rc = count("SELECT max(id) FROM " + table, high)) != SQLITE_OK) return rc;
    OneOff at(db_, "SELECT id" + key_list + " FROM " + table + " NOT INDEXED WHERE id>=?1 ORDER BY id LIMIT 1");
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
    OneOff newest(db_, "SELECT id" + key_list + " FROM " + table + " NOT INDEXED ORDER BY id DESC LIMIT 8");
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
                               std::to_string(layout_version_) + "; " + create_table_sql_ + "; " +
                               create_index_sql_ + "; COMMIT;";
    rc = sqlite3_exec(db, script.c_str(), nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
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
    if (rc == SQLITE_OK) rc = Exec("COMMIT");
    if (rc != SQLITE_OK) {
      Exec("ROLLBACK");
      if (rc != kRefused) FailSqlite(rc);
      CloseConnection();
      return;
    }
  }
  int rc = Exec("BEGIN IMMEDIATE");
  if (rc == SQLITE_OK) {
    rc = Exec((std::string("REINDEX ") + layout_.key.name).c_str());
    if (rc == SQLITE_OK) rc = Exec("COMMIT");
    if (rc != SQLITE_OK) Exec("ROLLBACK");
    // An index with unreadable pages cannot even be emptied: build the file anew instead.
    if ((rc & 0xFF) == SQLITE_CORRUPT) rc = RebuildByCopy();
  }
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
                               "; PRAGMA user_version=" + std::to_string(layout_version_) + "; " +
                               create_table_sql_ + "; COMMIT;";
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
    if (rc == SQLITE_OK) rc = sqlite3_exec(fresh, create_index_sql_.c_str(), nullptr, nullptr, nullptr);
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

void RecordFile::Send(std::string_view instruction) {
  // Instructions are "Name=Value", the name in any letter case.
  constexpr std::string_view kRecover = "recover=";
  if (instruction.size() > kRecover.size()) {
    bool match = true;
    for (std::size_t i = 0; i < kRecover.size(); ++i)
      if (platform::FoldUpper(instruction[i]) != platform::FoldUpper(kRecover[i]))
        match = false;
    if (match) {
      int seconds = 0;
      for (char c : instruction.substr(kRecover.size())) {
        if (c < '0' || c > '9') break;
        seconds = std::min(seconds * 10 + (c - '0'), 3600);
      }
      recover_wait_ms_ = seconds * store_.timing.second_ms;
    }
  }
  Succeed();
}

void RecordFile::Close() {
  if (db_ != nullptr && store_.transaction == this) Rollback();
  CloseConnection();
  Succeed();
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

// ---- Reading -------------------------------------------------------------------------------------

KeyValue RecordFile::BufferKey() const {
  KeyValue key(static_cast<std::size_t>(layout_.key.part_count));
  for (int p = 0; p < layout_.key.part_count; ++p) {
    const FieldLayout& f = layout_.fields[layout_.key.parts[p]];
    const unsigned char* at = buffer_ + f.offset;
    switch (f.type) {
      case FieldType::String: {
        std::string_view text = TrimmedBytes(at, f.size);
        key[p].text.assign(text);
        if (layout_.key.ignore_case)
          key[p].text = platform::FoldUpper(key[p].text);
        break;
      }
      case FieldType::Short: {
        std::int16_t v;
        std::memcpy(&v, at, sizeof v);
        key[p].number = v;
        break;
      }
      case FieldType::Long: {
        std::int32_t v;
        std::memcpy(&v, at, sizeof v);
        key[p].number = v;
        break;
      }
    }
  }
  return key;
}

void RecordFile::BindKey(sqlite3_stmt* stmt, const KeyValue& key, int first) {
  for (int p = 0; p < layout_.key.part_count; ++p) {
    if (layout_.fields[layout_.key.parts[p]].type == FieldType::String)
      sqlite3_bind_text(stmt, first + p, key[p].text.data(), static_cast<int>(key[p].text.size()), SQLITE_TRANSIENT);
    else
      sqlite3_bind_int64(stmt, first + p, key[p].number);
  }
}

// Binds the buffer's fields as ?1..?n and the folded key texts after them.
void RecordFile::BindRecord(sqlite3_stmt* stmt) {
  int param = 1;
  for (int i = 0; i < layout_.field_count; ++i, ++param) {
    const FieldLayout& f = layout_.fields[i];
    const unsigned char* at = buffer_ + f.offset;
    if (f.type == FieldType::String) {
      std::string_view text = TrimmedBytes(at, f.size);
      sqlite3_bind_text(stmt, param, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else if (f.type == FieldType::Short) {
      std::int16_t v;
      std::memcpy(&v, at, sizeof v);
      sqlite3_bind_int64(stmt, param, v);
    } else {
      std::int32_t v;
      std::memcpy(&v, at, sizeof v);
      sqlite3_bind_int64(stmt, param, v);
    }
  }
  if (!layout_.key.ignore_case) return;
  const KeyValue key = BufferKey();
  for (int p = 0; p < layout_.key.part_count; ++p) {
    if (layout_.fields[layout_.key.parts[p]].type != FieldType::String) continue;
    sqlite3_bind_text(stmt, param++, key[p].text.data(), static_cast<int>(key[p].text.size()), SQLITE_TRANSIENT);
  }
}

// Loads a row of the select list (id, chg, fields, key columns) into the buffer and makes it the
// current record. Strings are blank-padded to their width and cut to it.
void RecordFile::LoadRow(sqlite3_stmt* stmt) {
  for (int i = 0; i < layout_.field_count; ++i) {
    const FieldLayout& f = layout_.fields[i];
    unsigned char* at = buffer_ + f.offset;
    const int column = 2 + i;
    if (f.type == FieldType::String) {
      const unsigned char* text = sqlite3_column_text(stmt, column);
      std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)), f.size);
      if (text != nullptr) std::memcpy(at, text, n);
      else n = 0;
      std::memset(at + n, ' ', f.size - n);
    } else if (f.type == FieldType::Short) {
      auto v = static_cast<std::int16_t>(sqlite3_column_int64(stmt, column));
      std::memcpy(at, &v, sizeof v);
    } else {
      auto v = static_cast<std::int32_t>(sqlite3_column_int64(stmt, column));
      std::memcpy(at, &v, sizeof v);
    }
  }
  current_.valid = true;
  current_.id = sqlite3_column_int64(stmt, 0);
  current_.chg = sqlite3_column_int64(stmt, 1);
  current_.key.resize(static_cast<std::size_t>(layout_.key.part_count));
  for (int p = 0; p < layout_.key.part_count; ++p) {
    const int column = 2 + layout_.field_count + p;
    if (layout_.fields[layout_.key.parts[p]].type == FieldType::String) {
      const unsigned char* text = sqlite3_column_text(stmt, column);
      current_.key[p].text.assign(text != nullptr ? reinterpret_cast<const char*>(text) : "",
                                  static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
    } else {
      current_.key[p].number = sqlite3_column_int64(stmt, column);
    }
  }
  watched_ = watch_armed_;
  watch_armed_ = false;
}

// One read step through `cursor`: 1 read, 0 none left, -1 failed (error set).
int RecordFile::FetchStep(Cursor& cursor, bool forward) {
  const Cursor::Bound& bound = forward ? cursor.forward : cursor.backward;
  auto run = [&](StatementId id, auto&& bind) -> int {
    sqlite3_stmt* stmt = Prepared(id);
    if (stmt == nullptr) return -1;
    Use use(stmt);
    bind(stmt);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      LoadRow(stmt);
      return 1;
    }
    if (rc == SQLITE_DONE) return 0;
    FailSqlite(rc);
    return -1;
  };
  const int parts = layout_.key.part_count;
  if (cursor.order == Order::File) {
    const std::int64_t from = bound.open ? (forward ? kLowestId : kHighestId) : bound.id;
    return run(forward ? kFileAfter : kFileBefore, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, from); });
  }
  if (bound.open) return run(forward ? kFirst : kLast, [](sqlite3_stmt*) {});
  // Records with the bound's own key value come first (in id order), then the next key value: two
  // short index searches, where one row-value query over (key, id) would scan long runs of equal
  // keys. A unique key has no other record with the key of a record just read.
  if (!(layout_.key.unique && bound.exact)) {
    int got = run(forward ? kEqualAfter : kEqualBefore, [&](sqlite3_stmt* s) {
      BindKey(s, bound.key, 1);
      sqlite3_bind_int64(s, parts + 1, bound.id);
    });
    if (got != 0) return got;
  }
  return run(forward ? kKeyAfter : kKeyBefore, [&](sqlite3_stmt* s) { BindKey(s, bound.key, 1); });
}

void RecordFile::ReadStep(Cursor& cursor, bool forward) {
  if (!RequireOpen()) return;
  int got = FetchStep(cursor, forward);
  if (got < 0) return;
  if (got == 0) {
    // Past the end: a read the other way starts again from this end.
    (forward ? cursor.backward : cursor.forward) = Cursor::Bound();
    Fail(kRecordNotAvailable);
    return;
  }
  Cursor::Bound here{false, current_.key, current_.id, true};
  cursor.forward = here;
  cursor.backward = std::move(here);
  cursor.has_record = true;
  cursor.record_id = current_.id;
  cursor.record_key = current_.key;
  Succeed();
}

void RecordFile::PlaceAt(Cursor& cursor, Order order, std::int64_t id, const KeyValue& key) {
  cursor.order = order;
  cursor.forward = Cursor::Bound{false, key, id == kLowestId ? id : id - 1, false};
  cursor.backward = Cursor::Bound{false, key, id == kHighestId ? id : id + 1, false};
}

void RecordFile::Set(Order order) {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  cursor_.order = order;
  Succeed();
}

void RecordFile::SetToKeyValue() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  const KeyValue key = BufferKey();
  cursor_.forward = Cursor::Bound{false, key, kLowestId, false};
  cursor_.backward = Cursor::Bound{false, key, kHighestId, false};
  Succeed();
}

void RecordFile::Next() { ReadStep(cursor_, true); }
void RecordFile::Previous() { ReadStep(cursor_, false); }

std::int32_t RecordFile::Records() {
  if (!RequireOpen()) return 0;
  sqlite3_stmt* stmt = Prepared(kCount);
  if (stmt == nullptr) return 0;
  Use use(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) {
    FailSqlite(rc);
    return 0;
  }
  Succeed();
  return static_cast<std::int32_t>(sqlite3_column_int64(stmt, 0));
}

// A position: the order's letter, the record id in 16 hex digits, then each key component as "N"
// and 16 hex digits, or "S", two hex digits of length and the folded text.
RecordPosition RecordFile::Encode(Order order, std::int64_t id, const KeyValue& key) const {
  std::string text(1, order == Order::File ? 'F' : 'K');
  AppendHex(text, static_cast<std::uint64_t>(id), 16);
  for (int p = 0; p < layout_.key.part_count; ++p) {
    if (layout_.fields[layout_.key.parts[p]].type == FieldType::String) {
      text.push_back('S');
      AppendHex(text, key[p].text.size(), 2);
      text += key[p].text;
    } else {
      text.push_back('N');
      AppendHex(text, static_cast<std::uint64_t>(key[p].number), 16);
    }
  }
  return RecordPosition(text);
}

bool RecordFile::Decode(const RecordPosition& position, std::int64_t& id, KeyValue& key) const {
  std::string_view text(position.data, kPositionSize);
  if (text[0] != 'F' && text[0] != 'K') return false;
  std::size_t at = 1;
  std::uint64_t value = 0;
  if (!ReadHex(text, at, 16, value)) return false;
  id = static_cast<std::int64_t>(value);
  key.assign(static_cast<std::size_t>(layout_.key.part_count), KeyPart());
  for (int p = 0; p < layout_.key.part_count; ++p) {
    if (at >= text.size()) return false;
    const char tag = text[at++];
    if (tag == 'S') {
      if (!ReadHex(text, at, 2, value) || at + value > text.size()) return false;
      key[p].text.assign(text.substr(at, value));
      at += value;
    } else if (tag == 'N') {
      if (!ReadHex(text, at, 16, value)) return false;
      key[p].number = static_cast<std::int64_t>(value);
    } else {
      return false;
    }
  }
  return true;
}

RecordPosition RecordFile::Position(Order order) {
  if (!RequireOpen()) return RecordPosition();
  if (!current_.valid) {
    Fail(kRecordNotAvailable);
    return RecordPosition();
  }
  Succeed();
  return Encode(order, current_.id, current_.key);
}

void RecordFile::Reset(Order order, const RecordPosition& position) {
  if (!RequireOpen()) return;
  std::int64_t id = 0;
  KeyValue key;
  if (!Decode(position, id, key)) {
    Fail(kRecordNotAvailable);
    return;
  }
  cursor_ = Cursor();
  PlaceAt(cursor_, order, id, key);
  Succeed();
}

void RecordFile::Reread(const RecordPosition& position) {
  if (!RequireOpen()) return;
  std::int64_t id = 0;
  KeyValue key;
  if (!Decode(position, id, key)) {
    Fail(kRecordNotAvailable);
    return;
  }
  sqlite3_stmt* stmt = Prepared(kById);
  if (stmt == nullptr) return;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, id);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    LoadRow(stmt);
    Succeed();
  } else if (rc == SQLITE_DONE) {
    // The record is gone: no other record may stay current for a write meant for this one.
    current_ = Current();
    watched_ = false;
    Fail(kRecordNotAvailable);
  } else {
    FailSqlite(rc);
  }
}

void RecordFile::ForgetCurrent() {
  current_ = Current();
  watched_ = false;
  Succeed();
}

void RecordFile::Watch() {
  watch_armed_ = true;
  Succeed();
}

// ---- Writing -------------------------------------------------------------------------------------

void RecordFile::Add() {
  if (!RequireOpen()) return;
  sqlite3_stmt* stmt = Prepared(kInsert);
  if (stmt == nullptr) return;
  Use use(stmt);
  BindRecord(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return FailSqlite(rc);
  const std::int64_t id = sqlite3_column_int64(stmt, 0);
  // Stepping to the end lets an implicit transaction commit here, where its failure is seen.
  if ((rc = sqlite3_step(stmt)) != SQLITE_DONE) return FailSqlite(rc);
  current_ = Current{true, id, 0, BufferKey()};
  watched_ = false;
  Succeed();
}

void RecordFile::Put() {
  if (!RequireOpen()) return;
  if (!current_.valid) return Fail(kRecordNotAvailable);
  sqlite3_stmt* stmt = Prepared(watched_ ? kUpdateWatched : kUpdate);
  if (stmt == nullptr) return;
  Use use(stmt);
  BindRecord(stmt);
  const int id_param = sqlite3_bind_parameter_count(stmt) - (watched_ ? 1 : 0);
  sqlite3_bind_int64(stmt, id_param, current_.id);
  if (watched_) sqlite3_bind_int64(stmt, id_param + 1, current_.chg);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return Fail(watched_ && Exists(current_.id) ? kChangedByAnotherStation : kRecordNotAvailable);
  if (rc != SQLITE_ROW) return FailSqlite(rc);
  const std::int64_t chg = sqlite3_column_int64(stmt, 0);
  if ((rc = sqlite3_step(stmt)) != SQLITE_DONE) return FailSqlite(rc);
  current_.chg = chg;
  current_.key = BufferKey();
  Succeed();
}

void RecordFile::Delete() {
  if (!RequireOpen()) return;
  if (!current_.valid) return Fail(kRecordNotAvailable);
  sqlite3_stmt* stmt = Prepared(watched_ ? kDeleteWatched : kDelete);
  if (stmt == nullptr) return;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, current_.id);
  if (watched_) sqlite3_bind_int64(stmt, 2, current_.chg);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE) return FailSqlite(rc);
  if (sqlite3_changes(db_) == 0)
    return Fail(watched_ && Exists(current_.id) ? kChangedByAnotherStation : kRecordNotAvailable);
  current_ = Current();
  watched_ = false;
  Succeed();
}

bool RecordFile::Exists(std::int64_t id) {
  sqlite3_stmt* stmt = Prepared(kById);
  if (stmt == nullptr) return false;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, id);
  return sqlite3_step(stmt) == SQLITE_ROW;
}

bool RecordFile::Duplicate() {
  if (!RequireOpen()) return false;
  sqlite3_stmt* stmt = Prepared(kDuplicate);
  if (stmt == nullptr) return false;
  Use use(stmt);
  BindKey(stmt, BufferKey(), 1);
  sqlite3_bind_int64(stmt, layout_.key.part_count + 1, current_.valid ? current_.id : 0);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    FailSqlite(rc);
    return false;
  }
  Succeed();
  return rc == SQLITE_ROW;
}

// ---- Transactions --------------------------------------------------------------------------------

void RecordFile::BeginTransaction(int time_out) {
  if (!RequireOpen()) return;
  if (store_.transaction != nullptr) return Fail(kTransactionActive);
  // The transaction's statements, its commit among them, wait as long as its time-out.
  lock_wait_ms_ = std::max(time_out * store_.timing.second_ms, store_.timing.ordinary_wait_ms);
  int rc = Exec("BEGIN IMMEDIATE");
  if (rc != SQLITE_OK) {
    lock_wait_ms_ = store_.timing.ordinary_wait_ms;
    return FailSqlite(rc);
  }
  store_.transaction = this;
  saved_current_ = current_;
  saved_watched_ = watched_;
  Succeed();
}

void RecordFile::Commit() {
  if (!RequireOpen()) return;
  if (store_.transaction != this) return Fail(kRecordNotAvailable);
  int rc = Exec("COMMIT");
  if (sqlite3_get_autocommit(db_) != 0) {
    // Committed, or rolled back by SQLite itself after an I/O error.
    store_.transaction = nullptr;
    lock_wait_ms_ = store_.timing.ordinary_wait_ms;
  }
  FailSqlite(rc);
}

void RecordFile::Rollback() {
  if (!RequireOpen()) return;
  int rc = SQLITE_OK;
  if (store_.transaction == this) {
    if (sqlite3_get_autocommit(db_) == 0) rc = Exec("ROLLBACK");
    store_.transaction = nullptr;
    lock_wait_ms_ = store_.timing.ordinary_wait_ms;
    current_ = saved_current_;
    watched_ = saved_watched_;
  }
  FailSqlite(rc);
}

// ---- View ----------------------------------------------------------------------------------------

bool View::RequireOpen() {
  if (open_ && file_.IsOpen()) return true;
  file_.Fail(file_.IsOpen() ? kRecordNotAvailable : kFileNotOpen);
  return false;
}

void View::Open() {
  if (!file_.IsOpen()) return file_.Fail(kFileNotOpen);
  open_ = true;
  cursor_ = Cursor();
  file_.Succeed();
}

void View::Set() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  file_.Succeed();
}

void View::SetToKeyValue() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  const KeyValue key = file_.BufferKey();
  cursor_.forward = Cursor::Bound{false, key, kLowestId, false};
  cursor_.backward = Cursor::Bound{false, key, kHighestId, false};
  file_.Succeed();
}

void View::Next() {
  if (RequireOpen()) file_.ReadStep(cursor_, true);
}

void View::Previous() {
  if (RequireOpen()) file_.ReadStep(cursor_, false);
}

RecordPosition View::Position() {
  if (!RequireOpen()) return RecordPosition();
  if (!cursor_.has_record) {
    file_.Fail(kRecordNotAvailable);
    return RecordPosition();
  }
  file_.Succeed();
  return file_.Encode(Order::Key, cursor_.record_id, cursor_.record_key);
}

void View::Reset(const RecordPosition& position) {
  if (!RequireOpen()) return;
  std::int64_t id = 0;
  KeyValue key;
  if (!file_.Decode(position, id, key)) return file_.Fail(kRecordNotAvailable);
  cursor_ = Cursor();
  RecordFile::PlaceAt(cursor_, Order::Key, id, key);
  file_.Succeed();
}

}  // namespace store
