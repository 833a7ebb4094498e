// The SQL text of one record file, derived from its layout table: the schema with its stamps and
// every statement the record file runs. Text only; nothing here touches a database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/records.h"

namespace store {

// The statements of a file, prepared once on first use and reset after every use.
enum StatementId : int {
  kFirst,        // first record in key order
  kLast,         // last record in key order
  kEqualAfter,   // same key value, larger id
  kKeyAfter,     // larger key value
  kEqualBefore,  // same key value, smaller id
  kKeyBefore,    // smaller key value
  kFileAfter,    // file order: larger id
  kFileBefore,   // file order: smaller id
  kById,
  kCount,
  kKeysInOrder,  // the key columns alone, every record in key order
  kIdSpan,       // the lowest and the highest id
  kCountIds,     // how many records have ids from ?1 to ?2
  kCountUpTo,    // how many records there are, counted no further than ?1
  kPrefixFirst,  // two-part key: the first key at or after (?1, ?2) whose first part is below ?3
  kPrefixSecond, // two-part key: the first key whose second part lies in [?3, ?4), folder by folder
  kInsert,
  kUpdate,
  kUpdateWatched,
  kDelete,
  kDeleteWatched,
  kDuplicate,
  kStatementCount
};

// Every select lists id, chg, the fields in layout order and then the key columns; reads take
// their columns by those places. Writes bind the fields as ?1..?n, the folded key texts after them,
// then the id and (when watched) the change counter.
struct SqlText {
  explicit SqlText(const FileLayout& layout);

  // Columns: id (identity and file order, never given again: AUTOINCREMENT), chg (the change
  // counter), the fields, and for each case-insensitive string component of the key a folded
  // shadow column that the index orders with plain byte comparison, so any SQLite tool reads it.
  std::string create_table;
  std::string create_index;
  std::int32_t layout_version = 0;  // the user_version stamp: a hash of the two texts above
  // The stamp of files written before ids were kept for life (the same table without AUTOINCREMENT).
  std::int32_t legacy_version = 0;
  std::vector<std::string> key_columns;  // the indexed column of each key component
  std::vector<bool> folded;              // per key component: it has a folded shadow column
  std::string statements[kStatementCount];
  // The soundness check of the key: the id and key columns of the records read without the index,
  // and a search for one record (key columns ?1..?k, id ?k+1) that must go through it.
  std::string check_rows;
  std::string check_lookup;
};

// The stamp of our files, beside user_version: "NjR1".
inline constexpr std::int32_t kApplicationId = 0x4E6A5231;

}  // namespace store
