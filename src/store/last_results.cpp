// The applications' last results and build order numbers: see last_results.h.
#include "store/last_results.h"

#include <sqlite3.h>

#include "platform/code_page.h"
#include "store/side_file.h"

namespace store {
namespace {

// Text columns hold the records' code-page bytes as they are (BLOB-free TEXT, never re-encoded).
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS LastResults(key TEXT PRIMARY KEY, folder TEXT NOT NULL, "
    "application TEXT NOT NULL, operation TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL DEFAULT '', "
    "date INTEGER NOT NULL DEFAULT 0, clock INTEGER NOT NULL DEFAULT 0, hundredths INTEGER NOT NULL DEFAULT 0, "
    "error TEXT NOT NULL DEFAULT '', build_order INTEGER NOT NULL DEFAULT 0)";

}  // namespace

std::string LastResultKey(const std::string& folder, const std::string& application) {
  return platform::FoldUpper(folder + application);
}

bool LastResults::Record(const LastResult& result) {
  error_.clear();
  SideStatement put(path_, true, kSchema,
                    "INSERT INTO LastResults(key, folder, application, operation, outcome, date, clock, hundredths, "
                    "error) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) ON CONFLICT(key) DO UPDATE SET folder=?2, "
                    "application=?3, operation=?4, outcome=?5, date=?6, clock=?7, hundredths=?8, error=?9");
  if (put.ok()) {
    put.BindText(1, LastResultKey(result.folder, result.application));
    put.BindText(2, result.folder);
    put.BindText(3, result.application);
    put.BindText(4, result.operation);
    put.BindText(5, result.outcome);
    sqlite3_bind_int(put.get(), 6, result.date);
    sqlite3_bind_int(put.get(), 7, result.clock);
    sqlite3_bind_int64(put.get(), 8, result.hundredths);
    put.BindText(9, result.error);
  }
  if (put.ok() && put.Done()) return true;
  error_ = put.Why();
  return false;
}

bool LastResults::SetOrder(const std::string& folder, const std::string& application, std::int32_t order) {
  error_.clear();
  SideStatement put(path_, true, kSchema,
                    "INSERT INTO LastResults(key, folder, application, build_order) VALUES(?1, ?2, ?3, ?4) "
                    "ON CONFLICT(key) DO UPDATE SET build_order=?4");
  if (put.ok()) {
    put.BindText(1, LastResultKey(folder, application));
    put.BindText(2, folder);
    put.BindText(3, application);
    sqlite3_bind_int(put.get(), 4, order);
  }
  if (put.ok() && put.Done()) return true;
  error_ = put.Why();
  return false;
}

bool LastResults::ReadAll(std::map<std::string, LastResult>& results) {
  results.clear();
  error_.clear();
  // No file yet: no batch has kept anything, which is no error; reading does not create one.
  if (!SideFileExists(path_)) return true;
  SideStatement all(path_, false, kSchema,
                    "SELECT key, folder, application, operation, outcome, date, clock, hundredths, error, "
                    "build_order FROM LastResults",
                    read_wait_ms_);
  if (!all.ok()) {
    error_ = all.Why();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    LastResult result{.folder = all.ColumnText(1),
                      .application = all.ColumnText(2),
                      .operation = all.ColumnText(3),
                      .outcome = all.ColumnText(4),
                      .date = sqlite3_column_int(all.get(), 5),
                      .clock = sqlite3_column_int(all.get(), 6),
                      .hundredths = sqlite3_column_int64(all.get(), 7),
                      .error = all.ColumnText(8),
                      .order = sqlite3_column_int(all.get(), 9)};
    results[all.ColumnText(0)] = std::move(result);
  }
  if (rc != SQLITE_DONE) {
    error_ = all.Why();
    return false;
  }
  return true;
}

}  // namespace store
