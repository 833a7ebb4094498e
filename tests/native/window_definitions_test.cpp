// The four window definitions against their tables: frames, every control in field order, the
// attributes the procedures and backends rely on (flags, keys, pictures, groups) and the list columns.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "runtime/definition.h"
#include "runtime/event.h"
#include "runtime/list_format.h"
#include "procedures/activity_log_def.h"
#include "procedures/activity_record_def.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"

namespace procedures {
namespace {

using rt::Align;
using rt::ControlDef;
using rt::ControlKind;
using rt::FontSpec;
using rt::kDefault;
using rt::kNoColour;
using rt::WindowDef;

// Optional texts compare and print as "(none)" or the quoted text.
std::string Show(const char* text) { return text ? '"' + std::string(text) + '"' : "(none)"; }

// Colours (0x00BBGGRR) and flag words are read more easily in hex.
std::string Hex(std::uint32_t value) {
  char out[16];
  std::snprintf(out, sizeof out, "0x%08X", static_cast<unsigned>(value));
  return out;
}

void ExpectFont(const FontSpec& actual, const FontSpec& expected) {
  EXPECT_EQ(Show(actual.face), Show(expected.face));
  EXPECT_EQ(actual.points, expected.points);
  EXPECT_EQ(actual.weight, expected.weight);
  EXPECT_EQ(Hex(actual.colour), Hex(expected.colour));
}

// A control without a face of its own is drawn in its window's font.
const FontSpec& EffectiveFont(const WindowDef& window, const ControlDef& control) {
  return control.font.face ? control.font : window.font;
}

constexpr FontSpec kDialogFont{};  // the platform's dialog font: the form windows have none of their own
constexpr FontSpec kArial9{"Arial", 9, 400};
constexpr FontSpec kSansSerif8{"MS Sans Serif", 8, 400};
constexpr FontSpec kSansSerif8DarkRed{"MS Sans Serif", 8, 400, 0x00000080};
constexpr FontSpec kSmallFontsBoldDarkRed{"Small Fonts", 7, 700, 0x00000080};

// ---- Every control in field order ----------------------------------------------------------------

struct ControlRow {
  int field;     // the table's number
  int constant;  // the header's field constant for it
  const char* name;
  ControlKind kind;
  const char* text;  // nullptr: any non-empty text (the main window's credit line is ours to word)
  int x, y, w, h;
  FontSpec font;  // the font the control is drawn in
};

constexpr int D = kDefault;
constexpr ControlKind kList = ControlKind::List, kGroup = ControlKind::Group,
                      kButton = ControlKind::Button, kCheck = ControlKind::Check,
                      kSpin = ControlKind::Spin, kPrompt = ControlKind::Prompt,
                      kEntry = ControlKind::Entry, kImage = ControlKind::Image,
                      kString = ControlKind::String;

namespace mf = main_field;
const ControlRow kMainControls[] = {
    {1, mf::Browse_1, "?Browse:1", kList, "", 128, 4, 277, 178, kArial9},
    {2, mf::ApplicationGroup, "?ApplicationGroup", kGroup, "Application", 6, 9, 114, 45, kSansSerif8},
    {3, mf::MakeExe, "?MakeExe", kButton, "&Gen && Make    (.EXE)", 11, 18, 50, 14, kSansSerif8},
    {4, mf::MakeDll, "?MakeDll", kButton, "Gen && &Make    (.DLL)", 65, 18, 50, 14, kSansSerif8},
    {5, mf::ExportTxa, "?ExportTxa", kButton, "Export", 11, 35, 50, 14, kSansSerif8},
    {6, mf::ImportTxa, "?ImportTxa", kButton, "Import", 65, 35, 50, 14, kSansSerif8},
    {7, mf::DictionaryGroup, "?DictionaryGroup", kGroup, "Dictionary", 6, 54, 114, 27, kSansSerif8},
    {8, mf::ImportDct, "?ImportDct", kButton, "Import", 11, 63, 50, 14, kSansSerif8},
    {9, mf::ExportDct, "?ExportDct", kButton, "Export", 65, 63, 50, 14, kSansSerif8},
    {10, mf::ConnectionGroup, "?ConnectionGroup", kGroup, "", 6, 103, 114, 38, kArial9},
    {11, mf::ServerActive, "?ServerActive", kCheck, "Clarion DDE Server Active", 28, 111, D, D,
     kSansSerif8},
    {12, mf::Connect, "?Connect", kButton, "Connect", 11, 122, 50, 14, kSansSerif8},
    {13, mf::Disconnect, "?Disconnect", kButton, "Disconnect", 65, 122, 50, 14, kSansSerif8},
    {14, mf::Tag, "?Tag", kButton, "&Tag", 247, 185, 42, 12, kSansSerif8},
    {15, mf::Insert, "?Insert", kButton, "&Insert", 292, 185, 38, 12, kSansSerif8},
    {16, mf::Change, "?Change", kButton, "Chan&ge", 330, 185, 38, 12, kSansSerif8},
    {17, mf::Delete, "?Delete", kButton, "&Delete", 368, 185, 38, 12, kSansSerif8},
    {18, mf::Log, "?Log", kButton, "&Log", 63, 185, 42, 12, kSansSerif8},
    {19, mf::Close, "?Close", kButton, "Close", 4, 185, 47, 12, kSansSerif8},
    {20, mf::TimeOut, "?TimeOut", kSpin, "", 78, 2, 20, 8, kArial9},
    {21, mf::TimeOut_Prompt, "?TimeOut:Prompt", kPrompt, "DDE Time Out (in minutes):", 12, 2, D, D,
     kSansSerif8},
    {22, mf::LastAction, "?LastAction", kEntry, "", 7, 150, 113, 8, kSansSerif8},
    {23, mf::Logo, "?Logo", kImage, "", 20, 157, 84, 23, kArial9},
    {24, mf::LastAction_Prompt, "?LastAction:Prompt", kPrompt, "Last Action:", 6, 142, D, D,
     kSansSerif8DarkRed},
    {25, mf::Credit, "?Credit", kString, nullptr, 18, 178, D, D, kSmallFontsBoldDarkRed},
    {26, mf::OnlyChanged, "?OnlyChanged", kCheck, "Only changed", 11, 83, D, D, kSansSerif8},
    {27, mf::StopOnFailure, "?StopOnFailure", kCheck, "Stop at first failure", 11, 93, D, D, kSansSerif8},
};

namespace af = application_form_field;
const ControlRow kApplicationFormControls[] = {
    {1, af::FileName_Prompt, "?FileName:Prompt", kPrompt, "App. &Name:", 8, 11, D, D, kDialogFont},
    {2, af::FileName, "?FileName", kEntry, "", 53, 9, 172, 12, kDialogFont},
    {3, af::LookupFile, "?LookupFile", kButton, "...", 226, 8, 13, 13, kDialogFont},
    {4, af::OK, "?OK", kButton, "&Ok", 154, 53, 40, 12, kDialogFont},
    {5, af::Cancel, "?Cancel", kButton, "&Cancel", 199, 53, 40, 12, kDialogFont},
    {6, af::APP_DriveNPath_Prompt, "?APP:DriveNPath:Prompt", kPrompt, "Drive && &Path:", 5, 26, 45, 10,
     kDialogFont},
    {7, af::APP_DriveNPath, "?APP:DriveNPath", kEntry, "", 53, 24, 186, 12, kDialogFont},
    {8, af::APP_Application_Prompt, "?APP:Application:Prompt", kPrompt, "&Application:", 8, 41, D, D,
     kDialogFont},
    {9, af::APP_Tag, "?APP:Tag", kCheck, "&Tag", 53, 55, D, D, kDialogFont},
    {10, af::APP_Application, "?APP:Application", kEntry, "", 53, 39, 66, 12, kDialogFont},
    {11, af::BuildOrder_Prompt, "?BuildOrder:Prompt", kPrompt, "B&uild order:", 137, 41, D, D, kDialogFont},
    {12, af::BuildOrder, "?BuildOrder", kEntry, "", 183, 39, 30, 12, kDialogFont},
};

namespace lf = activity_log_field;
const ControlRow kActivityLogControls[] = {
    {1, lf::Browse_1, "?Browse:1", kList, "", 6, 2, 235, 103, kArial9},
    {2, lf::Insert, "?Insert", kButton, "&Insert", 5, 107, 40, 12, kArial9},
    {3, lf::View, "?View", kButton, "&View", 160, 107, 40, 12, kArial9},
    {4, lf::Delete, "?Delete", kButton, "&Delete", 47, 107, 40, 12, kArial9},
    {5, lf::Select, "?Select", kButton, "&Select", 90, 107, 40, 12, kArial9},
    {6, lf::Close, "?Close", kButton, "&Close", 202, 107, 40, 12, kArial9},
};

namespace rf = activity_record_field;
const ControlRow kActivityRecordControls[] = {
    {1, rf::OK, "?OK", kButton, "OK", 72, 70, 40, 12, kDialogFont},
    {2, rf::Cancel, "?Cancel", kButton, "Cancel", 142, 67, 40, 12, kDialogFont},
    {3, rf::TMP_Apps_Prompt, "?TMP:Apps:Prompt", kPrompt, "App.:", 13, 6, D, D, kDialogFont},
    {4, rf::TMP_Date, "?TMP:Date", kEntry, "", 32, 20, 43, 12, kDialogFont},
    {5, rf::TMP_Date_Prompt, "?TMP:Date:Prompt", kPrompt, "Date:", 11, 22, D, D, kDialogFont},
    {6, rf::TMP_Apps, "?TMP:Apps", kEntry, "", 32, 4, D, D, kDialogFont},
    {7, rf::TMP_Clock_Prompt, "?TMP:Clock:Prompt", kPrompt, "Time:", 10, 38, D, D, kDialogFont},
    {8, rf::TMP_Clock, "?TMP:Clock", kEntry, "", 32, 36, D, D, kDialogFont},
    {9, rf::TMP_Event_Prompt, "?TMP:Event:Prompt", kPrompt, "Event:", 8, 54, D, D, kDialogFont},
    {10, rf::TMP_Event, "?TMP:Event", kEntry, "", 32, 52, 146, 12, kDialogFont},
};

// ---- Attributes beyond name, kind, text and place --------------------------------------------------

// The controls that carry anything besides the defaults; every control not listed must carry none.
struct AttributeRow {
  int field = 0;
  std::uint32_t flags = 0;
  const char* picture = nullptr;
  const char* status = nullptr;
  const char* tooltip = nullptr;
  const char* icon = nullptr;
  int key = 0;
  std::uint32_t background = kNoColour;
  int members = 0;
};

constexpr std::uint32_t kHiddenDisabled = rt::kHidden | rt::kDisabled;
constexpr std::uint32_t kWhite = 0x00FFFFFF;

const AttributeRow kMainAttributes[] = {
    {.field = 1, .flags = rt::kVScroll, .status = "Browsing Records"},
    {.field = 2, .members = 4},
    {.field = 3, .tooltip = "Generate, compile and link an .EXE.", .icon = "COFFEE2.ICO"},
    {.field = 4, .tooltip = "Generate, make and compile a .DLL", .icon = "COMPUTER.ICO"},
    {.field = 5, .tooltip = "Export to .TXA in same directory and with same name."},
    {.field = 6, .tooltip = "Import .TXA from same directory and name."},
    {.field = 7, .members = 2},
    {.field = 8, .tooltip = "Import .TXD to .DCT with same name, from same directory"},
    {.field = 9, .tooltip = "Export Dictionary to .TXD with same name and directory"},
    {.field = 10, .members = 3},
    {.field = 11, .flags = rt::kReadOnly},
    {.field = 12, .tooltip = "Establish DDE session, starting CW2.0 if necessary.", .icon = "CONNECT.ICO"},
    {.field = 13, .tooltip = "Disconnect from CW2.0, ending DDE session.", .icon = "DISCON.ICO"},
    {.field = 14, .tooltip = "Tag/Untag application for processing.", .icon = "CHECK1.ICO"},
    {.field = 15, .tooltip = "Add an application to the list.", .icon = "INSERT.ICO"},
    {.field = 16, .flags = rt::kDefaultButton, .tooltip = "Change application information.",
     .icon = "CHANGE.ICO"},
    {.field = 17, .tooltip = "Remove application from list.", .icon = "DELETE.ICO"},
    {.field = 18, .tooltip = "List of actions completed.", .icon = "INVOICE.ICO"},
    {.field = 19, .flags = rt::kStdClose, .tooltip = "Bye bye", .icon = "CLOSE.ICO"},
    {.field = 20, .flags = rt::kNoTyping, .picture = "@n3",
     .tooltip = "DDE time out period - set higher for slower machines and/or large .Apps."},
    {.field = 22, .flags = rt::kReadOnly, .picture = "@s30"},
    {.field = 23, .icon = "LOGO"},
    {.field = 26,
     .tooltip = "Skip the applications whose output is newer than their .APP, input and dictionary."},
    {.field = 27, .tooltip = "End the batch at the first application that is not made."},
};

// The Ok button's and the entries' one further attribute bit has no settled effect and no flag.
const AttributeRow kApplicationFormAttributes[] = {
    {.field = 2, .picture = "@s259", .background = kWhite},
    {.field = 4, .flags = rt::kDefaultButton},
    {.field = 5, .flags = rt::kCancelButton},
    {.field = 7, .picture = "@s80", .background = kWhite},
    {.field = 10, .picture = "@s12", .status = "No .app at the end", .background = kWhite},
    {.field = 12, .picture = "@n5", .status = "0 for none; smaller numbers are made first",
     .tooltip = "Applications with a number are made first, by their numbers (0: none).", .background = kWhite},
};

const AttributeRow kActivityLogAttributes[] = {
    {.field = 1, .flags = rt::kVScroll | rt::kHScroll, .status = "Browsing Records"},
    {.field = 2, .flags = kHiddenDisabled, .key = rt::key::kInsert},
    {.field = 3, .flags = rt::kDefaultButton, .key = rt::key::kCtrlEnter},
    {.field = 4, .flags = kHiddenDisabled, .key = rt::key::kDelete},
    {.field = 5, .flags = kHiddenDisabled, .key = rt::key::kEnter},
};

// Only the date takes typing; the entries keep the window's background.
const AttributeRow kActivityRecordAttributes[] = {
    {.field = 1, .flags = rt::kDefaultButton},
    {.field = 2, .flags = kHiddenDisabled | rt::kCancelButton},
    {.field = 4, .picture = "@d1"},
    {.field = 6, .flags = rt::kReadOnly, .picture = "@s40"},
    {.field = 8, .flags = rt::kReadOnly, .picture = "@t3"},
    {.field = 10, .flags = rt::kReadOnly, .picture = "@s80"},
};

// ---- The windows -----------------------------------------------------------------------------------

struct WindowRow {
  const WindowDef* def;
  const char* id;
  const char* title;
  int w, h;
  const char* icon;
  FontSpec font;
  std::uint32_t background;
  int timer;
  int control_count;
  std::span<const ControlRow> controls;
  std::span<const AttributeRow> attributes;
};

const WindowRow kWindows[] = {
    {&kMainWindow, "MAIN$WINDOW", "Nightjar (Batchwright)", 411, 200, "RUZOZIZ.ICO", kArial9,
     kNoColour, 1000, 27, kMainControls, kMainAttributes},
    {&kApplicationFormWindow, "UPDATEAPPS$FORMWINDOW", "Application Information", 248, 72, nullptr,
     kDialogFont, 0x00FFFF80, 0, 12, kApplicationFormControls, kApplicationFormAttributes},
    {&kActivityLogWindow, "VIEWEVENTS$BROWSEWINDOW", "Acitivity Log", 247, 121, nullptr, kArial9,
     kNoColour, 0, 6, kActivityLogControls, kActivityLogAttributes},
    {&kActivityRecordWindow, "UPDATEEVENTS$FORMWINDOW", "DDE Activity Record", 184, 86, nullptr,
     kDialogFont, 0x0080FF80, 0, 10, kActivityRecordControls, kActivityRecordAttributes},
};

TEST(WindowDefinitions, FramesCarryTheirIdTitleSizeIconFontColourAndTimer) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.id);
    const WindowDef& window = *row.def;
    EXPECT_STREQ(window.id, row.id);
    EXPECT_STREQ(window.title, row.title);
    EXPECT_EQ(window.w, row.w);
    EXPECT_EQ(window.h, row.h);
    EXPECT_EQ(Show(window.icon), Show(row.icon));
    ExpectFont(window.font, row.font);
    EXPECT_EQ(Hex(window.background), Hex(row.background));
    EXPECT_EQ(window.timer, row.timer);
  }
}

TEST(WindowDefinitions, HoldExactlyTheirControlsInFieldOrder) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.id);
    const WindowDef& window = *row.def;
    // The tables themselves must be complete, or a missing row would go unchecked.
    ASSERT_EQ(static_cast<int>(row.controls.size()), row.control_count);
    ASSERT_EQ(window.ControlCount(), row.control_count);
    for (const ControlRow& c : row.controls) {
      SCOPED_TRACE(testing::Message() << "field " << c.field << " " << c.name);
      EXPECT_EQ(c.constant, c.field) << "the header's field constant is out of step";
      EXPECT_EQ(window.FieldOf(c.name), c.field);
      const ControlDef& control = window.control(c.field);
      EXPECT_STREQ(control.name, c.name);
      EXPECT_EQ(control.kind, c.kind);
      if (c.text)
        EXPECT_STREQ(control.text, c.text);
      else
        EXPECT_STRNE(control.text, "");
      EXPECT_EQ(control.x, c.x);
      EXPECT_EQ(control.y, c.y);
      EXPECT_EQ(control.w, c.w);
      EXPECT_EQ(control.h, c.h);
      ExpectFont(EffectiveFont(window, control), EffectiveFont(window, ControlDef{.font = c.font}));
    }
  }
}

TEST(WindowDefinitions, ControlsCarryExactlyTheFlagsKeysPicturesAndColoursOfTheirTables) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.id);
    const WindowDef& window = *row.def;
    for (int field = 1; field <= window.ControlCount(); ++field) {
      AttributeRow expected{.field = field};
      for (const AttributeRow& a : row.attributes)
        if (a.field == field) expected = a;
      const ControlDef& control = window.control(field);
      SCOPED_TRACE(testing::Message() << "field " << field << " " << control.name);
      EXPECT_EQ(Hex(control.flags), Hex(expected.flags));
      EXPECT_EQ(Show(control.picture), Show(expected.picture));
      EXPECT_EQ(Show(control.status), Show(expected.status));
      EXPECT_EQ(Show(control.tooltip), Show(expected.tooltip));
      EXPECT_EQ(Show(control.icon), Show(expected.icon));
      EXPECT_EQ(control.key, expected.key);
      EXPECT_EQ(Hex(control.background), Hex(expected.background));
      EXPECT_EQ(control.members, expected.members);
    }
  }
}

TEST(WindowDefinitions, EachWindowHasOneDefaultButton) {
  for (const WindowRow& row : kWindows) {
    SCOPED_TRACE(row.id);
    int defaults = 0;
    for (const ControlDef& control : row.def->controls) {
      if (!(control.flags & rt::kDefaultButton)) continue;
      ++defaults;
      EXPECT_EQ(control.kind, ControlKind::Button) << control.name;
    }
    EXPECT_EQ(defaults, 1);
  }
}

// ---- Details of single windows ---------------------------------------------------------------------

TEST(WindowDefinitions, MainGroupBoxesHoldTheControlsNumberedRightAfterThem) {
  // A group's members are the controls numbered from the one after it to `last`.
  struct Group {
    int field;
    const char* name;
    int last;
  };
  const Group groups[] = {
      {2, "?ApplicationGroup", 6},
      {7, "?DictionaryGroup", 9},
      {10, "?ConnectionGroup", 13},
  };
  for (const Group& g : groups) {
    SCOPED_TRACE(g.name);
    const ControlDef& group = kMainWindow.control(g.field);
    EXPECT_STREQ(group.name, g.name);
    EXPECT_EQ(group.kind, ControlKind::Group);
    EXPECT_EQ(g.field + group.members, g.last);
  }
  EXPECT_STREQ(kMainWindow.control(main_field::ConnectionGroup).text, "") << "an untitled frame";
}

TEST(WindowDefinitions, MainMakeDllTooltipAloneOfItsGroupEndsWithoutAFullStop) {
  auto ends_with_stop = [](int field) {
    std::string tip = kMainWindow.control(field).tooltip ? kMainWindow.control(field).tooltip : "";
    return !tip.empty() && tip.back() == '.';
  };
  EXPECT_TRUE(ends_with_stop(main_field::MakeExe));
  EXPECT_FALSE(ends_with_stop(main_field::MakeDll));
  EXPECT_TRUE(ends_with_stop(main_field::ExportTxa));
  EXPECT_TRUE(ends_with_stop(main_field::ImportTxa));
}

TEST(WindowDefinitions, MainTimeOutSpinStepsByOneFromOneToNinetyNine) {
  const ControlDef& spin = kMainWindow.control(main_field::TimeOut);
  EXPECT_EQ(spin.range_low, 1);
  EXPECT_EQ(spin.range_high, 99);
  EXPECT_EQ(spin.step, 1);
  EXPECT_TRUE(spin.flags & rt::kNoTyping);
}

// ---- List columns ----------------------------------------------------------------------------------

struct ColumnRow {
  int width;
  Align align;
  int indent;
  const char* header;  // "" for none
  Align header_align;  // checked only when there is a header
  int header_indent;
  const char* picture;
  bool icon, colours, right_border;
  int scroll_width;
};

struct ListRow {
  const WindowDef* window;
  int field;
  const char* format;
  std::vector<ColumnRow> columns;
};

TEST(WindowDefinitions, ListColumnFormatsParseIntoTheColumnsOfTheirTables) {
  const ListRow lists[] = {
      {&kMainWindow,
       main_field::Browse_1,
       "8C*I@s1@88L|~Drive & Path~S(88)@s80@48L(1)|~Application~L(2)@s12@22R(2)|~Order~C@s5@"
       "80L(1)I~Last result~L(2)@s40@",
       {
           {8, Align::Center, 0, "", Align::Center, 0, "@s1", true, true, false, 0},
           {88, Align::Left, 0, "Drive & Path", Align::Left, 0, "@s80", false, false, true, 88},
           {48, Align::Left, 1, "Application", Align::Left, 2, "@s12", false, false, true, 0},
           {22, Align::Right, 2, "Order", Align::Center, 0, "@s5", false, false, true, 0},
           {80, Align::Left, 1, "Last result", Align::Left, 2, "@s40", true, false, false, 0},
       }},
      {&kActivityLogWindow,
       activity_log_field::Browse_1,
       "97L~Application~@s40@36R~Date~L@d1@34L(2)~Time~L(0)@t3@240L~Event~@s80@",
       {
           {97, Align::Left, 0, "Application", Align::Left, 0, "@s40", false, false, false, 0},
           {36, Align::Right, 0, "Date", Align::Left, 0, "@d1", false, false, false, 0},
           {34, Align::Left, 2, "Time", Align::Left, 0, "@t3", false, false, false, 0},
           {240, Align::Left, 0, "Event", Align::Left, 0, "@s80", false, false, false, 0},
       }},
  };
  for (const ListRow& list : lists) {
    SCOPED_TRACE(list.window->id);
    const ControlDef& control = list.window->control(list.field);
    ASSERT_EQ(control.kind, ControlKind::List);
    EXPECT_EQ(Show(control.format), Show(list.format));
    auto columns = rt::ParseListFormat(control.format ? control.format : "");
    ASSERT_TRUE(columns);
    ASSERT_EQ(columns->size(), list.columns.size());
    for (std::size_t i = 0; i < columns->size(); ++i) {
      SCOPED_TRACE(testing::Message() << "column " << i + 1);
      const rt::ColumnFormat& got = (*columns)[i];
      const ColumnRow& want = list.columns[i];
      EXPECT_EQ(got.width, want.width);
      EXPECT_EQ(got.align, want.align);
      EXPECT_EQ(got.indent, want.indent);
      EXPECT_EQ(got.header, want.header);
      if (*want.header) {
        EXPECT_EQ(got.header_align, want.header_align);
        EXPECT_EQ(got.header_indent, want.header_indent);
      }
      EXPECT_EQ(got.picture, want.picture);
      EXPECT_EQ(got.icon, want.icon);
      EXPECT_EQ(got.colours, want.colours);
      EXPECT_EQ(got.right_border, want.right_border);
      EXPECT_EQ(got.scroll_width, want.scroll_width);
    }
  }
}

TEST(WindowDefinitions, LogColumnsOutgrowTheListSoItScrollsSideways) {
  const ControlDef& list = kActivityLogWindow.control(activity_log_field::Browse_1);
  auto columns = rt::ParseListFormat(list.format ? list.format : "");
  ASSERT_TRUE(columns);
  int total = 0;
  for (const rt::ColumnFormat& column : *columns) total += column.width;
  EXPECT_EQ(total, 407);
  EXPECT_GT(total, list.w);
  EXPECT_TRUE(list.flags & rt::kHScroll);
}

}  // namespace
}  // namespace procedures
