// Tests of the Win32 backend with real windows, in this process: the main window's controls and
// layout, and input posted to its controls coming back from the window model as events and
// bound values. Each test closes what it opened; a watchdog closes a window that waits too long,
// so that a lost event fails the test instead of hanging it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "runtime/win32/win32_backend.h"
#include "runtime/win32/win32_fonts.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "procedures/activity_log_def.h"
#include "procedures/activity_record_def.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;
using rt::ControlKind;
using rt::Event;
using rt::EventKind;
using rt::win32::kFirstControlId;
using rt::win32::kFirstUpDownId;
using rt::win32::kWindowClass;
namespace f = procedures::main_field;

constexpr wchar_t kMainTitle[] = L"Nightjar (Batchwright)";

// --- The main window ---------------------------------------------------------------------------

TEST_F(Win32Window, MainWindowHasOneChildControlPerField) {
  const rt::WindowDef& def = procedures::kMainWindow;
  HWND top;
  {
    rt::Window window(runtime_, def);
    top = FindWindowW(kWindowClass, kMainTitle);
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(IsWindowVisible(top));
    // The window opens with the focus on its first control in Tab order (Main then gives it to
    // the list).
    EXPECT_EQ(GetFocus(), ControlOf(top, f::TimeOut));
    EXPECT_NE(SendMessageW(top, WM_GETICON, ICON_BIG, 0), 0) << "the program icon is missing";

    // One child per control, each spin box's arrows beside its field, and the list's own scroll
    // bar.
    std::vector<HWND> children = Children(top);
    std::size_t spins = 0;
    for (const rt::ControlDef& c : def.controls) spins += c.kind == ControlKind::Spin ? 1 : 0;
    EXPECT_EQ(children.size(), static_cast<std::size_t>(def.ControlCount()) + spins + 1);
    for (int field = 1; field <= def.ControlCount(); ++field) {
      const rt::ControlDef& c = def.control(field);
      SCOPED_TRACE(c.name);
      HWND hwnd = ControlOf(top, field);
      ASSERT_NE(hwnd, nullptr);
      EXPECT_EQ(GetParent(hwnd), top);
      LONG style = Style(hwnd);
      switch (c.kind) {
        case ControlKind::List:
          EXPECT_EQ(ClassOf(hwnd), WC_LISTVIEWW);
          EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
          EXPECT_TRUE(style & LVS_SINGLESEL);
          EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
          EXPECT_EQ(ClassOf(GetDlgItem(top, rt::win32::kFirstScrollBarId + field)), L"ScrollBar");
          break;
        case ControlKind::Group:
          EXPECT_EQ(ClassOf(hwnd), L"Button");
          EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX);
          EXPECT_EQ(Text(hwnd), rt::win32::Widen(c.text));
          break;
        case ControlKind::Button: {
          EXPECT_EQ(ClassOf(hwnd), L"Button");
          EXPECT_EQ(Text(hwnd), rt::win32::Widen(c.text));
          // A button with a picture draws itself, and still tells the dialog manager whether it
          // is the default push button.
          if (c.icon) {
            EXPECT_EQ(style & BS_TYPEMASK, BS_OWNERDRAW);
            EXPECT_NE(SendMessageW(hwnd, BM_GETIMAGE, IMAGE_ICON, 0), 0) << "no icon " << c.icon;
          } else {
            EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
          }
          LRESULT code = SendMessageW(hwnd, WM_GETDLGCODE, 0, 0);
          EXPECT_EQ((code & DLGC_DEFPUSHBUTTON) != 0, (c.flags & rt::kDefaultButton) != 0);
          break;
        }
        case ControlKind::Check:
          EXPECT_EQ(ClassOf(hwnd), L"Button");
          EXPECT_EQ(Text(hwnd), rt::win32::Widen(c.text));
          // A read-only box shows the state it is given: a click does not tick it by itself.
          EXPECT_EQ(style & BS_TYPEMASK, (c.flags & rt::kReadOnly) ? BS_CHECKBOX : BS_AUTOCHECKBOX);
          break;
        case ControlKind::Spin: {
          EXPECT_EQ(ClassOf(hwnd), L"Edit");
          EXPECT_EQ((style & ES_READONLY) != 0, (c.flags & rt::kNoTyping) != 0);
          HWND arrows = GetDlgItem(top, kFirstUpDownId + field);
          ASSERT_NE(arrows, nullptr);
          EXPECT_EQ(ClassOf(arrows), UPDOWN_CLASSW);
          EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(arrows, UDM_GETBUDDY, 0, 0)), hwnd);
          int low = 0, high = 0;
          SendMessageW(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                       reinterpret_cast<LPARAM>(&high));
          EXPECT_EQ(low, c.range_low);
          EXPECT_EQ(high, c.range_high);
          break;
        }
        case ControlKind::Prompt:
        case ControlKind::String:
          EXPECT_EQ(ClassOf(hwnd), L"Static");
          EXPECT_EQ(Text(hwnd), rt::win32::Widen(c.text));
          EXPECT_FALSE(style & SS_NOPREFIX);
          break;
        case ControlKind::Entry:
          EXPECT_EQ(ClassOf(hwnd), L"Edit");
          EXPECT_EQ((style & ES_READONLY) != 0, (c.flags & rt::kReadOnly) != 0);
          break;
        case ControlKind::Image:
          EXPECT_EQ(ClassOf(hwnd), L"Static");
          EXPECT_EQ(style & SS_TYPEMASK, SS_BITMAP);
          EXPECT_NE(SendMessageW(hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no logo bitmap";
          break;
      }
    }
    // Enter presses the default button.
    LRESULT default_id = SendMessageW(top, DM_GETDEFID, 0, 0);
    EXPECT_EQ(HIWORD(default_id), DC_HASDEFID);
    EXPECT_EQ(LOWORD(default_id), kFirstControlId + f::Change);
    // Tab order is field order: the group boxes, labels and pictures are no stops.
    EXPECT_TRUE(Style(ControlOf(top, f::Browse_1)) & WS_TABSTOP);
    EXPECT_FALSE(Style(ControlOf(top, f::ApplicationGroup)) & WS_TABSTOP);
    EXPECT_EQ(GetNextDlgTabItem(top, ControlOf(top, f::MakeExe), FALSE), ControlOf(top, f::MakeDll));
    window.Close();
  }
  EXPECT_FALSE(IsWindow(top)) << "the closed window is left behind";
}

TEST_F(Win32Window, MainWindowControlsCarryTheirTooltipsFontsAndColumns) {
  const rt::WindowDef& def = procedures::kMainWindow;
  rt::Window window(runtime_, def);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);

  // Tooltips: one tool per control that has one, the spin box's arrows included.
  HWND tips = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM found) {
        if (ClassOf(hwnd) == TOOLTIPS_CLASSW) *reinterpret_cast<HWND*>(found) = hwnd;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&tips));
  ASSERT_NE(tips, nullptr);
  int with_tooltip = 0;
  for (const rt::ControlDef& c : def.controls)
    with_tooltip += (c.tooltip ? 1 : 0) + (c.tooltip && c.kind == ControlKind::Spin ? 1 : 0);
  // One more for each spin box's arrows (counted above), and the list's cell tip.
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), with_tooltip + 1);
  wchar_t tip[128] = L"";
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = top;
  info.uId = reinterpret_cast<UINT_PTR>(ControlOf(top, f::MakeDll));
  info.lpszText = tip;
  SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&info));
  EXPECT_STREQ(tip, L"Generate, make and compile a .DLL");

  // Fonts: each control in its own face, size and weight, with a substitute where needed.
  auto font_of = [&](int field) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ControlOf(top, field), WM_GETFONT, 0, 0)),
               sizeof(lf), &lf);
    return lf;
  };
  EXPECT_EQ(rt::win32::Narrow(font_of(f::Browse_1).lfFaceName), rt::win32::ResolveFace("Arial"));
  EXPECT_EQ(rt::win32::Narrow(font_of(f::MakeExe).lfFaceName), rt::win32::ResolveFace("MS Sans Serif"));
  EXPECT_EQ(rt::win32::Narrow(font_of(f::Credit).lfFaceName), rt::win32::ResolveFace("Small Fonts"));
  EXPECT_EQ(font_of(f::Credit).lfWeight, 700);
  EXPECT_EQ(rt::win32::Narrow(font_of(f::TimeOut).lfFaceName), rt::win32::ResolveFace("Arial"));

  // The list's columns: the icon column as wide as the format says, the application column wide
  // enough for twelve capitals and the order column for five, the last result taking what they
  // leave of the list's width; headers as written, "Application" indented.
  HWND list = ControlOf(top, f::Browse_1);
  HWND header = ListView_GetHeader(list);
  ASSERT_EQ(Header_GetItemCount(header), 5);
  auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
  auto base = rt::win32::MeasureDialogBase(font);
  EXPECT_EQ(ListView_GetColumnWidth(list, 0), base.ToPixelsX(8));
  EXPECT_GE(ListView_GetColumnWidth(list, 2), rt::win32::TextColumnWidth(font, 12));
  EXPECT_GE(ListView_GetColumnWidth(list, 3), rt::win32::TextColumnWidth(font, 5));
  RECT client;
  GetClientRect(list, &client);
  int before_last = 0;
  for (int i = 0; i < 4; ++i) before_last += ListView_GetColumnWidth(list, i);
  EXPECT_EQ(ListView_GetColumnWidth(list, 4), client.right - before_last);
  wchar_t heading[64] = L"";
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = heading;
  column.cchTextMax = 64;
  ListView_GetColumn(list, 1, &column);
  EXPECT_STREQ(heading, L"Drive && Path");  // the header shows it as "Drive & Path"
  ListView_GetColumn(list, 2, &column);
  EXPECT_EQ(std::wstring(heading).find_first_not_of(L' '), 1u) << "indented by one space";
  EXPECT_STREQ(heading + 1, L"Application");
  window.Close();
}

// What the definitions promise holds on screen, in the fonts the windows really get: every control
// inside its window and apart from the others (a group box holds its members).
TEST_F(Win32Window, EveryWindowsControlsLieInsideItAndApartOnScreen) {
  for (const rt::WindowDef* def : {&procedures::kMainWindow, &procedures::kApplicationFormWindow,
                                   &procedures::kActivityLogWindow, &procedures::kActivityRecordWindow}) {
    rt::Window window(runtime_, *def);
    HWND top = FindWindowW(kWindowClass, nullptr);
    ASSERT_NE(top, nullptr);
    RECT client;
    GetClientRect(top, &client);
    auto box = [&](int field) { return ClientRectIn(top, ControlOf(top, field)); };
    for (int a = 1; a <= def->ControlCount(); ++a) {
      const RECT r = box(a);
      SCOPED_TRACE(std::string(def->id) + " " + def->control(a).name);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom);
      const int members = def->control(a).kind == ControlKind::Group ? def->control(a).members : 0;
      for (int b = a + members + 1; b <= def->ControlCount(); ++b) {
        RECT common;
        const RECT other = box(b);
        EXPECT_FALSE(IntersectRect(&common, &r, &other)) << "overlaps " << def->control(b).name;
      }
    }
    window.Close();
  }
}

TEST_F(Win32Window, MainWindowIsLaidOutInDialogUnitsOfItsFont) {
  const rt::WindowDef& def = procedures::kMainWindow;
  rt::Window window(runtime_, def);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  // The list has the window's own font (Arial 9, or its substitute).
  auto base = rt::win32::MeasureDialogBase(reinterpret_cast<HFONT>(
      SendMessageW(ControlOf(top, f::Browse_1), WM_GETFONT, 0, 0)));
  RECT client;
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, base.ToPixelsX(def.w));
  EXPECT_EQ(client.bottom, base.ToPixelsY(def.h));
  for (int field : {f::Browse_1, f::ApplicationGroup, f::Close, f::Delete, f::LastAction}) {
    const rt::ControlDef& c = def.control(field);
    SCOPED_TRACE(c.name);
    RECT r = ClientRectIn(top, ControlOf(top, field));
    EXPECT_EQ(r.left, base.ToPixelsX(c.x));
    EXPECT_EQ(r.top, base.ToPixelsY(c.y));
    EXPECT_EQ(r.right, base.ToPixelsX(c.x + c.w));  // far edges converted where they stand
    EXPECT_EQ(r.bottom, base.ToPixelsY(c.y + c.h));
  }
  // Controls of natural size are as big as their text, and no bigger than the window.
  RECT prompt = ClientRectIn(top, ControlOf(top, f::TimeOut_Prompt));
  SIZE text = rt::win32::MeasureText(
      reinterpret_cast<HFONT>(SendMessageW(ControlOf(top, f::TimeOut_Prompt), WM_GETFONT, 0, 0)),
      "DDE Time Out (in minutes):");
  EXPECT_GE(prompt.right - prompt.left, text.cx);
  EXPECT_LT(prompt.right - prompt.left, text.cx + 4);
  RECT check = ClientRectIn(top, ControlOf(top, f::ServerActive));
  EXPECT_GT(check.right - check.left, 0);
  EXPECT_LE(check.right, client.right);
  window.Close();
}

TEST_F(Win32Window, CloseButtonDeliversAcceptedThenTheWindowCloses) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(Next(window, top), (Event{EventKind::OpenWindow, 0}));
  PostMessageW(ControlOf(top, f::Close), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::Close}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::CloseWindow, 0}));
  EXPECT_FALSE(window.Accept());
  EXPECT_TRUE(window.IsClosed());
  EXPECT_FALSE(IsWindow(top));
  EXPECT_EQ(runtime_.WindowCount(), 0);
}

TEST_F(Win32Window, CloseBoxAsksTheModelInsteadOfDestroyingTheWindow) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(Next(window, top), (Event{EventKind::OpenWindow, 0}));
  SendMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(top)) << "the close box destroyed the window behind the model's back";
  EXPECT_EQ(Next(window, top), (Event{EventKind::CloseWindow, 0}));
  EXPECT_FALSE(window.Accept());
  EXPECT_FALSE(IsWindow(top));
}

TEST_F(Win32Window, ButtonsAndSpinArrowsReachTheModelAndAClickDoesNotTickTheConnectionBox) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  std::uint8_t connected = 0;
  std::uint8_t time_out = 15;
  window.Bind(f::ServerActive, connected);
  window.Bind(f::TimeOut, time_out);
  EXPECT_EQ(Text(ControlOf(top, f::TimeOut)), L"15");
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);

  // The connection box is read-only: its click brings no event, and the button's comes next.
  PostMessageW(ControlOf(top, f::ServerActive), BM_CLICK, 0, 0);
  PostMessageW(ControlOf(top, f::MakeExe), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::MakeExe}));
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(SendMessageW(ControlOf(top, f::ServerActive), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // The up arrow (upper half of the arrows) steps the time-out up; the down arrow steps it down.
  HWND arrows = GetDlgItem(top, kFirstUpDownId + f::TimeOut);
  RECT r;
  GetClientRect(arrows, &r);
  Click(arrows, r.right / 2, r.bottom / 4);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(time_out, 16);
  EXPECT_EQ(Text(ControlOf(top, f::TimeOut)), L"16");
  Click(arrows, r.right / 2, r.bottom * 3 / 4);
  Click(arrows, r.right / 2, r.bottom * 3 / 4);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(time_out, 14);
  EXPECT_EQ(Text(ControlOf(top, f::TimeOut)), L"14");

  // The field takes no typing: what is typed into it changes nothing.
  window.Select(f::TimeOut);
  PostMessageW(ControlOf(top, f::TimeOut), WM_CHAR, '7', 1);
  PostMessageW(ControlOf(top, f::ExportTxa), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::ExportTxa}));
  EXPECT_EQ(time_out, 14);
  window.Close();
}

TEST_F(Win32Window, SpinBoxUpAndDownKeysStepOnceEachAsTheArrowsDo) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  std::uint8_t time_out = 15;
  window.Bind(f::TimeOut, time_out);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  window.Select(f::TimeOut);
  HWND field = ControlOf(top, f::TimeOut);
  ASSERT_EQ(GetFocus(), field);

  PostKey(field, VK_UP);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(time_out, 16);
  PostKey(field, VK_DOWN);
  PostKey(field, VK_DOWN);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::TimeOut}));
  EXPECT_EQ(time_out, 14);
  EXPECT_EQ(Text(field), L"14");
  // No key made a second step: the next event is the button's, and the value stayed.
  PostMessageW(ControlOf(top, f::ExportTxa), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::ExportTxa}));
  EXPECT_EQ(time_out, 14);
  window.Close();
}

// The count of IDEs at once takes typing, unlike the time-out: a number in its range is taken, one
// out of it is rejected (Main then says why and shows the count in use), and its arrows step it.
TEST_F(Win32Window, TheIdesSpinBoxTakesATypedCountInItsRangeAndRejectsOthers) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  std::uint8_t ides = 1;
  window.Bind(f::IDEs, ides);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  HWND field = ControlOf(top, f::IDEs);
  EXPECT_EQ(Text(field), L"1");

  SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
  PostMessageW(ControlOf(top, f::ExportTxa), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::IDEs}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::ExportTxa}));
  EXPECT_EQ(ides, 4);
  for (const wchar_t* bad : {L"17", L"0"}) {
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(bad));
    PostMessageW(ControlOf(top, f::ExportTxa), BM_CLICK, 0, 0);
    EXPECT_EQ(Next(window, top), (Event{EventKind::Rejected, f::IDEs}));
    EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::ExportTxa}));
    EXPECT_EQ(ides, 4);
  }
  window.Display(f::IDEs);
  window.Select(f::IDEs);
  PostKey(field, VK_UP);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::IDEs}));
  EXPECT_EQ(ides, 5);
  EXPECT_EQ(Text(field), L"5");
  window.Close();
}

TEST_F(Win32Window, TimeOutPromptShowsWholeBesideASpinBoxWideEnoughForItsNumbers) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  std::uint8_t time_out = 99;
  window.Bind(f::TimeOut, time_out);
  HWND prompt = ControlOf(top, f::TimeOut_Prompt);
  HWND field = ControlOf(top, f::TimeOut);
  HWND arrows = GetDlgItem(top, kFirstUpDownId + f::TimeOut);
  auto font_of = [](HWND hwnd) { return reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)); };
  RECT p = ClientRectIn(top, prompt), e = ClientRectIn(top, field), a = ClientRectIn(top, arrows);
  EXPECT_GE(p.right - p.left, rt::win32::MeasureText(font_of(prompt), "DDE Time Out (in minutes):").cx);
  // Neither paints over the other, and the box keeps clear of the list.
  EXPECT_LE(p.right, e.left);
  EXPECT_EQ(e.right, a.left);
  EXPECT_LE(a.right, ClientRectIn(top, ControlOf(top, f::Browse_1)).left);
  RECT inner;
  GetClientRect(field, &inner);
  auto margins = static_cast<DWORD>(SendMessageW(field, EM_GETMARGINS, 0, 0));
  EXPECT_GE(inner.right - LOWORD(margins) - HIWORD(margins), rt::win32::MeasureText(font_of(field), "99").cx);
  EXPECT_EQ(Text(field), L"99");
  window.Close();
}

// The caption's words, blanks between them collapsed to one.
std::wstring Words(const std::wstring& text) {
  std::wstring out;
  for (wchar_t ch : text)
    if (ch != L' ' || (!out.empty() && out.back() != L' ')) out.push_back(ch);
  while (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

TEST_F(Win32Window, ButtonsWithAPictureShowTheirWholeTextBesideIt) {
  const rt::WindowDef& def = procedures::kMainWindow;
  rt::Window window(runtime_, def);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  for (int field = 1; field <= def.ControlCount(); ++field) {
    const rt::ControlDef& c = def.control(field);
    if (c.kind != ControlKind::Button || !c.icon) continue;
    SCOPED_TRACE(c.name);
    HWND button = ControlOf(top, field);
    ICONINFO icon{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0)), &icon));
    BITMAP bm{};
    GetObjectW(icon.hbmColor ? icon.hbmColor : icon.hbmMask, sizeof(bm), &bm);
    DeleteObject(icon.hbmColor);
    DeleteObject(icon.hbmMask);
    // What the button draws inside its raised edge.
    RECT inside;
    GetClientRect(button, &inside);
    InflateRect(&inside, -2, -2);
    rt::win32::ButtonFace face = rt::win32::LayOutButton(
        reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), inside, bm.bmWidth, Text(button));
    EXPECT_GT(face.icon.right, face.icon.left) << "the picture is left out";
    EXPECT_LE(face.icon.right, face.text.left) << "the picture covers the text";
    EXPECT_GE(face.icon.left, inside.left);
    EXPECT_LE(face.text.right, inside.right);
    std::wstring shown;
    for (const std::wstring& line : face.lines) shown += (shown.empty() ? L"" : L" ") + line;
    EXPECT_EQ(Words(shown), Words(Text(button)));
  }
  // The make buttons' captions are too long for one line beside the picture: they take two.
  rt::win32::ButtonFace make = rt::win32::LayOutButton(
      reinterpret_cast<HFONT>(SendMessageW(ControlOf(top, f::MakeExe), WM_GETFONT, 0, 0)),
      RECT{0, 0, 84, 21}, 16, L"&Gen && Make    (.EXE)");
  EXPECT_EQ(make.lines, (std::vector<std::wstring>{L"&Gen && Make", L"(.EXE)"}));
  window.Close();
}

// The pixels a button with a picture draws for `state` (ODS_* flags).
std::vector<COLORREF> DrawnButton(HWND top, HWND button, UINT state) {
  RECT r;
  GetClientRect(button, &r);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = static_cast<UINT>(GetDlgCtrlID(button));
  item.itemAction = ODA_DRAWENTIRE;
  item.itemState = state;
  item.hwndItem = button;
  item.hDC = dc;
  item.rcItem = r;
  EXPECT_TRUE(SendMessageW(top, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)));
  std::vector<COLORREF> pixels;
  for (int y = 0; y < r.bottom; ++y)
    for (int x = 0; x < r.right; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

TEST_F(Win32Window, ButtonsWithAPictureShowTheirAccessKeyAsTheKeyboardCuesSay) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  HWND insert = ControlOf(top, f::Insert);  // "&Insert"
  // Drawn with the access keys hidden (until Alt is pressed) and shown: the two differ only by
  // the mark under the "I", a few pixels on one row.
  std::vector<COLORREF> hidden = DrawnButton(top, insert, ODS_NOACCEL);
  std::vector<COLORREF> shown = DrawnButton(top, insert, 0);
  ASSERT_EQ(shown.size(), hidden.size());
  RECT r;
  GetClientRect(insert, &r);
  std::vector<int> rows;
  for (std::size_t i = 0; i < shown.size(); ++i)
    if (shown[i] != hidden[i]) rows.push_back(static_cast<int>(i) / r.right);
  ASSERT_FALSE(rows.empty()) << "no access-key mark drawn";
  EXPECT_EQ(rows.front(), rows.back()) << "more changed than the mark";
  window.Close();
}

TEST_F(Win32Window, ModelChangesReachTheControls) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  platform::FixedString<30> last_action;
  window.Bind(f::LastAction, last_action);
  last_action = "Made NIGHTJAR.APP";
  window.Display(f::LastAction);
  EXPECT_EQ(Text(ControlOf(top, f::LastAction)), L"Made NIGHTJAR.APP");

  window.Disable(f::Connect);
  EXPECT_FALSE(IsWindowEnabled(ControlOf(top, f::Connect)));
  window.Enable(f::Connect);
  EXPECT_TRUE(IsWindowEnabled(ControlOf(top, f::Connect)));
  window.Hide(f::Disconnect);
  EXPECT_FALSE(IsWindowVisible(ControlOf(top, f::Disconnect)));
  window.Unhide(f::Disconnect);
  EXPECT_TRUE(IsWindowVisible(ControlOf(top, f::Disconnect)));
  window.Hide(f::TimeOut);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(top, kFirstUpDownId + f::TimeOut)));
  window.SetText(f::Log, "&History");
  EXPECT_EQ(Text(ControlOf(top, f::Log)), L"&History");

  // A disabled button takes no clicks.
  window.Disable(f::Tag);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  PostMessageW(ControlOf(top, f::Tag), BM_CLICK, 0, 0);
  PostMessageW(ControlOf(top, f::Insert), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, f::Insert}));

  window.Select(f::Browse_1);
  EXPECT_EQ(GetFocus(), ControlOf(top, f::Browse_1));
  window.Close();
}

// --- The list -----------------------------------------------------------------------------------

class Applications final : public rt::ListSource {
 public:
  struct Row {
    bool tagged;
    std::string path;
    std::string name;
    bool failed = false;  // a last result with its icon and tip
  };
  std::vector<Row> rows;
  int RowCount() const override { return static_cast<int>(rows.size()); }
  rt::Cell CellAt(int row, int column) const override {
    const Row& r = rows[static_cast<std::size_t>(row - 1)];
    switch (column) {
      case 1: return {r.tagged ? "*" : ""};
      case 2: return {r.path};
      case 3: return {r.name};
      case 4: return {""};
      default:
        if (!r.failed) return {""};
        return {.text = "failed: 3 errors", .icon = 2, .tip = "failed, Gen & Make (.EXE), 3/1/24 9:00AM: 3 errors"};
    }
  }
  int IconAt(int row) const override { return rows[static_cast<std::size_t>(row - 1)].tagged ? 1 : 0; }
};

std::wstring CellText(HWND list, int item, int column) {
  wchar_t buffer[128] = L"";
  ListView_GetItemText(list, item, column, buffer, 128);
  return buffer;
}

TEST_F(Win32Window, ListShowsItsRowsAndReportsClicks) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  HWND list = ControlOf(top, f::Browse_1);
  Applications apps;
  apps.rows = {{false, "C:\\APPS\\LEDGER", "LEDGER.APP"},
               {true, "C:\\APPS\\STOCK", "STOCK.APP          and more than twelve"},
               {false, "D:\\WORK", "PAYROLL.APP"}};
  window.SetIcon(f::Browse_1, 1, "~c:\\cw20\\template\\check.ico");
  window.Bind(f::Browse_1, apps);
  window.SetSelectedRow(f::Browse_1, 2);

  ASSERT_EQ(ListView_GetItemCount(list), 3);
  EXPECT_GE(window.VisibleRows(f::Browse_1), 10);  // a page of the list fills its height
  EXPECT_EQ(CellText(list, 0, 1), L"C:\\APPS\\LEDGER");
  // Whole, however long (a long name the list shows; the control shortens what does not fit
  // its column), and indented.
  EXPECT_EQ(CellText(list, 1, 2), L" STOCK.APP          and more than twelve");
  EXPECT_EQ(CellText(list, 2, 2), L" PAYROLL.APP");
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1);
  HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
  ASSERT_NE(images, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images), 1);
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 1;
  ListView_GetItem(list, &item);
  EXPECT_EQ(item.iImage, 0);  // the tagged row shows icon 1
  item.iItem = 0;
  ListView_GetItem(list, &item);
  EXPECT_LT(item.iImage, 0);

  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  // A click on the third row selects it.
  RECT row;
  ListView_GetItemRect(list, 2, &row, LVIR_BOUNDS);
  Click(list, ListView_GetColumnWidth(list, 0) + 10, (row.top + row.bottom) / 2);
  EXPECT_EQ(Next(window, top), (Event{EventKind::NewSelection, f::Browse_1}));
  EXPECT_EQ(window.SelectedRow(f::Browse_1), 3);
  EXPECT_EQ(window.LastKey(), rt::key::kMouseLeft);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 2);

  // Keys, wheel, scroll bar and the other buttons are tested on a list of its own
  // (win32_list_test.cpp).
  window.Close();
}

TEST_F(Win32Window, ApplicationColumnShowsWholeNamesBesideTheScrollBarAndCutPathsAndResultsShowInATip) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  HWND list = ControlOf(top, f::Browse_1);
  const std::string deep = "C:\\CW20\\EXAMPLES\\ACCOUNTING\\SUBSYSTEMS\\";
  Applications apps;
  for (int i = 0; i < 30; ++i) apps.rows.push_back({false, i % 2 ? "C:\\APPS\\" : deep, "ACMEMAIN.APP", i == 2});
  window.SetIcon(f::Browse_1, 1, "CHECK.ICO");
  window.SetIcon(f::Browse_1, 2, "FAILED.ICO");
  window.Bind(f::Browse_1, apps);
  window.ShowScrollBar(f::Browse_1, true);
  ASSERT_TRUE(IsWindowVisible(GetDlgItem(top, rt::win32::kFirstScrollBarId + f::Browse_1)));

  // The name, as the cell shows it (indented), and the list's space around it fit the column;
  // the columns fill the list beside the scroll bar.
  EXPECT_EQ(CellText(list, 0, 2), L" ACMEMAIN.APP");
  EXPECT_GE(ListView_GetColumnWidth(list, 2), ListView_GetStringWidth(list, L" ACMEMAIN.APP") + 12);
  RECT client;
  GetClientRect(list, &client);
  int widths = 0;
  for (int column = 0; column < 5; ++column) widths += ListView_GetColumnWidth(list, column);
  EXPECT_EQ(widths, client.right);

  // Over a cut path the cell tip covers the cell and holds the whole path; over a whole one it
  // covers nothing.
  HWND tips = PeerTooltip(top);
  ASSERT_NE(tips, nullptr);
  auto tip_over = [&](int row, std::wstring& text, int column = 1) {
    RECT cell;
    ListView_GetSubItemRect(list, row, column, LVIR_BOUNDS, &cell);
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + 5, (cell.top + cell.bottom) / 2));
    wchar_t buffer[256] = L"";
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = list;
    info.uId = rt::win32::kCellTipId;
    info.lpszText = buffer;
    SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&info));
    text = buffer;
    info.lpszText = nullptr;
    SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info));
    return std::make_pair(info.rect, cell);
  };
  std::wstring text;
  auto [tip, cell] = tip_over(0, text);
  EXPECT_EQ(text, rt::win32::Widen(deep));
  EXPECT_TRUE(EqualRect(&tip, &cell));
  auto [no_tip, short_cell] = tip_over(1, text);
  EXPECT_TRUE(IsRectEmpty(&no_tip));
  // A last result shows its own icon, and its whole text as its tip although nothing of it is cut.
  EXPECT_EQ(CellText(list, 2, 4), L" failed: 3 errors");
  auto [result_tip, result_cell] = tip_over(2, text, 4);
  EXPECT_EQ(text, L"failed, Gen & Make (.EXE), 3/1/24 9:00AM: 3 errors");
  EXPECT_TRUE(EqualRect(&result_tip, &result_cell));
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 2;
  item.iSubItem = 4;
  ListView_GetItem(list, &item);
  EXPECT_EQ(item.iImage, 1);
  item.iItem = 1;
  ListView_GetItem(list, &item);
  EXPECT_LT(item.iImage, 0);
  window.Close();
}

// --- Windows of other definitions ---------------------------------------------------------------

constexpr rt::ControlDef Make(const char* name, ControlKind kind, const char* text, int x, int y,
                              int w, int h, std::uint32_t flags = 0) {
  rt::ControlDef c;
  c.name = name;
  c.kind = kind;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  c.flags = flags;
  return c;
}

constexpr rt::ControlDef WithPicture(rt::ControlDef c, const char* picture, std::uint32_t background) {
  c.picture = picture;
  c.background = background;
  return c;
}

const rt::ControlDef kFormControls[] = {
    Make("?Prompt", ControlKind::Prompt, "&Name:", 4, 6, rt::kDefault, rt::kDefault),
    WithPicture(Make("?Name", ControlKind::Entry, "", 40, 4, 80, 12), "@s10", 0x00FFFFFF),
    WithPicture(Make("?Count", ControlKind::Entry, "", 40, 20, 30, 12), "@n3", rt::kNoColour),
    Make("?OK", ControlKind::Button, "&OK", 4, 40, 40, 14, rt::kDefaultButton),
    Make("?Hidden", ControlKind::Button, "Hidden", 50, 40, 40, 14, rt::kHidden),
    Make("?Off", ControlKind::Button, "Off", 96, 40, 40, 14, rt::kDisabled),
};

const rt::WindowDef kFormWindow{
    .id = "FORM",
    .title = "Form under test",
    .w = 140,
    .h = 60,
    .icon = nullptr,
    .font = {"MS Sans Serif", 8, 400},
    .background = 0x00C0FFFF,
    .timer = 0,
    .controls = kFormControls,
};

const rt::ControlDef kTimerControls[] = {
    Make("?Label", ControlKind::String, "Ticking", 4, 4, rt::kDefault, rt::kDefault),
};

const rt::WindowDef kTimerWindow{
    .id = "TIMER",
    .title = "Timer under test",
    .w = 80,
    .h = 30,
    .icon = nullptr,
    .font = {},
    .background = rt::kNoColour,
    .timer = 10,
    .controls = kTimerControls,
};

TEST_F(Win32Window, TimerDeliversTimerEventsToTheWindow) {
  rt::Window window(runtime_, kTimerWindow);
  HWND top = FindWindowW(kWindowClass, L"Timer under test");
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  DWORD start = GetTickCount();
  EXPECT_EQ(Next(window, top), (Event{EventKind::Timer, 0}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::Timer, 0}));
  // Two ticks of a tenth of a second each (timers may come a little early or late).
  EXPECT_GE(GetTickCount() - start, 150u);
  PostMessageW(top, WM_CLOSE, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::CloseWindow, 0}));
  EXPECT_FALSE(window.Accept());
}

// --- Watching a folder ----------------------------------------------------------------------

const rt::WindowDef kWatchWindow{
    .id = "WATCH",
    .title = "Watch under test",
    .w = 80,
    .h = 30,
    .icon = nullptr,
    .font = {},
    .background = rt::kNoColour,
    .timer = 0,
    .controls = kTimerControls,
};

void Append(const std::filesystem::path& file, const char* text) {
  std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

TEST_F(Win32Window, WatchedFolderReportsChangesToItsFilesUntilTheWatchMovesOrStops) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("nj-watch-" + std::to_string(GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "ONE");
  fs::create_directories(root / "TWO");
  {
    rt::Window window(runtime_, kWatchWindow);
    HWND top = FindWindowW(kWindowClass, L"Watch under test");
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
    // Takes the events of half a second, up to the window's timer, and counts the folder changes
    // among them; a change signals more than once (made, then written), so this also clears the
    // rest of one.
    auto changes_within_half_a_second = [&] {
      window.SetTimerPeriod(50);
      int changes = 0;
      for (Event e = Next(window, top); e.kind != EventKind::Timer; e = Next(window, top)) {
        if (e.kind != EventKind::DirectoryChanged) {
          ADD_FAILURE() << "unexpected event " << static_cast<int>(e.kind);
          break;
        }
        ++changes;
      }
      window.SetTimerPeriod(0);
      return changes;
    };

    EXPECT_FALSE(window.WatchDirectory((root / "MISSING").string()));
    ASSERT_TRUE(window.WatchDirectory((root / "ONE" / "").string())) << "written with its separator";
    EXPECT_EQ(changes_within_half_a_second(), 0) << "nothing changed yet";

    // A file made by someone else while the window waits for input.
    std::thread maker([&] {
      Sleep(100);
      Append(root / "ONE" / "RESULT.TXT", "made");
    });
    EXPECT_EQ(Next(window, top), (Event{EventKind::DirectoryChanged, 0}));
    maker.join();
    changes_within_half_a_second();
    Append(root / "ONE" / "RESULT.TXT", "written");
    EXPECT_EQ(Next(window, top), (Event{EventKind::DirectoryChanged, 0})) << "the watch goes on";
    changes_within_half_a_second();

    ASSERT_TRUE(window.WatchDirectory((root / "TWO").string()));
    Append(root / "ONE" / "RESULT.TXT", "old folder");
    EXPECT_EQ(changes_within_half_a_second(), 0) << "the old folder is no longer watched";
    Append(root / "TWO" / "RESULT.TXT", "new folder");
    EXPECT_EQ(Next(window, top), (Event{EventKind::DirectoryChanged, 0}));
    changes_within_half_a_second();

    EXPECT_TRUE(window.WatchDirectory(""));
    Append(root / "TWO" / "RESULT.TXT", "unwatched");
    EXPECT_EQ(changes_within_half_a_second(), 0) << "the watch stopped";
    // Watching again, then closing: the window takes its watch with it.
    EXPECT_TRUE(window.WatchDirectory((root / "TWO").string()));
    window.Close();
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

TEST_F(Win32Window, TypedTextIsAcceptedWhenTheFieldIsLeftOrAButtonPressed) {
  rt::Window window(runtime_, kFormWindow);
  HWND top = FindWindowW(kWindowClass, L"Form under test");
  ASSERT_NE(top, nullptr);
  platform::FixedString<10> name;
  std::int16_t count = 5;
  window.Bind(2, name);
  window.Bind(3, count);
  EXPECT_FALSE(IsWindowVisible(ControlOf(top, 5)));
  EXPECT_FALSE(IsWindowEnabled(ControlOf(top, 6)));
  EXPECT_EQ(SendMessageW(ControlOf(top, 2), EM_GETLIMITTEXT, 0, 0), 10);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);

  window.Select(2);
  ASSERT_EQ(GetFocus(), ControlOf(top, 2));
  for (char ch : std::string("Ledger")) PostMessageW(ControlOf(top, 2), WM_CHAR, ch, 1);
  PostKey(ControlOf(top, 2), VK_TAB);  // leaves the field for the next one
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 2}));
  EXPECT_EQ(name.str(), "Ledger");
  EXPECT_EQ(GetFocus(), ControlOf(top, 3));

  // Text that does not fit the picture is rejected and the field shows the variable again.
  SendMessageW(ControlOf(top, 3), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"12x"));
  PostMessageW(ControlOf(top, 4), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Rejected, 3}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 4}));
  EXPECT_EQ(count, 5);

  // Enter in a field presses the default button, after the field's text was taken.
  window.Select(3);
  SendMessageW(ControlOf(top, 3), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"42"));
  PostKey(ControlOf(top, 3), VK_RETURN);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 3}));
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 4}));
  EXPECT_EQ(count, 42);

  // The access key of the label leads to the field after it; the button's presses it.
  PostMessageW(ControlOf(top, 3), WM_SYSCHAR, 'o', 1 << 29);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 4}));
  window.Close();
}

COLORREF BrushColour(LRESULT brush) {
  LOGBRUSH lb{};
  GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof(lb), &lb);
  return lb.lbColor;
}

TEST_F(Win32Window, ColoursOfTheDefinitionPaintTheWindowAndItsControls) {
  rt::Window window(runtime_, kFormWindow);
  HWND top = FindWindowW(kWindowClass, L"Form under test");
  ASSERT_NE(top, nullptr);
  HDC dc = GetDC(top);
  // The label stands on the window's own background colour, the entry has its white one, and an
  // entry without a colour keeps the system's.
  LRESULT label = SendMessageW(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(ControlOf(top, 1)));
  EXPECT_EQ(BrushColour(label), COLORREF(0x00C0FFFF));
  LRESULT name = SendMessageW(top, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(ControlOf(top, 2)));
  EXPECT_EQ(BrushColour(name), COLORREF(0x00FFFFFF));
  LRESULT count = SendMessageW(top, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(ControlOf(top, 3)));
  EXPECT_EQ(BrushColour(count), GetSysColor(COLOR_WINDOW));
  LRESULT frame = SendMessageW(top, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(top));
  EXPECT_EQ(BrushColour(frame), COLORREF(0x00C0FFFF));
  ReleaseDC(top, dc);
  window.Close();
}

TEST_F(Win32Window, BusyCursorShowsOverTheWindowUntilNormalAgain) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  HCURSOR wait = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
  runtime_.SetBusyCursor(true);
  EXPECT_TRUE(SendMessageW(ControlOf(top, f::Browse_1), WM_SETCURSOR,
                           reinterpret_cast<WPARAM>(ControlOf(top, f::Browse_1)),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), wait);
  runtime_.SetBusyCursor(false);
  SendMessageW(top, WM_SETCURSOR, reinterpret_cast<WPARAM>(top), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), wait);
  window.Close();
}

TEST_F(Win32Window, WorkingCursorShowsOverArrowsWhileInputIsTakenAndBusyWins) {
  rt::Window window(runtime_, kFormWindow);
  HWND top = FindWindowW(kWindowClass, L"Form under test");
  ASSERT_NE(top, nullptr);
  HCURSOR working = LoadCursorW(nullptr, MAKEINTRESOURCEW(32650));
  HCURSOR wait = LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
  HCURSOR ibeam = LoadCursorW(nullptr, MAKEINTRESOURCEW(32513));
  auto cursor_over = [&](HWND hwnd, WORD hit) {
    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(hit, WM_MOUSEMOVE));
    return GetCursor();
  };
  HWND button = ControlOf(top, 4);
  HWND entry = ControlOf(top, 2);

  runtime_.SetWorkingCursor(true);
  EXPECT_EQ(cursor_over(top, HTCLIENT), working);
  EXPECT_EQ(cursor_over(button, HTCLIENT), working);
  EXPECT_EQ(cursor_over(entry, HTCLIENT), ibeam) << "an entry keeps its own cursor";
  EXPECT_NE(cursor_over(top, HTRIGHT), working) << "a border keeps its sizing cursor";
  runtime_.SetBusyCursor(true);
  EXPECT_EQ(cursor_over(button, HTCLIENT), wait);
  runtime_.SetBusyCursor(false);
  EXPECT_EQ(cursor_over(button, HTCLIENT), working);
  // Still taking input.
  PostMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 4}));
  runtime_.SetWorkingCursor(false);
  EXPECT_NE(cursor_over(button, HTCLIENT), working);
  window.Close();
}

TEST_F(Win32Window, WindowOpenedFromAnotherTakesAllInputUntilItCloses) {
  rt::Window main(runtime_, procedures::kMainWindow);
  HWND main_hwnd = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(main_hwnd, nullptr);
  ASSERT_EQ(Next(main, main_hwnd).kind, EventKind::OpenWindow);
  HWND form_hwnd;
  {
    rt::Window form(runtime_, kFormWindow);
    form_hwnd = FindWindowW(kWindowClass, L"Form under test");
    ASSERT_NE(form_hwnd, nullptr);
    EXPECT_EQ(GetWindow(form_hwnd, GW_OWNER), main_hwnd);
    EXPECT_FALSE(IsWindowEnabled(main_hwnd));
    ASSERT_EQ(Next(form, form_hwnd).kind, EventKind::OpenWindow);
    PostMessageW(ControlOf(form_hwnd, 4), BM_CLICK, 0, 0);
    EXPECT_EQ(Next(form, form_hwnd), (Event{EventKind::Accepted, 4}));
  }
  EXPECT_FALSE(IsWindow(form_hwnd));
  EXPECT_TRUE(IsWindowEnabled(main_hwnd));
  // The window below hears that it is the active one again.
  EXPECT_EQ(Next(main, main_hwnd), (Event{EventKind::GainFocus, 0}));
  main.Close();
}

// --- Services beside windows --------------------------------------------------------------------

// What a message box showed.
struct Seen {
  std::wstring caption, text;
  bool has_yes = false, has_no = false, has_cancel = false;
  HWND owner = nullptr;
};

// Answers the next message box of this thread as soon as it is set up, noting what it showed:
// presses `button`, or Enter when `button` is 0.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(int button) {
    button_ = button;
    seen_ = {};
    hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &BoxAnswerer::Hook, nullptr, GetCurrentThreadId());
  }
  ~BoxAnswerer() { UnhookWindowsHookEx(hook_); }
  static const Seen& seen() { return seen_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && ClassOf(call->hwnd) == L"#32770") {
      HWND box = call->hwnd;
      seen_.caption = Text(box);
      seen_.text = Text(GetDlgItem(box, 0xFFFF));
      seen_.has_yes = GetDlgItem(box, IDYES) != nullptr;
      seen_.has_no = GetDlgItem(box, IDNO) != nullptr;
      seen_.has_cancel = GetDlgItem(box, IDCANCEL) != nullptr;
      seen_.owner = GetWindow(box, GW_OWNER);
      if (button_ != 0) {
        PostMessageW(GetDlgItem(box, button_), BM_CLICK, 0, 0);
      } else {
        PostMessageW(box, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageW(box, WM_KEYUP, VK_RETURN, 0xC0000001);
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  static inline int button_ = 0;
  static inline Seen seen_;
  HHOOK hook_ = nullptr;
};

TEST_F(Win32Window, MessageBoxShowsItsButtonsAndReturnsThePressedOne) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  {
    BoxAnswerer answerer(IDYES);
    int pressed = runtime_.Message("Replace the file?", "Question under test", rt::BoxIcon::Question,
                                   rt::ButtonYes | rt::ButtonNo, rt::ButtonNo);
    EXPECT_EQ(pressed, rt::ButtonYes);
    const Seen& seen = BoxAnswerer::seen();
    EXPECT_EQ(seen.caption, L"Question under test");
    EXPECT_EQ(seen.text, L"Replace the file?");
    EXPECT_TRUE(seen.has_yes);
    EXPECT_TRUE(seen.has_no);
    EXPECT_FALSE(seen.has_cancel);
    EXPECT_EQ(seen.owner, top) << "the box is not modal to the window";
  }
  {
    // Enter presses the default button the caller chose.
    BoxAnswerer answerer(0);
    EXPECT_EQ(runtime_.Message("Replace the file?", "Question under test", rt::BoxIcon::Question,
                               rt::ButtonYes | rt::ButtonNo, rt::ButtonNo),
              rt::ButtonNo);
    EXPECT_EQ(runtime_.Message("Carry on?", "Question under test", rt::BoxIcon::Exclamation,
                               rt::ButtonAbort | rt::ButtonRetry | rt::ButtonIgnore, rt::ButtonRetry),
              rt::ButtonRetry);
  }
  window.Close();
}

TEST_F(Win32Window, PopupMenuReturnsTheChosenEntryCountingNoSeparators) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  const std::string menu = "&Insert|~Chan&ge|-|&Delete";
  // The menu takes the keys waiting in the queue as the user's: an access key chooses its entry.
  PostMessageW(top, WM_CHAR, 'd', 1);
  EXPECT_EQ(runtime_.Popup(menu), 3);
  PostMessageW(top, WM_CHAR, 'i', 1);
  EXPECT_EQ(runtime_.Popup(menu), 1);
  // A greyed entry cannot be chosen; Esc closes the menu with nothing chosen.
  PostMessageW(top, WM_CHAR, 'g', 1);
  PostKey(top, VK_ESCAPE);
  EXPECT_EQ(runtime_.Popup(menu), 0);
  window.Close();
}

// Answers the next file dialog of this thread: types `name` as the file name and presses Open,
// or cancels when `name` is empty; notes the dialog's title.
class FileDialogAnswerer {
 public:
  explicit FileDialogAnswerer(std::wstring name) {
    name_ = std::move(name);
    title_.clear();
    hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, &FileDialogAnswerer::Hook, nullptr, GetCurrentThreadId());
  }
  ~FileDialogAnswerer() { UnhookWindowsHookEx(hook_); }
  static const std::wstring& title() { return title_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && ClassOf(call->hwnd) == L"#32770" &&
        title_.empty()) {
      // The dialog itself, or the frame around a dialog hosted inside it.
      HWND dialog = GetDlgItem(call->hwnd, IDOK) ? call->hwnd : GetParent(call->hwnd);
      title_ = Text(dialog);
      if (name_.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      } else {
        for (int id : {0x47C, 0x480})  // the file-name box, in either dialog layout
          if (HWND field = GetDlgItem(dialog, id)) SetWindowTextW(field, name_.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  static inline std::wstring name_;
  static inline std::wstring title_;
  HHOOK hook_ = nullptr;
};

TEST_F(Win32Window, OpenFileDialogReturnsTheChosenPathAndKeepsTheCurrentFolder) {
  rt::Window window(runtime_, procedures::kMainWindow);
  HWND top = FindWindowW(kWindowClass, kMainTitle);
  ASSERT_NE(top, nullptr);
  wchar_t temp[MAX_PATH] = L"", before[MAX_PATH] = L"", after[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"nightjar-dialog-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring file = folder + L"\\LEDGER.APP";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  GetCurrentDirectoryW(MAX_PATH, before);
  std::string initial = rt::win32::Narrow(folder) + "\\";
  {
    FileDialogAnswerer answerer(L"LEDGER.APP");
    auto chosen = runtime_.OpenFile("Choose an application", "Applications|*.app|All files|*.*", initial);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(rt::win32::Widen(*chosen), file);
    EXPECT_EQ(FileDialogAnswerer::title(), L"Choose an application");
  }
  {
    FileDialogAnswerer answerer(L"");
    EXPECT_FALSE(runtime_.OpenFile("Choose an application", "Applications|*.app", initial).has_value());
  }
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(after, before);
  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
  window.Close();
}

}  // namespace
