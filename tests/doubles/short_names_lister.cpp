// The lister with a table of short names: see short_names_lister.h.
#include "short_names_lister.h"

#include "platform/code_page.h"

namespace test_doubles {

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
    if (found == names.end() && strict && part.find('~') != std::string::npos) return {};
    out += (found != names.end() ? found->second : part) + (i < path.size() ? std::string(1, path[i]) : "");
    part.clear();
  }
  return out;
}

int ShortNamesLister::List(const std::string& pattern, std::vector<platform::DirectoryEntry>& entries) {
  std::string folder, name;
  platform::SplitFolder(pattern, folder, name);
  if (name.find_first_of("*?") == std::string::npos) name = Spelt(name, long_of_, false);
  const int error = real_->List(Spelt(folder, long_of_, false) + name, entries);
  left_out_ = real_->LeftOut();
  return error;
}

}  // namespace test_doubles
