// Values kept between runs: see settings.h.
#include "store/settings.h"

#include <sqlite3.h>

#include "store/side_file.h"

namespace store {
namespace {

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS Settings(Name TEXT PRIMARY KEY, Value)";

}  // namespace

bool Settings::ReadAll(std::map<std::string, std::int64_t>& values, std::map<std::string, std::string>* texts) {
  values.clear();
  if (texts) texts->clear();
  error_.clear();
  busy_ = false;
  if (!SideFileExists(path_)) return true;
  SideStatement all(path_, false, kSchema, "SELECT Name, Value FROM Settings", wait_ms_);
  if (!all.ok()) {
    error_ = all.Why();
    busy_ = all.Busy();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    const int type = sqlite3_column_type(all.get(), 1);
    if (type == SQLITE_INTEGER) values[all.ColumnText(0)] = sqlite3_column_int64(all.get(), 1);
    else if (type == SQLITE_TEXT && texts) (*texts)[all.ColumnText(0)] = all.ColumnText(1);
  }
  if (rc != SQLITE_DONE) {
    error_ = all.Why();
    busy_ = all.Busy();
    values.clear();
    if (texts) texts->clear();
    return false;
  }
  return true;
}

bool Settings::Write(const std::map<std::string, std::int64_t>& values,
                     const std::map<std::string, std::string>& texts) {
  error_.clear();
  busy_ = false;
  SideStatement put(path_, true, kSchema,
                    "INSERT INTO Settings(Name, Value) VALUES(?1, ?2) ON CONFLICT(Name) DO UPDATE SET Value=?2",
                    wait_ms_);
  bool ok = put.ok() && sqlite3_exec(put.db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  for (auto it = values.begin(); ok && it != values.end(); ++it) {
    put.BindText(1, it->first);
    sqlite3_bind_int64(put.get(), 2, it->second);
    ok = put.Done() && sqlite3_reset(put.get()) == SQLITE_OK;
  }
  for (auto it = texts.begin(); ok && it != texts.end(); ++it) {
    put.BindText(1, it->first);
    put.BindText(2, it->second);
    ok = put.Done() && sqlite3_reset(put.get()) == SQLITE_OK;
  }
  if (ok) ok = sqlite3_exec(put.db(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  if (ok) return true;
  error_ = put.Why();
  busy_ = put.Busy();
  if (put.db() != nullptr) sqlite3_exec(put.db(), "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

}  // namespace store
