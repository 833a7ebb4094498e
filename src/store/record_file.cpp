// The SQLite implementation of a record file: the connection (the rollback journal with
// synchronous FULL, the wait for other processes' locks), the mapping of SQLite's results onto store
// codes, driver instructions and transactions. Its lifecycle (open, checks, create, rebuild,
// remove) is record_file_lifecycle.cpp; its reads and writes record_file_io.cpp.
#include "store/record_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/code_page.h"
#include "platform/file_access.h"
#include "store/sqlite_statement.h"

namespace store {

namespace {

class SteadyWaitClock final : public WaitClock {
 public:
  std::int64_t NowMicroseconds() override {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void Sleep(const std::string&, int, std::int64_t microseconds) override {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
  }
};

}  // namespace

WaitClock& SystemWaitClock() {
  static SteadyWaitClock clock;
  return clock;
}

RecordFile::RecordFile(Store& store, const FileLayout& layout, void* buffer)
    : store_(store), layout_(layout), buffer_(static_cast<unsigned char*>(buffer)), sql_(layout) {
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
      // SQLite finds a full disk by a short write and keeps no error number for it.
      if ((rc & 0xFF) == SQLITE_FULL) {
        SetFileSystemFailure(store_.error, platform::file_access::DiskFullError());
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
  WaitClock& clock = *store_.timing.clock;
  const std::int64_t now = clock.NowMicroseconds();
  if (count == 0) wait_started_us_ = now;
  const std::int64_t left = std::int64_t{lock_wait_ms_} * 1000 - (now - wait_started_us_);
  if (left <= 0) return 0;
  // Short steps first, so a lock that goes quickly costs little; then steady 50 ms polls.
  static constexpr int kStepsMs[] = {1, 2, 5, 10, 20, 50};
  const int step = kStepsMs[std::min<std::size_t>(static_cast<std::size_t>(count), std::size(kStepsMs) - 1)];
  clock.Sleep(Name(), count, std::min<std::int64_t>(std::int64_t{step} * 1000, left));
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
    int rc = sqlite3_prepare_v3(db_, sql_.statements[id].c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
      FailSqlite(rc);
      sqlite3_finalize(stmt);
      stmt = nullptr;
    }
  }
  return stmt;
}

int RecordFile::Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }


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

}  // namespace store
