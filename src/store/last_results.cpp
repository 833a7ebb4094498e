// The applications' last results and build order numbers: see last_results.h.
#include "store/last_results.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>

#include "platform/code_page.h"
#include "store/path_key.h"
#include "store/side_file.h"

namespace store {
namespace {

// Text columns hold the records' code-page bytes as they are (BLOB-free TEXT, never re-encoded).
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS LastResults(key TEXT PRIMARY KEY, folder TEXT NOT NULL, "
    "application TEXT NOT NULL, operation TEXT NOT NULL DEFAULT '', outcome TEXT NOT NULL DEFAULT '', "
    "date INTEGER NOT NULL DEFAULT 0, clock INTEGER NOT NULL DEFAULT 0, hundredths INTEGER NOT NULL DEFAULT 0, "
    "error TEXT NOT NULL DEFAULT '', build_order INTEGER NOT NULL DEFAULT 0, made_date INTEGER NOT NULL DEFAULT 0, "
    "made_clock INTEGER NOT NULL DEFAULT 0, ide_process INTEGER NOT NULL DEFAULT 0, "
    "long_path TEXT NOT NULL DEFAULT '')";
// Columns added since the first files were written: added to an older file when it is written.
constexpr const char* kAddedColumns[] = {
    "ALTER TABLE LastResults ADD COLUMN made_date INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE LastResults ADD COLUMN made_clock INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE LastResults ADD COLUMN ide_process INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE LastResults ADD COLUMN long_path TEXT NOT NULL DEFAULT ''", nullptr};

// A whole number of the 32-bit range, or 0: a text, a fraction or a number that would wrap (a
// hand-edited 4294967297 is not 1) is left out.
std::int32_t Whole32(sqlite3_stmt* statement, int column) {
  if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) return 0;
  const sqlite3_int64 value = sqlite3_column_int64(statement, column);
  return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<std::int32_t>(value);
}

// A process id (0 to 4294967295), or 0 when the column is missing or holds anything else.
std::uint32_t IdeProcess(sqlite3_stmt* statement, int column) {
  if (column < 0 || sqlite3_column_type(statement, column) != SQLITE_INTEGER) return 0;
  const sqlite3_int64 value = sqlite3_column_int64(statement, column);
  return value < 0 || value > UINT32_MAX ? 0 : static_cast<std::uint32_t>(value);
}

}  // namespace

std::string LastResultKey(const std::string& folder, const std::string& application) {
  return PathKeyText(folder + application);
}

namespace {

// Files written before "/" and "\" keyed alike hold an application stored with "/" under its
// case-folded text alone: such an entry takes the key of today before it is written to, so that
// no application ends up with two entries.
bool TakeLegacyKey(const std::string& path, const std::string& folder, const std::string& application,
                   std::string& error) {
  const std::string key = LastResultKey(folder, application);
  const std::string legacy = platform::FoldUpper(folder + application);
  if (legacy == key) return true;
  SideStatement rekey(path, true, kSchema, "UPDATE OR REPLACE LastResults SET key=?1 WHERE key=?2", kSideFileWait,
                      kAddedColumns);
  if (rekey.ok()) {
    rekey.BindText(1, key);
    rekey.BindText(2, legacy);
  }
  if (rekey.ok() && rekey.Done()) return true;
  error = rekey.Why();
  return false;
}

}  // namespace

bool LastResults::Record(const LastResult& result) {
  error_.clear();
  if (!TakeLegacyKey(path_, result.folder, result.application, error_)) return false;
  SideStatement put(path_, true, kSchema,
                    "INSERT INTO LastResults(key, folder, application, operation, outcome, date, clock, hundredths, "
                    "error, made_date, made_clock, ide_process, long_path) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13) "
                    "ON CONFLICT(key) DO UPDATE SET folder=?2, application=?3, operation=?4, outcome=?5, date=?6, "
                    "clock=?7, hundredths=?8, error=?9, made_date=CASE WHEN ?10 <> 0 THEN ?10 ELSE made_date END, "
                    "made_clock=CASE WHEN ?10 <> 0 THEN ?11 ELSE made_clock END, ide_process=?12, "
                    "long_path=CASE WHEN ?13 <> '' THEN ?13 ELSE long_path END",
                    kSideFileWait, kAddedColumns);
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
    sqlite3_bind_int(put.get(), 10, result.made_date);
    sqlite3_bind_int(put.get(), 11, result.made_clock);
    sqlite3_bind_int64(put.get(), 12, result.ide_process);
    put.BindText(13, result.long_path);
  }
  if (put.ok() && put.Done()) return true;
  error_ = put.Why();
  return false;
}

// One value of an application's entry set (?4 in `sql`, bound by `bind`), the entry made when
// there is none.
bool LastResults::SetOne(const std::string& folder, const std::string& application, const char* sql,
                         const std::function<void(SideStatement&)>& bind) {
  error_.clear();
  if (!TakeLegacyKey(path_, folder, application, error_)) return false;
  SideStatement put(path_, true, kSchema, sql, kSideFileWait, kAddedColumns);
  if (put.ok()) {
    put.BindText(1, LastResultKey(folder, application));
    put.BindText(2, folder);
    put.BindText(3, application);
    bind(put);
  }
  if (put.ok() && put.Done()) return true;
  error_ = put.Why();
  return false;
}

bool LastResults::SetOrder(const std::string& folder, const std::string& application, std::int32_t order) {
  return SetOne(folder, application,
                "INSERT INTO LastResults(key, folder, application, build_order) VALUES(?1, ?2, ?3, ?4) "
                "ON CONFLICT(key) DO UPDATE SET build_order=?4",
                [order](SideStatement& put) { sqlite3_bind_int(put.get(), 4, order); });
}

bool LastResults::SetLongPath(const std::string& folder, const std::string& application,
                              const std::string& long_path) {
  return SetOne(folder, application,
                "INSERT INTO LastResults(key, folder, application, long_path) VALUES(?1, ?2, ?3, ?4) "
                "ON CONFLICT(key) DO UPDATE SET long_path=?4",
                [&long_path](SideStatement& put) { put.BindText(4, long_path); });
}

bool LastResults::Move(const std::string& folder, const std::string& application, const std::string& new_folder,
                       const std::string& new_application) {
  error_.clear();
  if (!SideFileExists(path_)) return true;
  if (!TakeLegacyKey(path_, folder, application, error_)) return false;
  SideStatement move(path_, true, kSchema,
                     "UPDATE OR REPLACE LastResults SET key=?2, folder=?3, application=?4 WHERE key=?1",
                     kSideFileWait, kAddedColumns);
  if (move.ok()) {
    move.BindText(1, LastResultKey(folder, application));
    move.BindText(2, LastResultKey(new_folder, new_application));
    move.BindText(3, new_folder);
    move.BindText(4, new_application);
  }
  if (move.ok() && move.Done()) return true;
  error_ = move.Why();
  return false;
}

bool LastResults::Forget(const std::string& folder, const std::string& application) {
  error_.clear();
  if (!SideFileExists(path_)) return true;
  SideStatement forget(path_, false, kSchema, "DELETE FROM LastResults WHERE key=?1 OR key=?2");
  if (forget.ok()) {
    forget.BindText(1, LastResultKey(folder, application));
    forget.BindText(2, platform::FoldUpper(folder + application));
  }
  if (forget.ok() && forget.Done()) return true;
  error_ = forget.Why();
  return false;
}

bool LastResults::ReadAll(std::map<std::string, LastResult>& results) {
  results.clear();
  error_.clear();
  // No file yet: no batch has kept anything, which is no error; reading does not create one.
  if (!SideFileExists(path_)) return true;
  // By the columns' names, so that a file written before a column was added reads too.
  SideStatement all(path_, false, kSchema, "SELECT * FROM LastResults", read_wait_ms_);
  if (!all.ok()) {
    error_ = all.Why();
    return false;
  }
  std::map<std::string, int> column;
  for (int i = 0; i < sqlite3_column_count(all.get()); ++i) column[sqlite3_column_name(all.get(), i)] = i;
  auto text = [&](const char* name) { return column.contains(name) ? all.ColumnText(column[name]) : std::string(); };
  auto whole = [&](const char* name) { return column.contains(name) ? Whole32(all.get(), column[name]) : 0; };
  int rc;
  while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
    LastResult result{.folder = text("folder"),
                      .application = text("application"),
                      .operation = text("operation"),
                      .outcome = text("outcome"),
                      .date = whole("date"),
                      .clock = whole("clock"),
                      .hundredths = column.contains("hundredths") &&
                                            sqlite3_column_type(all.get(), column["hundredths"]) == SQLITE_INTEGER
                                        ? std::max<std::int64_t>(0, sqlite3_column_int64(all.get(), column["hundredths"]))
                                        : 0,
                      .error = text("error"),
                      .order = std::max(0, whole("build_order")),
                      .made_date = whole("made_date"),
                      .made_clock = whole("made_clock"),
                      .ide_process = IdeProcess(all.get(), column.contains("ide_process") ? column["ide_process"] : -1),
                      .long_path = text("long_path")};
    // By the key of today, whatever rule the file's writer keyed it by.
    std::string key = LastResultKey(result.folder, result.application);
    results[std::move(key)] = std::move(result);
  }
  if (rc != SQLITE_DONE) {
    error_ = all.Why();
    return false;
  }
  return true;
}

}  // namespace store
