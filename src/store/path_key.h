// One key for a folder or a file, wherever the program compares them: the pool's folder rule, the
// shard split, the last results, the application form and `add`. Two spellings of one folder (letter
// case, "/" or "\", its long or its short (8.3) name) give one key. Lives with the store, below
// every user of it, so that the last results' key and the folders' key are one rule.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace platform {
class DirectoryLister;
}

namespace store {

// The key of `path` from its text alone: letter case folded as the records' keys fold it, "/" taken
// as "\". Two texts of one key name the same file; the reverse needs PathKeys.
std::string PathKeyText(std::string_view path);

// Keys that also map a short spelling to its long one, through the system (the lister's LongPath).
// Only a path with "~" in one of its components is looked up: every generated short name holds
// one, and a path without any is its own long form, so that a plainly long path costs nothing and
// its key does not depend on the disk (every CI agent splits alike). A path the system cannot
// resolve (not there, or no lister) keys by its text. Each folder is looked up once.
class PathKeys {
 public:
  explicit PathKeys(platform::DirectoryLister* lister = nullptr) : lister_(lister) {}

  // The key of a folder, with or without its final separator; it always ends in "\".
  const std::string& Folder(std::string_view folder);
  // The key of a file's full path: its folder's key, then its name's (the name resolved too when
  // it holds "~").
  std::string Path(std::string_view path);

 private:
  // The long form of `path` (no final separator), or "" where the system gives none.
  std::string Long(std::string_view path);

  platform::DirectoryLister* lister_;
  std::map<std::string, std::string, std::less<>> folders_;  // by the folder's text as given
};

// Whether a component of `path` holds "~", the mark of a generated short name.
bool MayBeShort(std::string_view path);

}  // namespace store
