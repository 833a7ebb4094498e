// MAIN$WINDOW: the main window's frame and its 32 controls, in field-number order. Layout only;
// Main gives the controls their behaviour.
#include "procedures/main_def.h"

#include <array>

#include "ide/connection.h"

namespace procedures {
namespace {

using rt::ControlDef;
using rt::ControlKind;
using rt::FontSpec;
using rt::kDefault;

constexpr FontSpec kArial9{"Arial", 9, 400};
constexpr FontSpec kSansSerif8{"MS Sans Serif", 8, 400};
constexpr FontSpec kSansSerif8DarkRed{"MS Sans Serif", 8, 400, 0x00000080};
constexpr FontSpec kSmallFontsBold{"Small Fonts", 7, 700, 0x00000080};
constexpr FontSpec kWindowFont{};

constexpr ControlDef Button(const char* name, const char* text, int x, int y, int w, int h,
                            const char* tooltip, const char* icon, std::uint32_t flags = 0) {
  ControlDef c;
  c.name = name;
  c.kind = ControlKind::Button;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  c.font = kSansSerif8;
  c.tooltip = tooltip;
  c.icon = icon;
  c.flags = flags;
  return c;
}

constexpr ControlDef Control(const char* name, ControlKind kind, const char* text, int x, int y,
                             int w, int h, FontSpec font) {
  ControlDef c;
  c.name = name;
  c.kind = kind;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  c.font = font;
  return c;
}

constexpr ControlDef Browse() {
  ControlDef c = Control("?Browse:1", ControlKind::List, "", 128, 4, 277, 204, kArial9);
  c.status = "Browsing Records";
  // The tag mark, the application, its build order number, and its last result with an icon of
  // its own (the cell's tip holds the whole result).
  c.format =
      "8C*I@s1@68L|~Drive & Path~S(68)@s255@68L(1)|~Application~L(2)@s255@22R(2)|~Order~C@s5@"
      "80L(1)I~Last result~L(2)@s40@";
  c.flags = rt::kVScroll;
  return c;
}

constexpr ControlDef Group(const char* name, const char* text, int x, int y, int w, int h,
                           FontSpec font, int members) {
  ControlDef c = Control(name, ControlKind::Group, text, x, y, w, h, font);
  c.members = members;
  return c;
}

constexpr ControlDef TimeOut() {
  ControlDef c = Control("?TimeOut", ControlKind::Spin, "", 96, 2, 20, 8, kWindowFont);
  c.picture = "@n3";
  c.range_low = 1;
  c.range_high = 99;
  c.step = 1;
  c.flags = rt::kNoTyping;
  c.tooltip = "DDE time out period - set higher for slower machines and/or large .Apps.";
  return c;
}

// How many IDEs a batch makes applications with at once. Unlike the time-out it takes typing, and
// Main refuses a number out of its range with a message.
constexpr ControlDef IDEs() {
  ControlDef c = Control("?IDEs", ControlKind::Spin, "", 96, 12, 20, 8, kWindowFont);
  c.picture = "@n2";
  c.range_low = 1;
  c.range_high = ide::ConnectionState::kMaxIdes;
  c.step = 1;
  c.tooltip = "How many IDEs make applications at once (1 to 16), each one application at a time.";
  return c;
}

// The IDE's program, whose instances alone the connection and the batches use; empty: any.
constexpr ControlDef IDEProgram() {
  ControlDef c = Control("?IDEProgram", ControlKind::Entry, "", 28, 151, 72, 11, kSansSerif8);
  c.picture = "@s259";  // a whole Windows path
  c.tooltip = "The IDE's program: only its instances are used, and it is started when none runs. "
              "Empty: whichever IDE answers, and CW20 is started.";
  return c;
}

// The "..." button says what it does in its tip.
constexpr ControlDef LookupIDE() {
  ControlDef c = Control("?LookupIDE", ControlKind::Button, "...", 102, 151, 14, 11, kSansSerif8);
  c.tooltip = "Look for the IDE's program.";
  return c;
}

constexpr ControlDef LastAction() {
  ControlDef c = Control("?LastAction", ControlKind::Entry, "", 7, 176, 113, 8, kSansSerif8);
  c.picture = "@s30";
  c.flags = rt::kReadOnly;
  return c;
}

// The check box shows whether the IDE is connected; only the connection sets it.
constexpr ControlDef ServerActive() {
  ControlDef c = Control("?ServerActive", ControlKind::Check, "Clarion DDE Server Active", 28, 123, kDefault,
                         kDefault, kSansSerif8);
  c.flags = rt::kReadOnly;
  return c;
}

// The two choices under the operation buttons, which the next batch of any of them takes.
constexpr ControlDef BatchChoice(const char* name, const char* text, int y, const char* tooltip) {
  ControlDef c = Control(name, ControlKind::Check, text, 11, y, kDefault, kDefault, kSansSerif8);
  c.tooltip = tooltip;
  return c;
}

constexpr ControlDef Logo() {
  ControlDef c = Control("?Logo", ControlKind::Image, "", 20, 185, 84, 19, kWindowFont);
  c.icon = "LOGO";
  return c;
}

// In the order of the layout, which the Tab key follows: the left column from the top, the list,
// then the row of buttons along the bottom from left to right. A group's members follow it.
constexpr std::array kControls{
    Control("?TimeOut:Prompt", ControlKind::Prompt, "DDE Time Out (in minutes):", 12, 2, kDefault,
            kDefault, kSansSerif8),
    TimeOut(),
    Control("?IDEs:Prompt", ControlKind::Prompt, "IDEs at once:", 12, 12, kDefault, kDefault, kSansSerif8),
    IDEs(),
    Group("?ApplicationGroup", "Application", 6, 22, 114, 44, kSansSerif8, 4),
    Button("?MakeExe", "&Gen && Make    (.EXE)", 11, 30, 50, 14, "Generate, compile and link an .EXE.",
           "COFFEE2.ICO"),
    Button("?MakeDll", "Gen && &Make    (.DLL)", 65, 30, 50, 14, "Generate, make and compile a .DLL",
           "COMPUTER.ICO"),
    Button("?ExportTxa", "Export", 11, 47, 50, 14,
           "Export to .TXA in same directory and with same name.", nullptr),
    Button("?ImportTxa", "Import", 65, 47, 50, 14, "Import .TXA from same directory and name.",
           nullptr),
    Group("?DictionaryGroup", "Dictionary", 6, 66, 114, 27, kSansSerif8, 2),
    Button("?ImportDct", "Import", 11, 75, 50, 14,
           "Import .TXD to .DCT with same name, from same directory", nullptr),
    Button("?ExportDct", "Export", 65, 75, 50, 14,
           "Export Dictionary to .TXD with same name and directory", nullptr),
    BatchChoice("?OnlyChanged", "Only changed", 95,
                "Skip the applications whose output is newer than their .APP, input and dictionary."),
    BatchChoice("?StopOnFailure", "Stop at first failure", 105,
                "End the batch at the first application that is not made."),
    // The connection: whether it is open, the buttons that open and end it, and the IDE's program.
    Group("?ConnectionGroup", "", 6, 115, 114, 52, kWindowFont, 6),
    ServerActive(),
    Button("?Connect", "Connect", 11, 134, 50, 14,
           "Establish DDE session, starting CW2.0 if necessary.", "CONNECT.ICO"),
    Button("?Disconnect", "Disconnect", 65, 134, 50, 14, "Disconnect from CW2.0, ending DDE session.",
           "DISCON.ICO"),
    Control("?IDEProgram:Prompt", ControlKind::Prompt, "IDE:", 11, 153, kDefault, kDefault, kSansSerif8),
    IDEProgram(),
    LookupIDE(),
    Control("?LastAction:Prompt", ControlKind::Prompt, "Last Action:", 6, 168, kDefault, kDefault,
            kSansSerif8DarkRed),
    LastAction(),
    Logo(),
    Control("?Credit", ControlKind::String, "Nightjar - batch jobs for your IDE", 18, 204, kDefault,
            kDefault, kSmallFontsBold),
    Browse(),
    Button("?Close", "Close", 4, 211, 47, 12, "Bye bye", "CLOSE.ICO", rt::kStdClose),
    Button("?Log", "&Log", 63, 211, 42, 12, "List of actions completed.", "INVOICE.ICO"),
    Button("?Tag", "&Tag", 247, 211, 42, 12, "Tag/Untag application for processing.", "CHECK1.ICO"),
    Button("?Insert", "&Insert", 292, 211, 38, 12, "Add an application to the list.", "INSERT.ICO"),
    // "&Change": G is the make button's key.
    Button("?Change", "&Change", 330, 211, 38, 12, "Change application information.", "CHANGE.ICO",
           rt::kDefaultButton),
    Button("?Delete", "&Delete", 368, 211, 38, 12, "Remove application from list.", "DELETE.ICO"),
};

}  // namespace

const rt::WindowDef kMainWindow{
    .id = "MAIN$WINDOW",
    .title = "Nightjar (Batchwright)",
    .w = 411,
    .h = 226,
    .icon = "RUZOZIZ.ICO",
    .font = kArial9,
    .timer = 1000,
    .controls = kControls,
    .resizable = true,
};

}  // namespace procedures
