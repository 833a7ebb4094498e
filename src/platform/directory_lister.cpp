// What every directory lister shares: the name pattern, splitting off the folder, the day number of
// a file's date and the order of the entries.
#include "platform/directory_lister.h"

#include "platform/code_page.h"
#include "platform/file_access.h"
#include "platform/program_starter.h"

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

char Upper(char c) { return FoldUpper(c); }

}  // namespace

bool MatchesNamePattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*") return true;
  // Greedy matching with one point to come back to: the latest "*" and the name position it took.
  std::size_t n = 0, p = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void SplitFolder(std::string_view pattern, std::string& folder, std::string& name) {
  std::size_t separator = pattern.find_last_of("\\/");
  if (separator == std::string_view::npos) {
    folder.clear();
    name = std::string(pattern);
    return;
  }
  folder = std::string(pattern.substr(0, separator + 1));
  name = std::string(pattern.substr(separator + 1));
}

DirectoryLister::ProgramFolders DirectoryLister::ProgramSearch() {
  ProgramFolders folders;
  if (!file_access::FullFolderPath("", folders.current)) folders.current.clear();
  folders.own = OwnFolder();
#ifdef _WIN32
  constexpr char kListSeparator = ';';
#else
  constexpr char kListSeparator = ':';
#endif
  const char* path = std::getenv("PATH");
  folders.path = SearchFolders(path != nullptr ? path : "", kListSeparator, kPathSeparator);
  return folders;
}

void SortByName(std::vector<DirectoryEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) { return Upper(x) < Upper(y); });
  });
}

}  // namespace platform
