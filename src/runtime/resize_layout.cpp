// The controls of a resized window and a kept window place on a screen: see resize_layout.h.
#include "runtime/resize_layout.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace rt {
namespace {

bool Inside(const Box& inner, const Box& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

}  // namespace

ResizeLayout::ResizeLayout(const WindowDef& definition, std::vector<Box> designed, int width, int height)
    : designed_(std::move(designed)), width_(width), height_(height) {
  const int count = std::min(definition.ControlCount(), static_cast<int>(designed_.size()));
  designed_.resize(static_cast<std::size_t>(count));
  anchors_.resize(designed_.size());
  for (int field = 1; field <= count && grower_ == 0; ++field)
    if (definition.control(field).kind == ControlKind::List) grower_ = field;

  // Who follows whom: a group's members follow the group, a prompt its control. 0: itself.
  std::vector<int> leaders(designed_.size(), 0);
  auto leader = [&](int field) -> int& { return leaders[static_cast<std::size_t>(field - 1)]; };
  auto box = [&](int field) -> const Box& { return designed_[static_cast<std::size_t>(field - 1)]; };
  for (int field = 1; field <= count; ++field) {
    const ControlDef& c = definition.control(field);
    if (c.kind != ControlKind::Group) continue;
    // A group inside an earlier group follows that one's leader, and so do its own members.
    const int head = leader(field) != 0 ? leader(field) : field;
    for (int member = field + 1; member <= count; ++member) {
      if (member == grower_ || leader(member) != 0) continue;
      if (member <= field + c.members || Inside(box(member), box(field))) leader(member) = head;
    }
  }
  for (int field = 1; field <= count; ++field) {
    std::string_view name = definition.control(field).name;
    constexpr std::string_view kPrompt = ":Prompt";
    if (definition.control(field).kind != ControlKind::Prompt || !name.ends_with(kPrompt)) continue;
    int labelled = definition.FieldOf(name.substr(0, name.size() - kPrompt.size()));
    if (labelled == 0 || labelled > count || labelled == field) continue;
    // Through the labelled control's own leader, so the prompt goes where its control goes.
    int target = leader(labelled) != 0 ? leader(labelled) : labelled;
    if (target != field && target != grower_) leader(field) = target;
  }

  for (int field = 1; field <= count; ++field) {
    if (field == grower_) anchors_[static_cast<std::size_t>(field - 1)].grows = true;
    else if (leader(field) == 0) anchors_[static_cast<std::size_t>(field - 1)] = ByPlace(box(field));
  }
  for (int field = 1; field <= count; ++field) {
    int head = leader(field);
    // A prompt may follow a control that follows a group: go to the end of the chain.
    for (int steps = 0; head != 0 && leader(head) != 0 && steps < count; ++steps) head = leader(head);
    if (head != 0) anchors_[static_cast<std::size_t>(field - 1)] = anchors_[static_cast<std::size_t>(head - 1)];
  }
}

Anchor ResizeLayout::ByPlace(const Box& box) const {
  Anchor anchor;
  // Twice the centre against the whole width: no rounding.
  anchor.right = box.left + box.right > width_;
  anchor.bottom = box.top + box.bottom > height_;
  if (grower_ != 0) {
    // Beside the list (its centre within the list's rows), a control keeps to the list's side it
    // is on; above or below it (its centre within the list's columns), likewise. Doubled again.
    const Box& list = designed_[static_cast<std::size_t>(grower_ - 1)];
    const int x2 = box.left + box.right, y2 = box.top + box.bottom;
    if (y2 >= 2 * list.top && y2 <= 2 * list.bottom) anchor.right = x2 > list.left + list.right;
    if (x2 >= 2 * list.left && x2 <= 2 * list.right) anchor.bottom = y2 > list.top + list.bottom;
  }
  return anchor;
}

std::vector<Box> ResizeLayout::Place(int width, int height) const {
  const int dx = std::max(0, width - width_), dy = std::max(0, height - height_);
  std::vector<Box> boxes = designed_;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    Box& b = boxes[i];
    const Anchor& a = anchors_[i];
    if (a.grows) {
      b.right += dx;
      b.bottom += dy;
      continue;
    }
    if (a.right) b.left += dx, b.right += dx;
    if (a.bottom) b.top += dy, b.bottom += dy;
  }
  return boxes;
}

std::vector<Box> DefinedBoxes(const WindowDef& definition) {
  std::vector<Box> boxes;
  for (const ControlDef& c : definition.controls) {
    int x = c.x == kDefault ? 0 : c.x, y = c.y == kDefault ? 0 : c.y;
    int w = c.w != kDefault ? c.w : 4 * static_cast<int>(std::strlen(c.text ? c.text : ""));
    int h = c.h != kDefault ? c.h : 10;
    boxes.push_back({x, y, x + w, y + h});
  }
  return boxes;
}

WindowPlacement FitPlacement(WindowPlacement kept, const Box& screen, int min_width, int min_height) {
  if (screen.width() <= 0 || screen.height() <= 0) return kept;  // no screen to fit it to
  // The screen's own size wins over a minimum that would not fit on it.
  kept.width = std::clamp(kept.width, std::min(min_width, screen.width()), screen.width());
  kept.height = std::clamp(kept.height, std::min(min_height, screen.height()), screen.height());
  if (kept.x != kDefault) kept.x = std::clamp(kept.x, screen.left, screen.right - kept.width);
  if (kept.y != kDefault) kept.y = std::clamp(kept.y, screen.top, screen.bottom - kept.height);
  return kept;
}

}  // namespace rt
