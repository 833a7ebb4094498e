// The applications' last results and build order numbers: see last_results.h.
#include "store/last_results.h"

#include <sqlite3.h>


#include "platform/code_page.h"
#include "store/sqlite_statement.h"

namespace store {
namespace {

// Text columns hold the records' code-page bytes as they are (BLOB-free TEXT, never re-encoded).
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS LastResults(key TEXT PRIMARY KEY, folder TEXT NOT NULL, "
    "application TEXT NOT NULL, operation TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL DEFAULT '', "
    "date INTEGER NOT NULL DEFAULT 0, clock INTEGER NOT NULL DEFAULT 0, hundredths INTEGER NOT NULL DEFAULT 0, "
    "error TEXT NOT NULL DEFAULT '', build_order INTEGER NOT NULL DEFAULT 0)";

// One connection for one call: the file may be shared with other stations, so nothing is held
// open between calls (the rollback journal, a full sync, a wait of up to 10 s for a lock).
class Connection {
 public:
  explicit Connection(const std::string& path, bool create) {
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    rc_ = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc_ == SQLITE_OK) {
      sqlite3_busy_timeout(db_, 10000);
      rc_ = sqlite3_exec(db_, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA trusted_schema=OFF",
                         nullptr, nullptr, nullptr);
    }
    if (rc_ == SQLITE_OK) rc_ = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  }
  ~Connection() { sqlite3_close_v2(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  sqlite3* db() const { return db_; }
  int rc() const { return rc_; }
  std::string Why() const {
    return std::string(db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc_));
  }

 private:
  sqlite3* db_ = nullptr;
  int rc_ = SQLITE_OK;
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const unsigned char* text = sqlite3_column_text(stmt, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt, column)) : "";
}

}  // namespace

std::string LastResultKey(const std::string& folder, const std::string& application) {
  return platform::FoldUpper(folder + application);
}

bool LastResults::Record(const LastResult& result) {
  Connection connection(path_, true);
  error_.clear();
  if (connection.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  OneOff put(connection.db(),
             "INSERT INTO LastResults(key, folder, application, operation, outcome, date, clock, hundredths, error) "
             "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) ON CONFLICT(key) DO UPDATE SET folder=?2, application=?3, "
             "operation=?4, outcome=?5, date=?6, clock=?7, hundredths=?8, error=?9");
  if (put.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  BindText(put.get(), 1, LastResultKey(result.folder, result.application));
  BindText(put.get(), 2, result.folder);
  BindText(put.get(), 3, result.application);
  BindText(put.get(), 4, result.operation);
  BindText(put.get(), 5, result.outcome);
  sqlite3_bind_int(put.get(), 6, result.date);
  sqlite3_bind_int(put.get(), 7, result.clock);
  sqlite3_bind_int64(put.get(), 8, result.hundredths);
  BindText(put.get(), 9, result.error);
  if (sqlite3_step(put.get()) != SQLITE_DONE) {
    error_ = connection.Why();
    return false;
  }
  return true;
}

bool LastResults::SetOrder(const std::string& folder, const std::string& application, std::int32_t order) {
  Connection connection(path_, true);
  error_.clear();
  if (connection.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  OneOff put(connection.db(),
             "INSERT INTO LastResults(key, folder, application, build_order) VALUES(?1, ?2, ?3, ?4) "
             "ON CONFLICT(key) DO UPDATE SET build_order=?4");
  if (put.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  BindText(put.get(), 1, LastResultKey(folder, application));
  BindText(put.get(), 2, folder);
  BindText(put.get(), 3, application);
  sqlite3_bind_int(put.get(), 4, order);
  if (sqlite3_step(put.get()) != SQLITE_DONE) {
    error_ = connection.Why();
    return false;
  }
  return true;
}

bool LastResults::ReadAll(std::map<std::string, LastResult>& results) {
  results.clear();
  error_.clear();
  // No file yet: no batch has kept anything, which is no error; reading does not create one.
  if (FILE* file = std::fopen(path_.c_str(), "rb")) std::fclose(file);
  else return true;
  Connection connection(path_, false);
  if (connection.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  OneOff all(connection.db(),
             "SELECT key, folder, application, operation, outcome, date, clock, hundredths, error, build_order "
             "FROM LastResults");
  if (all.rc() != SQLITE_OK) {
    error_ = connection.Why();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    LastResult result{.folder = ColumnText(all.get(), 1),
                      .application = ColumnText(all.get(), 2),
                      .operation = ColumnText(all.get(), 3),
                      .outcome = ColumnText(all.get(), 4),
                      .date = sqlite3_column_int(all.get(), 5),
                      .clock = sqlite3_column_int(all.get(), 6),
                      .hundredths = sqlite3_column_int64(all.get(), 7),
                      .error = ColumnText(all.get(), 8),
                      .order = sqlite3_column_int(all.get(), 9)};
    results[ColumnText(all.get(), 0)] = std::move(result);
  }
  if (rc != SQLITE_DONE) {
    error_ = connection.Why();
    return false;
  }
  return true;
}

}  // namespace store
