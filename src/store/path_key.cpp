// The key of a folder or a file: see path_key.h.
#include "store/path_key.h"

#include <algorithm>

#include "platform/code_page.h"
#include "platform/directory_lister.h"

namespace store {

std::string PathKeyText(std::string_view path) {
  std::string key = platform::FoldUpper(path);
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

bool MayBeShort(std::string_view path) { return path.find('~') != std::string_view::npos; }

std::string PathKeys::Long(std::string_view path) {
  if (lister_ == nullptr || !MayBeShort(path)) return {};
  return lister_->LongPath(std::string(path));
}

const std::string& PathKeys::Folder(std::string_view folder) {
  if (auto found = folders_.find(folder); found != folders_.end()) return found->second;
  std::string_view bare = folder;
  while (bare.size() > 1 && (bare.back() == '\\' || bare.back() == '/')) bare.remove_suffix(1);
  const std::string resolved = Long(bare);
  std::string key = PathKeyText(resolved.empty() ? bare : std::string_view(resolved));
  if (key.empty() || key.back() != '\\') key += '\\';
  return folders_.emplace(std::string(folder), std::move(key)).first->second;
}

std::string PathKeys::Path(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  const std::string_view folder = cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1);
  const std::string_view name = path.substr(cut == std::string_view::npos ? 0 : cut + 1);
  if (MayBeShort(name)) {
    const std::string resolved = Long(path);
    const std::size_t resolved_cut = resolved.find_last_of("\\/");
    if (resolved_cut != std::string::npos)
      return Folder(resolved.substr(0, resolved_cut + 1)) + PathKeyText(resolved.substr(resolved_cut + 1));
  }
  return (folder.empty() ? std::string() : Folder(folder)) + PathKeyText(name);
}

}  // namespace store
