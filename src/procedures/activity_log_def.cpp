// VIEWEVENTS$BROWSEWINDOW: the activity log browse's frame and its 6 controls, in field-number order.
// Layout only; ViewEvents fills the list and gives the buttons their behaviour.
#include "procedures/activity_log_def.h"

#include <array>

#include "runtime/event.h"

namespace procedures {
namespace {

using rt::ControlDef;
using rt::ControlKind;

constexpr rt::FontSpec kArial9{"Arial", 9, 400};

// Every control takes the window's Arial 9, so none carries a font of its own.
constexpr ControlDef Browse() {
  ControlDef c;
  c.name = "?Browse:1";
  c.kind = ControlKind::List;
  c.x = 6, c.y = 2, c.w = 235, c.h = 103;
  c.status = "Browsing Records";
  // The columns (407 units) are wider than the list, hence the horizontal scroll bar: a long Event
  // line is read by scrolling sideways.
  c.format = "97L~Application~@s40@36R~Date~L@d1@34L(2)~Time~L(0)@t3@240L~Event~@s80@";
  c.flags = rt::kVScroll | rt::kHScroll;
  return c;
}

constexpr ControlDef Button(const char* name, const char* text, int x, int key,
                            std::uint32_t flags = 0) {
  ControlDef c;
  c.name = name;
  c.kind = ControlKind::Button;
  c.text = text;
  c.x = x, c.y = 107, c.w = 40, c.h = 12;
  c.key = key;
  c.flags = flags;
  return c;
}

// Insert, Delete and Select start hidden: the log is edited through the list's keys and popup menu,
// which post to these buttons whether they are visible or not.
constexpr std::uint32_t kHiddenDisabled = rt::kHidden | rt::kDisabled;

// The buttons from left to right, which the Tab key follows (the hidden ones when shown).
constexpr std::array kControls{
    Browse(),
    Button("?Insert", "&Insert", 5, rt::key::kInsert, kHiddenDisabled),
    Button("?Delete", "&Delete", 47, rt::key::kDelete, kHiddenDisabled),
    Button("?Select", "&Select", 90, rt::key::kEnter, kHiddenDisabled),
    Button("?View", "&View", 160, rt::key::kCtrlEnter, rt::kDefaultButton),
    Button("?Close", "&Close", 202, 0),
};

}  // namespace

const rt::WindowDef kActivityLogWindow{
    .id = "VIEWEVENTS$BROWSEWINDOW",
    .title = "Acitivity Log",
    .w = 247,
    .h = 121,
    .font = kArial9,
    .controls = kControls,
    .resizable = true,
};

}  // namespace procedures
