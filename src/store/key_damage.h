// What a rebuild of a record file's key mends and what it cannot, found by reading the file
// without its key and without writing to it: told to a person whose file halted the program with
// a damaged key, before a confirmed batch or the window program rebuilds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/records.h"

namespace store {

struct KeyDamage {
  bool read = false;            // the file was opened and its records read, as far as they go
  bool cut_short = false;       // pages are missing or unreadable (a cut-short file): records may be lost
  std::int64_t empty_fields = 0;  // records with an empty (NULL) field, which no rebuild fills in
  // Key values held by more than one record (at most kMaxShown of them), each as its fields
  // joined; a unique key cannot be rebuilt over them.
  std::vector<std::string> duplicates;
  std::string error;  // why the file could not be read, when !read
};

inline constexpr int kMaxShownDuplicates = 10;

// Looks at the disk file of `layout` in the current folder.
KeyDamage InspectKeyDamage(const FileLayout& layout);

}  // namespace store
