// The peer of the backends that draw nothing: see model_peer.h.
#include "runtime/model_peer.h"

#include <algorithm>
#include <filesystem>

#include "platform/clock.h"
#include "runtime/window.h"

namespace rt {

std::string FolderKey(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

ModelPeer::ModelPeer(Window& window, platform::Clock& clock) : window_(window), clock_(clock) {
  SetTimer(window.definition().timer);
}

int ModelPeer::VisibleRows(int field) { return std::max(1, (window_.definition().control(field).h - 10) / 10); }

void ModelPeer::SetTimer(int hundredths) {
  period_ = hundredths;
  next_tick_ = period_ > 0 ? clock_.Ticks() + period_ : -1;
}

bool ModelPeer::WatchDirectory(const std::string& path) {
  std::error_code error;
  if (!path.empty() && !std::filesystem::is_directory(FolderKey(path), error)) {
    watched_.clear();
    return false;
  }
  watched_ = path;
  return true;
}

bool ModelPeer::Watches(const std::string& folder) const {
  return !watched_.empty() && FolderKey(watched_) == FolderKey(folder);
}

void ModelPeer::TimerFired(std::int64_t now) {
  next_tick_ += period_;
  if (next_tick_ <= now) next_tick_ = now + period_;
}

}  // namespace rt
