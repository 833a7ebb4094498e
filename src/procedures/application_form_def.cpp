// UPDATEAPPS$FORMWINDOW: the application form's frame and its 12 controls, in field-number order.
// Layout only; UpdateApps binds the entries and gives the buttons their behaviour.
#include "procedures/application_form_def.h"

#include <array>

namespace procedures {
namespace {

using rt::ControlDef;
using rt::ControlKind;
using rt::kDefault;

// The form has no font of its own, so every control keeps the default FontSpec (the window's font,
// which is the platform's dialog font).
constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr std::uint32_t kLightCyan = 0x00FFFF80;

constexpr ControlDef Control(const char* name, ControlKind kind, const char* text, int x, int y,
                             int w = kDefault, int h = kDefault) {
  ControlDef c;
  c.name = name;
  c.kind = kind;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  return c;
}

// The entries stand out in white against the window's cyan.
constexpr ControlDef Entry(const char* name, int x, int y, int w, int h, const char* picture,
                           const char* status = nullptr) {
  ControlDef c = Control(name, ControlKind::Entry, "", x, y, w, h);
  c.picture = picture;
  c.background = kWhite;
  c.status = status;
  return c;
}

constexpr ControlDef DefaultButton(const char* name, const char* text, int x, int y, int w, int h) {
  ControlDef c = Control(name, ControlKind::Button, text, x, y, w, h);
  c.flags = rt::kDefaultButton;
  return c;
}

// Esc leaves the form as this button does.
constexpr ControlDef CancelButton(const char* name, const char* text, int x, int y, int w, int h) {
  ControlDef c = Control(name, ControlKind::Button, text, x, y, w, h);
  c.flags = rt::kCancelButton;
  return c;
}

// The application's place in a batch: numbered ones first, by their numbers; 0 is none.
constexpr ControlDef BuildOrder() {
  ControlDef c = Entry("?BuildOrder", 183, 39, 30, 12, "@n5", "0 for none; smaller numbers are made first");
  c.tooltip = "Applications with a number are made first, by their numbers (0: none).";
  return c;
}

// The "..." button says what it does in its tip.
constexpr ControlDef LookupFile() {
  ControlDef c = Control("?LookupFile", ControlKind::Button, "...", 226, 8, 13, 13);
  c.tooltip = "Look for the application's file.";
  return c;
}

// In the order of the layout, row by row, which the Tab key follows; each prompt comes right
// before its field, where its access key leads.
constexpr std::array kControls{
    Control("?FileName:Prompt", ControlKind::Prompt, "App. &Name:", 8, 11),
    Entry("?FileName", 53, 9, 172, 12, "@s259"),  // a whole Windows path
    LookupFile(),
    Control("?APP:DriveNPath:Prompt", ControlKind::Prompt, "Drive && &Path:", 5, 26, 45, 10),
    Entry("?APP:DriveNPath", 53, 24, 186, 12, "@s80"),
    Control("?APP:Application:Prompt", ControlKind::Prompt, "&Application:", 8, 41),
    Entry("?APP:Application", 53, 39, 66, 12, "@s12", "No .app at the end"),
    Control("?BuildOrder:Prompt", ControlKind::Prompt, "B&uild order:", 137, 41),
    BuildOrder(),
    Control("?APP:Tag", ControlKind::Check, "&Tag", 53, 55),
    DefaultButton("?OK", "&Ok", 154, 53, 40, 12),
    CancelButton("?Cancel", "&Cancel", 199, 53, 40, 12),
};

}  // namespace

const rt::WindowDef kApplicationFormWindow{
    .id = "UPDATEAPPS$FORMWINDOW",
    .title = "Application Information",
    .w = 248,
    .h = 72,
    .background = kLightCyan,
    .controls = kControls,
};

}  // namespace procedures
