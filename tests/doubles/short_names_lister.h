// A directory lister as Windows is with short (8.3) names: the real lister of this platform for
// what is on disk, and a table of short names for the components a test gives one, letter case
// ignored. ShortPath and LongPath spell each component of a path by the table (either separator
// kept as given); List finds a file by a short name and in a short-named folder. With an empty
// table it is a system that gives no short names, as a volume with 8.3 names turned off.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/directory_lister.h"

namespace test_doubles {

class ShortNamesLister final : public platform::DirectoryLister {
 public:
  ShortNamesLister();
  // `short_name` is the short name of every file or folder named `long_name`.
  void Name(const std::string& long_name, const std::string& short_name);

  int List(const std::string& pattern, std::vector<platform::DirectoryEntry>& entries) override;
  // Each component by its short name where it has one (by its long name otherwise).
  std::string ShortPath(const std::string& path) override;
  // Each component by its long name; "" when a component holding "~" is no short name of the table
  // (the system would find nothing there).
  std::string LongPath(const std::string& path) override;

  int lookups = 0;  // ShortPath and LongPath calls

 private:
  std::string Spelt(const std::string& path, const std::map<std::string, std::string>& names, bool strict) const;

  std::unique_ptr<platform::DirectoryLister> real_;
  std::map<std::string, std::string> short_of_, long_of_;  // by the folded name
};

}  // namespace test_doubles
