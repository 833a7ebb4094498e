// Window definitions as constant data: a window's frame and its controls in field-number order.
// The four window definitions of the program are tables of these; the runtime and both backends
// read them. Field numbers are positions in the table, counted from 1.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace rt {

enum class ControlKind { List, Group, Button, Check, Spin, Prompt, Entry, Image, String };

// Colours are 0x00BBGGRR; kNoColour means "the platform's default".
inline constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;
// A position or size the definition leaves to the platform (natural size, usual placement).
inline constexpr int kDefault = -1;

struct FontSpec {
  const char* face = nullptr;  // nullptr: the window's font (for a window: the platform's dialog font)
  int points = 0;
  int weight = 400;
  std::uint32_t colour = kNoColour;
};

// Control flags.
enum ControlFlag : std::uint32_t {
  kVScroll = 1u << 0,         // list: vertical scroll bar
  kHScroll = 1u << 1,         // list: horizontal scroll bar
  kReadOnly = 1u << 2,        // entry, check box: shows its value, takes no typing or ticking
  kNoTyping = 1u << 3,        // spin box: the value changes only with the arrows
  kDefaultButton = 1u << 4,   // the window's default button (Enter presses it)
  kStdClose = 1u << 5,        // button: pressing it closes the window by itself
  kHidden = 1u << 6,          // hidden when the window opens
  kDisabled = 1u << 7,        // disabled when the window opens
  // button: Esc presses it; while it is hidden or disabled, Esc closes the window as the close
  // box does. A window without such a button ignores Esc.
  kCancelButton = 1u << 8,
};

struct ControlDef {
  const char* name = "";  // "?Browse:1", "?MakeExe", ...
  ControlKind kind = ControlKind::String;
  const char* text = "";  // caption; "&" marks the access key, "&&" shows one "&"
  int x = 0, y = 0, w = kDefault, h = kDefault;  // dialog units of the window's font
  FontSpec font{};
  const char* tooltip = nullptr;
  const char* status = nullptr;   // status-line help
  const char* icon = nullptr;     // icon resource name, e.g. "COFFEE2.ICO"
  const char* picture = nullptr;  // "@s30", "@n3", "@d1", "@t3"
  const char* format = nullptr;   // list column format string
  std::uint32_t flags = 0;
  int members = 0;  // group box: how many of the following controls it holds
  int range_low = 0, range_high = 0, step = 1;  // spin box
  int key = 0;                                  // button: key code that presses it
  std::uint32_t background = kNoColour;
};

struct WindowDef {
  const char* id = "";     // "MAIN$WINDOW"
  const char* title = "";
  int w = 0, h = 0;        // dialog units; position is the platform's choice
  const char* icon = nullptr;
  FontSpec font{};
  std::uint32_t background = kNoColour;
  int timer = 0;  // hundredths of a second between timer events; 0 = no timer
  std::span<const ControlDef> controls;
  // The user can resize and maximise it, never below this size: the first list grows with it and
  // the other controls keep to their nearest edges (resize_layout.h).
  bool resizable = false;

  int ControlCount() const { return static_cast<int>(controls.size()); }
  const ControlDef& control(int field) const { return controls[static_cast<std::size_t>(field - 1)]; }
  // The field number of the control named `name`, or 0.
  int FieldOf(std::string_view name) const {
    for (std::size_t i = 0; i < controls.size(); ++i)
      if (name == controls[i].name) return static_cast<int>(i + 1);
    return 0;
  }
};

// The caption without access-key marks: "&Gen && Make" -> "Gen & Make".
std::string StripAmpersands(std::string_view text);

}  // namespace rt
