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

ModelPeer::ModelPeer(Window& window, platform::Clock& clock)
    : window_(window), clock_(clock),
      layout_(window.definition(), DefinedBoxes(window.definition()), window.definition().w, window.definition().h) {
  SetTimer(window.definition().timer);
  placement_.width = window.definition().w;
  placement_.height = window.definition().h;
  if (const auto& kept = window.initial_placement())
    placement_ = FitPlacement(*kept, kModelScreen, layout_.min_width(), layout_.min_height());
}

int ModelPeer::VisibleRows(int field) {
  int height = window_.definition().control(field).h;
  if (field == layout_.grower()) {
    const bool full = placement_.maximised;
    height = layout_.Place(full ? kModelScreen.width() : placement_.width,
                           full ? kModelScreen.height() : placement_.height)[static_cast<std::size_t>(field - 1)]
                 .height();
  }
  return std::max(1, (height - 10) / 10);
}

WindowPlacement ModelPeer::Placement() const { return placement_; }

void ModelPeer::Resize(int width, int height) {
  if (!window_.definition().resizable) return;
  const int list = layout_.grower();
  const int rows = list != 0 ? VisibleRows(list) : 0;
  WindowPlacement next = placement_;
  next.width = width;
  next.height = height;
  next.maximised = false;
  placement_ = FitPlacement(next, kModelScreen, layout_.min_width(), layout_.min_height());
  if (list != 0 && VisibleRows(list) != rows) window_.UserResized();
}

void ModelPeer::Maximise() {
  if (!window_.definition().resizable) return;
  const int list = layout_.grower();
  const int rows = list != 0 ? VisibleRows(list) : 0;
  placement_.maximised = true;
  if (list != 0 && VisibleRows(list) != rows) window_.UserResized();
}

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
