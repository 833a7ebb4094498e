// A small database file of our own beside the record files (APPSLAST.db), reached one statement
// per call: opened (created when asked), its table made when missing, the statement prepared, and
// closed again at the end of the call, since other stations may use the file too. Used by the
// last results and the kept settings.
#pragma once

#include <sqlite3.h>

#include <string>

#include "store/last_results.h"  // kSideFileWait

namespace store {

// Whether `path` exists; reading a side file that is not there finds nothing, and makes nothing.
// One that is there but cannot be read exists: reading it fails and says why.
bool SideFileExists(const std::string& path);

class SideStatement {
 public:
  // Opens `path` (creating it when `create`), runs `schema` (CREATE TABLE IF NOT EXISTS ...), when
  // creating also each of `added_columns` (ALTER TABLE ... ADD COLUMN, for a file written before
  // the column was; one already there fails, which is no error), and prepares `sql`, waiting up to
  // `wait_ms` for another station's lock. ok() tells whether all went well; Why() says what failed.
  SideStatement(const std::string& path, bool create, const char* schema, const char* sql,
                int wait_ms = kSideFileWait, const char* const* added_columns = nullptr);
  ~SideStatement();
  SideStatement(const SideStatement&) = delete;
  SideStatement& operator=(const SideStatement&) = delete;

  bool ok() const { return rc_ == SQLITE_OK; }
  sqlite3* db() const { return db_; }
  sqlite3_stmt* get() const { return stmt_; }
  // The last failure of this file (open, prepare or step), naming the file, with the system's
  // reason where it gave one: "APPSLAST.db: unable to open database file (Access denied)".
  std::string Why() const;
  // Whether the last failure was another station's lock held past the wait.
  bool Busy() const;

  // Binders and readers of text as the records' code-page bytes (never re-encoded).
  void BindText(int index, const std::string& text);
  std::string ColumnText(int column) const;
  // Steps a write to its end; false (Why() says why) when it did not finish.
  bool Done();

 private:
  std::string path_;
  bool create_ = false;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

}  // namespace store
