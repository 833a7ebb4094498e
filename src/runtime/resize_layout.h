// Where the controls of a resizable window stand when the window is larger than its definition: the
// list grows with the window, every other control keeps its distance to the edges nearest it, and
// a group box's controls go where the group goes. Also where a kept window place fits on a screen.
// Portable: the Win32 peer applies it in pixels, the headless peer in dialog units.
#pragma once

#include <vector>

#include "runtime/definition.h"

namespace rt {

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Box&) const = default;
};

// How one control follows its window's size.
struct Anchor {
  bool right = false;   // keeps its distance to the right edge, else to the left one
  bool bottom = false;  // keeps its distance to the bottom edge, else to the top one
  bool grows = false;   // the window's list: its right and bottom edges follow the window's
  bool operator==(const Anchor&) const = default;
};

class ResizeLayout {
 public:
  // `designed`: each control's box, in field order, in a client area of `width` x `height` (the
  // window at its definition's size). The first list grows; for every other control:
  // - beside the list (its centre within the list's rows) it keeps to the side of the list it is
  //   on, so the grown list never runs into it; above or below the list likewise;
  // - elsewhere it keeps to the nearer edge, by the half of the window its centre is in;
  // - a group box's members (counted by the definition, or lying inside its box) follow the group;
  // - a prompt "?X:Prompt" follows its control "?X".
  ResizeLayout(const WindowDef& definition, std::vector<Box> designed, int width, int height);

  const Anchor& anchor(int field) const { return anchors_[static_cast<std::size_t>(field - 1)]; }
  int min_width() const { return width_; }
  int min_height() const { return height_; }
  // The first list's field number, 0 when the window has none.
  int grower() const { return grower_; }
  // Every control's box in a client area of `width` x `height`; a size below the definition's
  // counts as the definition's, so controls never overlap.
  std::vector<Box> Place(int width, int height) const;

 private:
  Anchor ByPlace(const Box& box) const;

  std::vector<Box> designed_;
  std::vector<Anchor> anchors_;
  int width_;
  int height_;
  int grower_ = 0;
};

// The boxes of a definition's controls in dialog units; a size the definition leaves to the
// platform is guessed (four units a character of its text, ten units high).
std::vector<Box> DefinedBoxes(const WindowDef& definition);

// Where a window stands and how large it is, as a backend keeps it between runs. Units are the
// backend's own (screen pixels of the window's frame on Win32). kDefault in x or y: the platform
// places it.
struct WindowPlacement {
  int x = kDefault, y = kDefault;
  int width = 0, height = 0;
  bool maximised = false;
  // The widths of the window's list's columns, in dialog units; empty: the format's widths.
  std::vector<int> columns;
  bool operator==(const WindowPlacement&) const = default;
};

// `kept` made to fit: no smaller than `min_width` x `min_height`, no larger than `screen`, and
// moved wholly onto `screen` when it stands partly off it (a position left to the platform stays
// so). A size of 0 or less means none was kept: the minimum.
WindowPlacement FitPlacement(WindowPlacement kept, const Box& screen, int min_width, int min_height);

}  // namespace rt
