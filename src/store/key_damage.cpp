// A damaged record file read as it is: see key_damage.h.
#include "store/key_damage.h"

#include <sqlite3.h>

#include "store/record_file.h"
#include "store/sql_text.h"

namespace store {
namespace {

// Runs `sql` over every row; false on an error, and `cut_short` when it was the file's damage.
template <typename Row>
bool EachRow(sqlite3* db, const std::string& sql, KeyDamage& damage, Row row) {
  sqlite3_stmt* statement = nullptr;
  int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    row(statement);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(statement);
  if (rc == SQLITE_DONE || rc == SQLITE_OK) return true;
  if ((rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_IOERR) damage.cut_short = true;
  if (damage.error.empty()) damage.error = sqlite3_errmsg(db);
  return false;
}

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, column))
                         : "";
}

}  // namespace

KeyDamage InspectKeyDamage(const FileLayout& layout) {
  KeyDamage damage;
  const std::string path = std::string(layout.disk_name) + kDiskExtension;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    damage.error = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    return damage;
  }
  const std::string table = layout.label;
  // Pages the file's own structure names but cannot give (a cut-short file) show here.
  EachRow(db, "PRAGMA quick_check", damage, [&](sqlite3_stmt* row) {
    if (Text(row, 0) != "ok") damage.cut_short = true;
  });
  const SqlText sql(layout);
  std::string any_empty, key_fields, key_groups;
  bool all_text = true;
  for (int i = 0; i < layout.field_count; ++i)
    any_empty += std::string(i ? " OR " : "") + layout.fields[i].name + " IS NULL";
  for (int p = 0; p < layout.key.part_count; ++p) {
    const FieldLayout& field = layout.fields[layout.key.parts[p]];
    all_text = all_text && field.type == FieldType::String;
    key_fields += std::string(p ? ", " : "") + "min(" + field.name + ")";
    key_groups += (p ? ", " : "") + sql.key_columns[static_cast<std::size_t>(p)];
  }
  bool read = EachRow(db, "SELECT count(*) FROM " + table + " NOT INDEXED WHERE " + any_empty, damage,
                      [&](sqlite3_stmt* row) { damage.empty_fields = sqlite3_column_int64(row, 0); });
  if (layout.key.unique) {
    read = EachRow(db,
                   "SELECT " + key_fields + " FROM " + table + " NOT INDEXED GROUP BY " + key_groups +
                       " HAVING count(*) > 1 LIMIT " + std::to_string(kMaxShownDuplicates),
                   damage,
                   [&](sqlite3_stmt* row) {
                     std::string key;
                     for (int p = 0; p < layout.key.part_count; ++p)
                       key += (p > 0 && !all_text ? " " : "") + Text(row, p);
                     damage.duplicates.push_back(key);
                   }) &&
           read;
  }
  damage.read = read;
  sqlite3_close_v2(db);
  return damage;
}

}  // namespace store
