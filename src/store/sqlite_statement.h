// Small owners of SQLite statements for the record file's code: a cached statement reset when the
// call that used it ends, and a one-off statement finalized at the end of its scope.
#pragma once

#include <sqlite3.h>

#include <string>

namespace store {

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

}  // namespace store
