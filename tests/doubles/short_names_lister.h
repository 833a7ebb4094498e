// A directory lister as Windows is with short (8.3) names: the real lister for what is on disk,
// and a table of short names for the components a test names, letter case ignored. ShortPath and
// LongPath spell each component by the table (LongPath gives "" for a "~" name it does not know);
// List finds a file by its short name, in a short-named folder. With an empty table it is a
// system that gives no short names, as a volume with 8.3 names turned off.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/directory_lister.h"

namespace test_doubles {

class ShortNamesLister : public platform::DirectoryLister {
 public:
  ShortNamesLister() : real_(platform::MakeDirectoryLister()) {}
  void Name(const std::string& long_name, const std::string& short_name);

  int List(const std::string& pattern, std::vector<platform::DirectoryEntry>& entries) override;
  std::string ShortPath(const std::string& path) override { return ++lookups, Spelt(path, short_of_, false); }
  std::string LongPath(const std::string& path) override { return ++lookups, Spelt(path, long_of_, true); }
  ProgramFolders ProgramSearch() override { return program_search; }
  ProgramFolders program_search;  // where a bare program name is looked for
  int lookups = 0;  // ShortPath and LongPath calls

 private:
  std::string Spelt(const std::string& path, const std::map<std::string, std::string>& names, bool strict) const;

  std::unique_ptr<platform::DirectoryLister> real_;
  std::map<std::string, std::string> short_of_, long_of_;  // by the folded name
};

}  // namespace test_doubles
