// Splitting an application's path for its record: see app_path.h.
#include "files/app_path.h"

#include "platform/directory_lister.h"

namespace files {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

AppPath SplitAppPath(std::string_view full) {
  std::size_t p = 0;  // characters up to and including the last separator
  for (std::size_t i = 0; i < full.size(); ++i)
    if (IsSeparator(full[i])) p = i + 1;
  return {std::string(full.substr(0, p)), std::string(full.substr(p))};
}

std::string WithSeparator(std::string_view directory) {
  std::string d(directory);
  if ((d.empty() || !IsSeparator(d.back())) && d.size() < kDirectoryWidth) d += platform::kPathSeparator;
  return d;
}

AppPath FitAppPath(std::string& full, platform::DirectoryLister& lister) {
  AppPath parts = SplitAppPath(full);
  if (parts.Fits()) return parts;
  std::string short_path = lister.ShortPath(full);
  if (short_path.empty() || !SplitAppPath(short_path).Fits()) return parts;
  full = short_path;
  return SplitAppPath(full);
}

}  // namespace files
