// A statement on a side file, one per call: see side_file.h.
#include "store/side_file.h"

#include "platform/file_access.h"

namespace store {

bool SideFileExists(const std::string& path) {
  namespace fa = platform::file_access;
  return fa::KindOf(fa::ProbeReadWrite(path)) != fa::ErrorKind::NotFound;
}

SideStatement::SideStatement(const std::string& path, bool create, const char* schema, const char* sql,
                             int wait_ms, const char* const* added_columns)
    : path_(path), create_(create) {
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  rc_ = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc_ == SQLITE_OK) {
    // A file shared with other stations: the rollback journal, a full sync, a bounded wait for
    // another station's lock.
    sqlite3_busy_timeout(db_, wait_ms);
    rc_ = sqlite3_exec(db_, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA trusted_schema=OFF",
                       nullptr, nullptr, nullptr);
  }
  if (rc_ == SQLITE_OK) rc_ = sqlite3_exec(db_, schema, nullptr, nullptr, nullptr);
  for (const char* const* add = added_columns; create && rc_ == SQLITE_OK && add != nullptr && *add != nullptr; ++add)
    sqlite3_exec(db_, *add, nullptr, nullptr, nullptr);
  if (rc_ == SQLITE_OK) rc_ = sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
}

SideStatement::~SideStatement() {
  sqlite3_finalize(stmt_);
  sqlite3_close_v2(db_);
}

std::string SideStatement::Why() const {
  namespace fa = platform::file_access;
  std::string why = path_ + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc_));
  // SQLite says only that it could not open the file; the system says why.
  if ((rc_ & 0xFF) == SQLITE_CANTOPEN || (rc_ & 0xFF) == SQLITE_PERM || (rc_ & 0xFF) == SQLITE_READONLY) {
    int os_error = fa::ProbeReadWrite(path_);
    // A file not there that could not be made: the folder refused it.
    if (create_ && fa::KindOf(os_error) == fa::ErrorKind::NotFound) os_error = fa::ProbeCreate(path_);
    if (os_error != 0) why += " (" + fa::MessageOf(os_error) + ")";
  }
  return why;
}

bool SideStatement::Busy() const {
  const int code = (db_ != nullptr ? sqlite3_errcode(db_) : rc_) & 0xFF;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

void SideStatement::BindText(int index, const std::string& text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string SideStatement::ColumnText(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(stmt_, column))
                         : "";
}

bool SideStatement::Done() {
  rc_ = sqlite3_step(stmt_);
  if (rc_ == SQLITE_DONE) rc_ = SQLITE_OK;
  return rc_ == SQLITE_OK;
}

}  // namespace store
