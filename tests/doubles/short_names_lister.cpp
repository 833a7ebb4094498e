// The lister with a table of short names: see short_names_lister.h.
#include "short_names_lister.h"

#include "platform/code_page.h"

namespace test_doubles {

ShortNamesLister::ShortNamesLister() : real_(platform::MakeDirectoryLister()) {}

void ShortNamesLister::Name(const std::string& long_name, const std::string& short_name) {
  short_of_[platform::FoldUpper(long_name)] = short_name;
  long_of_[platform::FoldUpper(short_name)] = long_name;
}

std::string ShortNamesLister::Spelt(const std::string& path, const std::map<std::string, std::string>& names,
                                    bool strict) const {
  std::string out, part;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\' && path[i] != '/') {
      part += path[i];
      continue;
    }
    auto found = names.find(platform::FoldUpper(part));
    if (found != names.end()) out += found->second;
    else if (strict && part.find('~') != std::string::npos) return {};
    else out += part;
    if (i < path.size()) out += path[i];
    part.clear();
  }
  return out;
}

int ShortNamesLister::List(const std::string& pattern, std::vector<platform::DirectoryEntry>& entries) {
  std::string folder, name;
  platform::SplitFolder(pattern, folder, name);
  const bool exact = name.find_first_of("*?") == std::string::npos;
  const int error = real_->List(Spelt(folder, long_of_, false) + (exact ? Spelt(name, long_of_, false) : name), entries);
  left_out_ = real_->LeftOut();
  return error;
}

std::string ShortNamesLister::ShortPath(const std::string& path) {
  ++lookups;
  return Spelt(path, short_of_, false);
}

std::string ShortNamesLister::LongPath(const std::string& path) {
  ++lookups;
  return Spelt(path, long_of_, true);
}

}  // namespace test_doubles
