// UPDATEEVENTS$FORMWINDOW: the activity record form's frame and its 10 controls, in field-number
// order. Layout only; UpdateEvents binds the entries to the TempFile record buffer.
#include "procedures/activity_record_def.h"

#include <array>

namespace procedures {
namespace {

using rt::ControlDef;
using rt::ControlKind;
using rt::kDefault;

// The form has no font of its own (the platform's dialog font) and its entries no background of
// their own, so those members keep their defaults.
constexpr std::uint32_t kLightGreen = 0x0080FF80;

constexpr ControlDef Control(const char* name, ControlKind kind, const char* text, int x, int y,
                             int w = kDefault, int h = kDefault, std::uint32_t flags = 0) {
  ControlDef c;
  c.name = name;
  c.kind = kind;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  c.flags = flags;
  return c;
}

// An entry of default size is as wide as its picture needs.
constexpr ControlDef Entry(const char* name, int x, int y, int w, int h, const char* picture,
                           std::uint32_t flags) {
  ControlDef c = Control(name, ControlKind::Entry, "", x, y, w, h, flags);
  c.picture = picture;
  return c;
}

// Only the date can be edited; the other three fields are shown for reading.
constexpr ControlDef ReadOnly(const char* name, int x, int y, int w, int h, const char* picture) {
  return Entry(name, x, y, w, h, picture, rt::kReadOnly);
}

// In the order of the layout, which the Tab key follows: each field after its prompt, from the top,
// then the buttons.
constexpr std::array kControls{
    Control("?TMP:Apps:Prompt", ControlKind::Prompt, "App.:", 13, 6),
    ReadOnly("?TMP:Apps", 32, 4, kDefault, kDefault, "@s40"),
    Control("?TMP:Date:Prompt", ControlKind::Prompt, "Date:", 11, 22),
    Entry("?TMP:Date", 32, 20, 43, 12, "@d1", 0),
    Control("?TMP:Clock:Prompt", ControlKind::Prompt, "Time:", 10, 38),
    ReadOnly("?TMP:Clock", 32, 36, kDefault, kDefault, "@t3"),
    Control("?TMP:Event:Prompt", ControlKind::Prompt, "Event:", 8, 54),
    ReadOnly("?TMP:Event", 32, 52, 146, 12, "@s80"),
    Control("?OK", ControlKind::Button, "OK", 72, 70, 40, 12, rt::kDefaultButton),
    // Cancel starts hidden, so the form is left with OK or by closing the window (Esc closes it).
    Control("?Cancel", ControlKind::Button, "Cancel", 142, 67, 40, 12,
            rt::kHidden | rt::kDisabled | rt::kCancelButton),
};

}  // namespace

const rt::WindowDef kActivityRecordWindow{
    .id = "UPDATEEVENTS$FORMWINDOW",
    .title = "DDE Activity Record",
    .w = 184,
    .h = 86,
    .background = kLightGreen,
    .controls = kControls,
};

}  // namespace procedures
