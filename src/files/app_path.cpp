// Splitting an application's path for its record: see app_path.h.
#include "files/app_path.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "store/path_key.h"

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

// By their keys: letter case folded, "/" and "\" alike.
bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && store::PathKeyText(a) == store::PathKeyText(b);
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

namespace {

// FNV-1a over the key of `text`, 64 bits: the same on every station and every build.
std::uint64_t KeyHash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : store::PathKeyText(text)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// `count` characters of `hash`, five bits each, in digits and letters that never read as another.
std::string HashText(std::uint64_t hash, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  std::string text;
  for (std::size_t i = 0; i < count; ++i, hash >>= 5) text += kDigits[hash & 31];
  return text;
}

}  // namespace

std::string KeyedFolder(std::string_view long_folder) {
  std::string folder(long_folder);
  if (folder.empty() || !IsSeparator(folder.back())) folder += platform::kPathSeparator;
  const char separator = folder.back();
  constexpr std::size_t kHashed = 8;
  // Whole leading folders, up to their separator, leaving room for the mark, the hash and a separator.
  std::size_t keep = 0;
  for (std::size_t i = 0; i < folder.size() && i + 1 + kHashed + 1 <= kDirectoryWidth; ++i)
    if (IsSeparator(folder[i])) keep = i + 1;
  return folder.substr(0, keep) + kKeyMark + HashText(KeyHash(folder), kHashed) + separator;
}

std::string KeyedName(std::string_view long_name) {
  std::string_view extension;
  if (const std::size_t dot = long_name.find_last_of('.'); dot != std::string_view::npos && dot > 0 &&
                                                           long_name.size() - dot <= 4 && long_name.size() - dot > 1)
    extension = long_name.substr(dot);
  return kKeyMark + HashText(KeyHash(long_name), kApplicationWidth - 1 - extension.size()) + std::string(extension);
}

bool IsKeyed(std::string_view stored_path) { return stored_path.find(kKeyMark) != std::string_view::npos; }

std::string CommandPath(std::string_view directory, std::string_view name, std::string_view long_path) {
  std::string stored = std::string(directory) + std::string(name);
  if (IsKeyed(stored) && !long_path.empty()) return std::string(long_path);
  return stored;
}

std::string StoreFolder(std::string_view folder, platform::DirectoryLister& lister) {
  // The folder keeps the separator it was given.
  const char separator = !folder.empty() && IsSeparator(folder.back()) ? folder.back() : platform::kPathSeparator;
  std::string bare(folder);
  while (bare.size() > 1 && IsSeparator(bare.back())) bare.pop_back();
  std::string long_form = store::MayBeShort(bare) ? lister.LongPath(bare) : std::string();
  if (long_form.empty()) long_form = bare;
  const std::string directory = long_form + (IsSeparator(long_form.back()) ? "" : std::string(1, separator));
  if (directory.size() <= kDirectoryWidth) return directory;
  std::string short_form = lister.ShortPath(long_form);
  if (!short_form.empty() && !IsSeparator(short_form.back())) short_form += separator;
  if (!short_form.empty() && short_form.size() <= kDirectoryWidth) return short_form;
  return KeyedFolder(directory);
}

StoredPath StoreAppPath(const std::string& given, platform::DirectoryLister& lister) {
  StoredPath stored;
  stored.long_path = lister.LongPath(given);
  if (stored.long_path.empty()) stored.long_path = given;
  const AppPath long_parts = SplitAppPath(stored.long_path);
  stored.parts.directory = long_parts.directory.empty() ? std::string() : StoreFolder(long_parts.directory, lister);
  std::string& name = stored.parts.name;
  name = long_parts.name;
  if (name.size() > kApplicationWidth) {
    const AppPath short_parts = SplitAppPath(lister.ShortPath(stored.long_path));
    name = !short_parts.name.empty() && short_parts.name.size() <= kApplicationWidth ? short_parts.name
                                                                                     : KeyedName(long_parts.name);
  }
  return stored;
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
