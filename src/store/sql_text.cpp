// Builds the schema and statement texts of a record file from its layout.
#include "store/sql_text.h"

#include <string_view>

namespace store {

namespace {

std::int32_t HashText(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return static_cast<std::int32_t>(hash & 0x7FFFFFFF);
}

}  // namespace

SqlText::SqlText(const FileLayout& layout) {
  const std::string table = layout.label;
  const KeyLayout& key = layout.key;

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
    folded.push_back(f.type == FieldType::String && key.ignore_case);
    if (folded.back()) {
      key_columns.push_back(std::string(f.name) + "_fold");
      columns += ", " + key_columns.back() + " TEXT NOT NULL";
      fold_list += ", " + key_columns.back();
    } else {
      key_columns.push_back(f.name);
    }
  }
  create_table = "CREATE TABLE " + table + "(" + columns + ")";
  std::string index_columns;
  for (std::size_t p = 0; p < key_columns.size(); ++p) index_columns += (p ? ", " : "") + key_columns[p];
  create_index = std::string("CREATE ") + (key.unique ? "UNIQUE " : "") + "INDEX " + key.name + " ON " + table +
                 "(" + index_columns + ")";
  layout_version = HashText(create_table + ";" + create_index);
  std::string legacy_table = create_table;
  legacy_table.erase(legacy_table.find(" AUTOINCREMENT"), std::string_view(" AUTOINCREMENT").size());
  legacy_version = HashText(legacy_table + ";" + create_index);

  std::string key_list;
  for (const std::string& c : key_columns) key_list += ", " + c;
  const std::string select = "SELECT id, chg, " + field_list + key_list + " FROM " + table;

  // Key comparisons: equality of every component, and the row-value comparison that SQLite serves
  // from the index.
  std::string equal, tuple = "(", params = "(", ascending, descending;
  for (std::size_t p = 0; p < key_columns.size(); ++p) {
    const std::string n = std::to_string(p + 1);
    equal += (p ? " AND " : "") + key_columns[p] + "=?" + n;
    tuple += (p ? ", " : "") + key_columns[p];
    params += (p ? ", ?" : "?") + n;
    ascending += key_columns[p] + ", ";
    descending += key_columns[p] + " DESC, ";
  }
  tuple += ")";
  params += ")";
  const std::string id_param = "?" + std::to_string(key_columns.size() + 1);

  statements[kFirst] = select + " ORDER BY " + ascending + "id LIMIT 1";
  statements[kLast] = select + " ORDER BY " + descending + "id DESC LIMIT 1";
  statements[kEqualAfter] = select + " WHERE " + equal + " AND id>" + id_param + " ORDER BY id LIMIT 1";
  statements[kKeyAfter] = select + " WHERE " + tuple + ">" + params + " ORDER BY " + ascending + "id LIMIT 1";
  statements[kEqualBefore] = select + " WHERE " + equal + " AND id<" + id_param + " ORDER BY id DESC LIMIT 1";
  statements[kKeyBefore] = select + " WHERE " + tuple + "<" + params + " ORDER BY " + descending + "id DESC LIMIT 1";
  statements[kFileAfter] = select + " WHERE id>?1 ORDER BY id LIMIT 1";
  statements[kFileBefore] = select + " WHERE id<?1 ORDER BY id DESC LIMIT 1";
  statements[kById] = select + " WHERE id=?1";
  statements[kCount] = "SELECT count(*) FROM " + table;
  // Served by the key's index alone (it holds the key columns and the id): no record is read.
  std::string key_select;
  for (std::size_t p = 0; p < key_columns.size(); ++p) key_select += (p ? ", " : "") + key_columns[p];
  statements[kKeysInOrder] = "SELECT " + key_select + " FROM " + table + " ORDER BY " + ascending + "id";
  // Both min and max in one statement would scan the table: two searches of the id's tree instead.
  statements[kIdSpan] = "SELECT (SELECT min(id) FROM " + table + "), (SELECT max(id) FROM " + table + ")";
  statements[kCountIds] = "SELECT count(*) FROM " + table + " WHERE id BETWEEN ?1 AND ?2";
  statements[kCountUpTo] = "SELECT count(*) FROM (SELECT 1 FROM " + table + " LIMIT ?1)";
  if (key_columns.size() == 2) {
    const std::string& first = key_columns[0];
    const std::string& second = key_columns[1];
    statements[kPrefixFirst] = "SELECT " + key_select + ", id FROM " + table + " WHERE " + tuple + ">=(?1, ?2) AND " +
                               first + "<?3 ORDER BY " + ascending + "id LIMIT 1";
    // Walks the distinct first parts from ?1 (the walk stops after ?5), each one search of the
    // index, and looks in each for a second part from ?3 (from ?2 in the first) below ?4: one search
    // more. No record is read, and a first part's records are never stepped through one by one.
    statements[kPrefixSecond] =
        "WITH RECURSIVE part(value) AS (SELECT ?1 UNION ALL SELECT (SELECT min(" + first + ") FROM " + table +
        " WHERE " + first + ">part.value) FROM part WHERE part.value<?5) SELECT part.value, (SELECT " + second +
        " FROM " + table + " WHERE " + first + "=part.value AND " + second + ">=(CASE WHEN part.value=?1 THEN ?2 ELSE ?3 END) AND " +
        second + "<?4 ORDER BY " + second + " LIMIT 1) AS hit FROM part WHERE part.value<=?5 AND hit IS NOT NULL LIMIT 1";
  }

  std::string values, sets;
  int param = 1;
  for (int i = 0; i < layout.field_count; ++i, ++param) {
    values += (i ? ", ?" : "?") + std::to_string(param);
    sets += std::string(", ") + layout.fields[i].name + "=?" + std::to_string(param);
  }
  for (std::size_t p = 0; p < key_columns.size(); ++p) {
    if (!folded[p]) continue;
    values += ", ?" + std::to_string(param);
    sets += ", " + key_columns[p] + "=?" + std::to_string(param);
    ++param;
  }
  const std::string where_id = " WHERE id=?" + std::to_string(param);
  const std::string and_chg = " AND chg=?" + std::to_string(param + 1);
  statements[kInsert] =
      "INSERT INTO " + table + "(chg, " + field_list + fold_list + ") VALUES(0, " + values + ") RETURNING id";
  statements[kUpdate] = "UPDATE " + table + " SET chg=chg+1" + sets + where_id + " RETURNING chg";
  statements[kUpdateWatched] = "UPDATE " + table + " SET chg=chg+1" + sets + where_id + and_chg + " RETURNING chg";
  statements[kDelete] = "DELETE FROM " + table + " WHERE id=?1";
  statements[kDeleteWatched] = "DELETE FROM " + table + " WHERE id=?1 AND chg=?2";
  statements[kDuplicate] = "SELECT 1 FROM " + table + " WHERE " + equal + " AND id<>" + id_param + " LIMIT 1";

  check_rows = "SELECT id" + key_list + " FROM " + table + " NOT INDEXED";
  check_lookup = "SELECT 1 FROM " + table + " INDEXED BY " + key.name + " WHERE " + equal + " AND id=" + id_param;
}

}  // namespace store
