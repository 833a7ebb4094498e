// Splitting an application's path for its record: see app_path.h.
#include "files/app_path.h"

#include <algorithm>
#include <vector>

#include "platform/code_page.h"
#include "platform/directory_lister.h"

namespace files {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The components of `path` (between separators, the empty ones of "\\server" or a trailing
// separator included) and, for each, the path up to its end.
struct Components {
  std::vector<std::string_view> parts;
  std::vector<std::string_view> prefixes;
};
Components Split(std::string_view path) {
  Components c;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    c.parts.push_back(path.substr(start, i - start));
    c.prefixes.push_back(path.substr(0, i));
    start = i + 1;
  }
  return c;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (platform::FoldUpper(a[i]) != platform::FoldUpper(b[i])) return false;
  return true;
}

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

bool NamesApplication(std::string_view given, std::string_view directory, std::string_view name,
                      platform::DirectoryLister* lister) {
  std::string stored(directory);
  stored += name;
  std::string wanted(given);
  if (std::none_of(wanted.begin(), wanted.end(), IsSeparator)) wanted = std::string(directory) + wanted;
  if (SameText(wanted, stored)) return true;
  if (lister == nullptr) return false;
  const Components a = Split(wanted);
  const Components b = Split(stored);
  if (a.parts.size() != b.parts.size()) return false;
  // The texts first, so that an application that is plainly another costs no look-up.
  std::vector<std::size_t> differing;
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    if (SameText(a.parts[i], b.parts[i])) continue;
    if (a.parts[i].find('~') == std::string_view::npos && b.parts[i].find('~') == std::string_view::npos)
      return false;
    differing.push_back(i);
  }
  for (std::size_t i : differing) {
    const std::string short_a = lister->ShortPath(std::string(a.prefixes[i]));
    if (short_a.empty() || !SameText(short_a, lister->ShortPath(std::string(b.prefixes[i])))) return false;
  }
  return true;
}

bool IsDeviceName(std::string_view file_name, std::string* device) {
  std::string_view base = file_name.substr(0, file_name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = platform::FoldUpper(base);
  bool is_device = upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL";
  if (upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT"))) {
    const char digit = upper[3];
    // 0xB9, 0xB2, 0xB3: the superscript one, two and three of the code page.
    is_device = (digit >= '1' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
  }
  if (is_device && device != nullptr) *device = upper;
  return is_device;
}

}  // namespace files
