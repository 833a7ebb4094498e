// Tests of the Win32 list control with a real window in this process: the list shows exactly one
// page, and its keys, mouse, wheel and own scroll bar reach the window model, which turns them
// into the events the page-loaded browse serves. A small window of its own keeps the numbers
// simple; each test closes its window.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "browse/page_browse.h"
#include "browse/thumb_stops.h"
#include "files/files.h"
#include "platform/directory_lister.h"
#include "platform/program_starter.h"
#include "platform/win32/dde_message_client.h"
#include "procedures/application_list.h"
#include "procedures/main_def.h"
#include "procedures/program.h"
#include "runtime/event.h"
#include "runtime/picture.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "runtime/win32/win32_backend.h"
#include "runtime/win32/win32_fonts.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;
using rt::ControlKind;
using rt::EventKind;
namespace key = rt::key;

constexpr int kList = 1;
constexpr int kOk = 2;
constexpr int kOther = 3;

constexpr rt::ControlDef Control(const char* name, ControlKind kind, const char* text, int x, int y,
                                 int w, int h, std::uint32_t flags, const char* format = nullptr) {
  rt::ControlDef c;
  c.name = name;
  c.kind = kind;
  c.text = text;
  c.x = x, c.y = y, c.w = w, c.h = h;
  c.flags = flags;
  c.format = format;
  return c;
}

// An icon column, a column with a line on its right edge, and an indented column.
const rt::ControlDef kControls[] = {
    Control("?List", ControlKind::List, "", 4, 4, 130, 100, rt::kVScroll,
            "10C*I@s1@60L|~Name~@s20@40L(2)~Code~L(4)@s8@"),
    Control("?OK", ControlKind::Button, "&OK", 4, 110, 40, 14, rt::kDefaultButton),
    Control("?Other", ControlKind::Button, "Other", 50, 110, 40, 14, 0),
};

const rt::WindowDef kListWindow{
    .id = "LIST",
    .title = "List under test",
    .w = 140,
    .h = 130,
    .icon = nullptr,
    .font = {"MS Sans Serif", 8, 400},
    .background = rt::kNoColour,
    .timer = 0,
    .controls = kControls,
};

// Rows "Name n" / "Cn"; odd rows carry icon 1. A row can be given another name.
class Numbered final : public rt::ListSource {
 public:
  int rows = 0;
  std::map<int, std::string> renamed;
  int RowCount() const override { return rows; }
  rt::Cell CellAt(int row, int column) const override {
    switch (column) {
      case 1: return {" "};
      case 2: {
        auto it = renamed.find(row);
        return {it != renamed.end() ? it->second : "Name " + std::to_string(row)};
      }
      default: return {"C" + std::to_string(row)};
    }
  }
  int IconAt(int row) const override { return row % 2; }
};

// Ctrl held down for the keys posted (and taken) while it lives.
class HoldCtrl {
 public:
  HoldCtrl() {
    GetKeyboardState(saved_);
    BYTE keys[256];
    std::copy(std::begin(saved_), std::end(saved_), keys);
    keys[VK_CONTROL] |= 0x80;
    keys[VK_LCONTROL] |= 0x80;
    SetKeyboardState(keys);
  }
  ~HoldCtrl() { SetKeyboardState(saved_); }

 private:
  BYTE saved_[256] = {};
};

class Win32List : public Win32Window {
 protected:
  void SetUp() override {
    window_ = std::make_unique<rt::Window>(runtime_, kListWindow);
    top_ = FindWindowW(rt::win32::kWindowClass, L"List under test");
    ASSERT_NE(top_, nullptr);
    list_ = ControlOf(top_, kList);
    bar_ = GetDlgItem(top_, rt::win32::kFirstScrollBarId + kList);
    ASSERT_NE(list_, nullptr);
    ASSERT_NE(bar_, nullptr);
    window_->SetIcon(kList, 1, "~c:\\cw20\\template\\check.ico");
    window_->Bind(kList, rows_);
    page_ = window_->VisibleRows(kList);
    ASSERT_EQ(Next(*window_, top_).kind, EventKind::OpenWindow);
  }
  void TearDown() override {
    window_->Close();
    EXPECT_FALSE(IsWindow(top_)) << "the closed window is left behind";
  }

  void Fill(int rows, int selected) {
    rows_.rows = rows;
    window_->Display(kList);
    window_->SetSelectedRow(kList, selected);
  }
  Event NextEvent() { return Next(*window_, top_); }
  // The next event is the one of a button pressed after the input under test: that input made none.
  void ExpectNoEvent() {
    PostMessageW(ControlOf(top_, kOther), BM_CLICK, 0, 0);
    EXPECT_EQ(NextEvent(), (Event{EventKind::Accepted, kOther}));
    window_->Select(kList);
  }
  int Highlighted() const { return ListView_GetNextItem(list_, -1, LVNI_SELECTED) + 1; }
  RECT Row(int row) const {
    RECT r{};
    ListView_GetItemRect(list_, row - 1, &r, LVIR_BOUNDS);
    return r;
  }
  LPARAM PointOnRow(int row) const {
    RECT r = Row(row);
    return MAKELPARAM(ListView_GetColumnWidth(list_, 0) + 10, (r.top + r.bottom) / 2);
  }
  // The list's client area in the window's coordinates.
  RECT ListClient() const {
    RECT r;
    GetClientRect(list_, &r);
    MapWindowPoints(list_, top_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  SCROLLBARINFO BarInfo() const {
    SCROLLBARINFO info{};
    info.cbSize = sizeof(info);
    GetScrollBarInfo(bar_, OBJID_CLIENT, &info);
    return info;
  }
  void PostToBar(UINT message, int y) {
    RECT r;
    GetClientRect(bar_, &r);
    PostMessageW(bar_, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(r.right / 2, y));
  }
  void ClickBar(int y) {
    PostToBar(WM_LBUTTONDOWN, y);
    PostToBar(WM_LBUTTONUP, y);
  }
  // Drags the thumb from wherever it is to `y` and lets it go.
  void DragThumb(int y) {
    SCROLLBARINFO info = BarInfo();
    PostToBar(WM_LBUTTONDOWN, (info.xyThumbTop + info.xyThumbBottom) / 2);
    PostToBar(WM_MOUSEMOVE, y);
    PostToBar(WM_LBUTTONUP, y);
  }

  Numbered rows_;
  std::unique_ptr<rt::Window> window_;
  HWND top_ = nullptr;
  HWND list_ = nullptr;
  HWND bar_ = nullptr;
  int page_ = 0;
};

TEST_F(Win32List, PageIsTheFullRowsThatFitBelowTheHeaderAndNeverScrolls) {
  RECT client;
  GetClientRect(list_, &client);
  RECT header = ClientRectIn(list_, ListView_GetHeader(list_));
  // More rows than fit: the list shows one page of them.
  Fill(page_ + 5, 1);
  RECT first = Row(1);
  int height = first.bottom - first.top;
  ASSERT_GT(height, 0);
  EXPECT_EQ(first.top, header.bottom);
  EXPECT_GE(page_, 5);
  EXPECT_EQ(page_, (client.bottom - header.bottom) / height);
  EXPECT_EQ(ListView_GetItemCount(list_), page_);
  EXPECT_LE(Row(page_).bottom, client.bottom);
  EXPECT_GT(Row(page_).bottom + height, client.bottom) << "another row would have fitted";

  // Highlighting the last row scrolls nothing, and the list has no scroll bar of its own.
  window_->SetSelectedRow(kList, page_);
  EXPECT_EQ(Highlighted(), page_);
  EXPECT_EQ(ListView_GetTopIndex(list_), 0);
  EXPECT_FALSE(Style(list_) & WS_VSCROLL);
  // The columns fit the width, so no horizontal scroll bar takes a row away.
  EXPECT_FALSE(Style(list_) & WS_HSCROLL);
  EXPECT_EQ(window_->VisibleRows(kList), page_);

  // The columns keep their widths: a divider dragged in the header does not move.
  HWND columns = ListView_GetHeader(list_);
  RECT name;
  ASSERT_TRUE(Header_GetItemRect(columns, 1, &name));
  int width = ListView_GetColumnWidth(list_, 1);
  int middle = (name.top + name.bottom) / 2;
  PostMessageW(columns, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(name.right, middle));
  PostMessageW(columns, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(name.right + 40, middle));
  PostMessageW(columns, WM_LBUTTONUP, 0, MAKELPARAM(name.right + 40, middle));
  ExpectNoEvent();
  EXPECT_EQ(ListView_GetColumnWidth(list_, 1), width);
  EXPECT_EQ(window_->VisibleRows(kList), page_);

  // The list's scroll bar stands in a strip of the list's own frame, right of its client area,
  // from beside the header to the bottom.
  RECT bar = ClientRectIn(top_, bar_);
  RECT inner = ListClient();
  RECT outer = ClientRectIn(top_, list_);
  EXPECT_TRUE(IsWindowVisible(bar_));
  EXPECT_EQ(bar.left, inner.right);
  EXPECT_EQ(bar.top, inner.top);
  EXPECT_EQ(bar.bottom, inner.bottom);
  EXPECT_EQ(bar.right - bar.left, GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_LE(bar.right, outer.right);
}

TEST_F(Win32List, KeysGoToTheModelWhichScrollsPastTheEdgesOfThePage) {
  Fill(page_, page_);
  window_->Select(kList);
  ASSERT_EQ(GetFocus(), list_);

  // Down on the last row asks for the next record; the list itself does not move.
  PostKey(list_, VK_DOWN);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollDown, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), page_);
  EXPECT_EQ(Highlighted(), page_);
  EXPECT_EQ(ListView_GetTopIndex(list_), 0);
  PostKey(list_, VK_UP);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(Highlighted(), page_ - 1);
  EXPECT_EQ(window_->LastKey(), key::kUp);

  PostKey(list_, VK_NEXT);
  EXPECT_EQ(NextEvent(), (Event{EventKind::PageDown, kList}));
  PostKey(list_, VK_PRIOR);
  EXPECT_EQ(NextEvent(), (Event{EventKind::PageUp, kList}));
  {
    HoldCtrl ctrl;
    PostKey(list_, VK_END);
    EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollBottom, kList}));
    PostKey(list_, VK_HOME);
    EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollTop, kList}));
  }
  EXPECT_EQ(Highlighted(), page_ - 1) << "the list moved its own highlight";

  // Home and End alone go to the first and last row of the page.
  PostKey(list_, VK_HOME);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), 1);
  EXPECT_EQ(Highlighted(), 1);
  PostKey(list_, VK_UP);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollUp, kList}));
  PostKey(list_, VK_END);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), page_);

  // A key sent to the list, not through the message loop, is the model's too.
  window_->SetSelectedRow(kList, 1);
  SendMessageW(list_, WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), 2);
  EXPECT_EQ(Highlighted(), 2);
  SendMessageW(list_, WM_KEYDOWN, VK_SPACE, 1);  // would select the focused row in a ListView
  EXPECT_EQ(Highlighted(), 2);
}

TEST_F(Win32List, TypedCharactersAlertedKeysAndEnterReachTheModel) {
  Fill(3, 2);
  window_->AlertKey(kList, key::kInsert);
  window_->AlertKey(kList, key::kCtrlEnter);
  window_->Select(kList);

  PostMessageW(list_, WM_CHAR, 'a', 1);
  EXPECT_EQ(NextEvent(), (Event{EventKind::AlertKey, kList}));
  EXPECT_EQ(window_->LastKey(), 'a');
  EXPECT_EQ(window_->LastChar(), 'a');
  PostKey(list_, VK_INSERT);
  EXPECT_EQ(NextEvent(), (Event{EventKind::AlertKey, kList}));
  EXPECT_EQ(window_->LastKey(), key::kInsert);
  EXPECT_EQ(window_->LastChar(), 0);
  // A key nobody alerted makes no event.
  PostKey(list_, VK_DELETE);
  ExpectNoEvent();
  // Ctrl+Enter is the list's alerted key, not the dialog's default button; Enter alone is.
  {
    HoldCtrl ctrl;
    PostKey(list_, VK_RETURN);
    EXPECT_EQ(NextEvent(), (Event{EventKind::AlertKey, kList}));
    EXPECT_EQ(window_->LastKey(), key::kCtrlEnter);
  }
  PostKey(list_, VK_RETURN);
  EXPECT_EQ(NextEvent(), (Event{EventKind::Accepted, kOk}));
  EXPECT_EQ(window_->SelectedRow(kList), 2);
}

// The wheel scrolls: a line at a time, as many as the system gives a notch, and the highlight
// stays where the model has it.
int WheelLines(int page) {
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  return lines == WHEEL_PAGESCROLL ? page : std::clamp(static_cast<int>(lines), 1, page);
}

TEST_F(Win32List, WheelNotchesScrollLineByLineAndLeaveTheHighlight) {
  const int steps = WheelLines(page_);
  Fill(page_, 1);
  window_->Select(kList);
  window_->SetSelectedRow(kList, 2);
  auto wheel = [&](int delta) {
    PostMessageW(list_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(delta))),
                 PointOnRow(1));
  };

  // One notch down; then two half notches make another.
  for (int half : {0, 1}) {
    if (half) {
      wheel(-WHEEL_DELTA / 2);
      wheel(-WHEEL_DELTA / 2);
    } else {
      wheel(-WHEEL_DELTA);
    }
    for (int i = 0; i < steps; ++i) EXPECT_EQ(NextEvent(), (Event{EventKind::WheelDown, kList}));
  }
  wheel(WHEEL_DELTA);
  for (int i = 0; i < steps; ++i) EXPECT_EQ(NextEvent(), (Event{EventKind::WheelUp, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), 2);
  ExpectNoEvent();
}

TEST_F(Win32List, MouseButtonsSelectRowsThroughTheModel) {
  Fill(4, 1);
  window_->AlertKey(kList, key::kMouseLeft2);
  LPARAM below = MAKELPARAM(40, Row(4).bottom + 4);

  PostMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, PointOnRow(3));
  PostMessageW(list_, WM_LBUTTONUP, 0, PointOnRow(3));
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->LastKey(), key::kMouseLeft);
  EXPECT_EQ(window_->SelectedRow(kList), 3);
  EXPECT_EQ(Highlighted(), 3);
  EXPECT_EQ(GetFocus(), list_);

  // The right button selects the row under it and reports itself (the popup's cue).
  PostMessageW(list_, WM_RBUTTONDOWN, MK_RBUTTON, PointOnRow(2));
  PostMessageW(list_, WM_RBUTTONUP, 0, PointOnRow(2));
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->LastKey(), key::kMouseRight);
  EXPECT_EQ(window_->SelectedRow(kList), 2);
  EXPECT_EQ(Highlighted(), 2);
  // Below the rows it keeps the selection and still reports the right button.
  PostMessageW(list_, WM_RBUTTONDOWN, MK_RBUTTON, below);
  PostMessageW(list_, WM_RBUTTONUP, 0, below);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->LastKey(), key::kMouseRight);
  EXPECT_EQ(window_->SelectedRow(kList), 2);
  EXPECT_EQ(Highlighted(), 2);
  // The left button below the rows does nothing.
  PostMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, below);
  PostMessageW(list_, WM_LBUTTONUP, 0, below);
  ExpectNoEvent();
  EXPECT_EQ(Highlighted(), 2);

  // A double click selects with its first click and then is the alerted double-click key.
  PostMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, PointOnRow(4));
  PostMessageW(list_, WM_LBUTTONUP, 0, PointOnRow(4));
  PostMessageW(list_, WM_LBUTTONDBLCLK, MK_LBUTTON, PointOnRow(4));
  PostMessageW(list_, WM_LBUTTONUP, 0, PointOnRow(4));
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(NextEvent(), (Event{EventKind::AlertKey, kList}));
  EXPECT_EQ(window_->LastKey(), key::kMouseLeft2);
  EXPECT_EQ(window_->SelectedRow(kList), 4);
}

TEST_F(Win32List, ScrollBarShowsTheModelsThumbAndHidesWithIt) {
  Fill(page_, 1);
  EXPECT_TRUE(window_->ScrollBarShown(kList));
  EXPECT_TRUE(IsWindowVisible(bar_));
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_RANGE;
  GetScrollInfo(bar_, SB_CTL, &si);
  EXPECT_EQ(si.nMin, 0);
  EXPECT_EQ(si.nMax, 100);

  window_->SetThumb(kList, 37);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 37);
  window_->SetThumb(kList, 0);
  SCROLLBARINFO info = BarInfo();
  EXPECT_EQ(info.xyThumbTop, info.dxyLineButton) << "thumb not at the top";
  // Past the last stop shows at the bottom end.
  window_->SetThumb(kList, 101);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 100);
  info = BarInfo();
  int height = info.rcScrollBar.bottom - info.rcScrollBar.top;
  EXPECT_EQ(info.xyThumbBottom, height - info.dxyLineButton) << "thumb not at the bottom";

  // Hidden, the bar gives its strip back to the list, whose last column takes it.
  RECT with_bar;
  GetClientRect(list_, &with_bar);
  window_->ShowScrollBar(kList, false);
  EXPECT_FALSE(IsWindowVisible(bar_));
  RECT without_bar;
  GetClientRect(list_, &without_bar);
  EXPECT_EQ(without_bar.right, with_bar.right + GetSystemMetrics(SM_CXVSCROLL));
  int columns_width = 0;
  for (int i = 0; i < 3; ++i) columns_width += ListView_GetColumnWidth(list_, i);
  EXPECT_EQ(columns_width, without_bar.right);
  EXPECT_EQ(window_->VisibleRows(kList), page_);
  window_->ShowScrollBar(kList, true);
  EXPECT_TRUE(IsWindowVisible(bar_));
  GetClientRect(list_, &without_bar);
  EXPECT_EQ(without_bar.right, with_bar.right);

  // It goes and comes with its list.
  window_->Hide(kList);
  EXPECT_FALSE(IsWindowVisible(bar_));
  window_->Unhide(kList);
  EXPECT_TRUE(IsWindowVisible(bar_));
}

TEST_F(Win32List, ScrollBarArrowsPagesAndThumbReachTheModel) {
  Fill(page_, page_);
  SCROLLBARINFO info = BarInfo();
  int height = info.rcScrollBar.bottom - info.rcScrollBar.top;
  int arrow = info.dxyLineButton;

  // The arrows are the arrow keys: past the edge of the page they scroll.
  ClickBar(height - arrow / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollDown, kList}));
  EXPECT_EQ(window_->LastKey(), key::kDown);
  ClickBar(arrow / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::NewSelection, kList}));
  EXPECT_EQ(window_->SelectedRow(kList), page_ - 1);
  window_->SetSelectedRow(kList, 1);
  ClickBar(arrow / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollUp, kList}));

  // The track above and below the thumb pages.
  window_->SetThumb(kList, 50);
  info = BarInfo();
  ClickBar((info.xyThumbBottom + height - arrow) / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::PageDown, kList}));
  ClickBar((arrow + info.xyThumbTop) / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::PageUp, kList}));

  // A dragged thumb is the model's position when it is let go, and stays where it was dropped.
  window_->SetThumb(kList, 0);
  DragThumb(height - arrow - 1);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollDrag, kList}));
  EXPECT_EQ(window_->Thumb(kList), 100);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 100);
  DragThumb(height / 2);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollDrag, kList}));
  EXPECT_NEAR(window_->Thumb(kList), 50, 5);
  DragThumb(arrow);
  EXPECT_EQ(NextEvent(), (Event{EventKind::ScrollDrag, kList}));
  EXPECT_EQ(window_->Thumb(kList), 0);
  EXPECT_EQ(window_->SelectedRow(kList), 1) << "the thumb moved the highlight";
}

TEST_F(Win32List, RefreshRepaintsOnlyTheRowsThatChanged) {
  Fill(page_, 1);
  UpdateWindow(list_);
  ValidateRect(list_, nullptr);
  // The same page again: nothing to repaint.
  window_->Display(kList);
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(list_, &dirty, FALSE));

  // One row renamed: that row, and only it, is repainted with its new text.
  rows_.renamed[3] = "Renamed";
  window_->Display(kList);
  ASSERT_TRUE(GetUpdateRect(list_, &dirty, FALSE));
  EXPECT_EQ(dirty.top, Row(3).top);
  EXPECT_EQ(dirty.bottom, Row(3).bottom);
  wchar_t text[64] = L"";
  ListView_GetItemText(list_, 2, 1, text, 64);
  EXPECT_STREQ(text, L"Renamed");
  // The indented column shows its indent; the icon column the row's icon.
  ListView_GetItemText(list_, 2, 2, text, 64);
  EXPECT_EQ(std::wstring(text).find_first_not_of(L' '), 1u);
  EXPECT_STREQ(text + 1, L"C3");
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 2;
  ListView_GetItem(list_, &item);
  EXPECT_EQ(item.iImage, 0);
  item.iItem = 1;
  ListView_GetItem(list_, &item);
  EXPECT_LT(item.iImage, 0);

  // A shorter page: the rows below are gone, and so is a highlight beyond them.
  window_->SetSelectedRow(kList, page_);
  rows_.rows = 2;
  window_->Display(kList);
  EXPECT_EQ(ListView_GetItemCount(list_), 2);
  EXPECT_EQ(window_->SelectedRow(kList), 2);
  EXPECT_EQ(Highlighted(), 2);
}

TEST_F(Win32List, ColumnWithARightBorderHasALineOnItsEdge) {
  Fill(2, 1);
  HWND header = ListView_GetHeader(list_);
  RECT name;
  ASSERT_TRUE(Header_GetItemRect(header, 1, &name));
  POINT edge{name.right - 1, 0};
  MapWindowPoints(header, list_, &edge, 1);
  RECT client;
  GetClientRect(list_, &client);

  // The list paints itself into a bitmap.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageW(list_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  // Below the rows, where the list paints only its background, the line runs on.
  int y = Row(2).bottom + 10;
  ASSERT_LT(y, client.bottom);
  EXPECT_EQ(GetPixel(dc, edge.x, y), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(GetPixel(dc, edge.x - 3, y), GetPixel(dc, edge.x + 3, y));
  EXPECT_NE(GetPixel(dc, edge.x - 3, y), GetSysColor(COLOR_BTNSHADOW));
  // The other columns have none.
  RECT code;
  ASSERT_TRUE(Header_GetItemRect(header, 0, &code));
  POINT other{code.right - 1, 0};
  MapWindowPoints(header, list_, &other, 1);
  EXPECT_NE(GetPixel(dc, other.x, y), GetSysColor(COLOR_BTNSHADOW));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// --- A list wider than itself ------------------------------------------------------------------

// The activity log's list: its columns (407 units) are wider than the list (235 units).
const rt::ControlDef kLogControls[] = {
    Control("?Browse:1", ControlKind::List, "", 6, 2, 235, 103, rt::kVScroll | rt::kHScroll,
            "97L~Application~@s40@36R~Date~L@d1@34L(2)~Time~L(0)@t3@240L~Event~@s80@"),
    Control("?Close", ControlKind::Button, "&Close", 202, 107, 40, 12, 0),
};

const rt::WindowDef kLogWindow{
    .id = "LOG",
    .title = "Log under test",
    .w = 247,
    .h = 121,
    .icon = nullptr,
    .font = {"Arial", 9, 400},
    .background = rt::kNoColour,
    .timer = 0,
    .controls = kLogControls,
};

// Log lines of 5 March 2024, 2:05 PM; dates and times are numbers shown through their pictures.
class LogLines final : public rt::ListSource {
 public:
  int RowCount() const override { return 40; }
  rt::Cell CellAt(int row, int column) const override {
    switch (column) {
      case 1: return {"LEDGER.APP"};
      case 2: return {"", rt::DateFromYmd(2024, 3, 5), true};
      case 3: return {"", (14 * 3600 + 5 * 60) * 100, true};
      default: return {"Generated and made LEDGER.APP without errors, line " + std::to_string(row)};
    }
  }
  int IconAt(int) const override { return 0; }
};

std::wstring Trimmed(HWND list, int item, int column) {
  wchar_t buffer[128] = L"";
  ListView_GetItemText(list, item, column, buffer, 128);
  std::wstring text = buffer;
  std::size_t first = text.find_first_not_of(L' '), last = text.find_last_not_of(L' ');
  return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

TEST_F(Win32Window, ListWiderThanItselfScrollsSidewaysAndShowsDatesAndTimesThroughTheirPictures) {
  rt::Window window(runtime_, kLogWindow);
  HWND top = FindWindowW(rt::win32::kWindowClass, L"Log under test");
  ASSERT_NE(top, nullptr);
  HWND list = ControlOf(top, 1);
  LogLines lines;
  window.Bind(1, lines);
  window.ShowScrollBar(1, true);

  // The columns keep the format's widths, so the list has a horizontal scroll bar; a page is the
  // rows that fit above it.
  auto base = rt::win32::MeasureDialogBase(reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  const int widths[] = {97, 36, 34, 240};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ListView_GetColumnWidth(list, i), base.ToPixelsX(widths[i]));
  EXPECT_TRUE(Style(list) & WS_HSCROLL);
  int page = window.VisibleRows(1);
  EXPECT_GE(page, 5);
  ASSERT_EQ(ListView_GetItemCount(list), page);
  RECT client, last;
  GetClientRect(list, &client);
  ListView_GetItemRect(list, page - 1, &last, LVIR_BOUNDS);
  EXPECT_LE(last.bottom, client.bottom);

  EXPECT_EQ(Trimmed(list, 0, 0), L"LEDGER.APP");
  EXPECT_EQ(Trimmed(list, 0, 1), L"3/5/24");
  EXPECT_EQ(Trimmed(list, 0, 2), L"2:05PM");

  // Right scrolls sideways until the Event column is in view; the rows stay as they were.
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  window.Select(1);
  for (int i = 0; i < 40; ++i) PostKey(list, VK_RIGHT);
  PostMessageW(ControlOf(top, 2), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (Event{EventKind::Accepted, 2}));
  EXPECT_GT(GetScrollPos(list, SB_HORZ), 0);
  RECT event;
  ListView_GetSubItemRect(list, 0, 3, LVIR_BOUNDS, &event);
  EXPECT_LE(event.left, 0) << "the Event column did not come into view";
  EXPECT_GT(event.right, 0);
  EXPECT_EQ(ListView_GetTopIndex(list), 0);
  EXPECT_EQ(Trimmed(list, page - 1, 3), L"Generated and made LEDGER.APP without errors, line " +
                                             std::to_wstring(page));
  window.Close();
}

// --- With the browse engine ---------------------------------------------------------------------

// A keyed file in memory: unique keys in order, read through a view as the store's views read.
class MemoryFile final : public browse::BrowseFile {
 public:
  explicit MemoryFile(int records) {
    for (int i = 0; i < records; ++i) {
      std::string key = std::to_string(i);
      keys_.push_back("R" + std::string(3 - key.size(), '0') + key);
    }
  }
  std::string buffer;  // the record buffer: the key of the record read

  browse::FileStatus OpenView() override { return browse::FileStatus::Ok; }
  void CloseView() override {}
  browse::FileStatus SetToStart() override { return Place(Mode::Start, 0); }
  browse::FileStatus SetToKeyValue() override {
    auto at = std::lower_bound(keys_.begin(), keys_.end(), buffer);
    return Place(Mode::Before, static_cast<int>(at - keys_.begin()));
  }
  browse::FileStatus SetToBufferRecord() override { return Reset(buffer); }
  browse::FileStatus Next() override {
    int i = mode_ == Mode::Start ? 0 : mode_ == Mode::At ? at_ : mode_ == Mode::Before ? at_ : at_ + 1;
    return Read(i);
  }
  browse::FileStatus Previous() override {
    int i = mode_ == Mode::Start ? Count() - 1 : mode_ == Mode::At ? at_ : at_ - 1;
    return Read(i);
  }
  std::string Position() override { return keys_[static_cast<std::size_t>(at_)]; }
  browse::FileStatus Reset(const std::string& position) override {
    auto at = std::find(keys_.begin(), keys_.end(), position);
    if (at == keys_.end()) return browse::FileStatus::End;
    return Place(Mode::At, static_cast<int>(at - keys_.begin()));
  }
  browse::FileStatus Reread(const std::string& position) override {
    if (std::find(keys_.begin(), keys_.end(), position) == keys_.end()) return browse::FileStatus::End;
    buffer = position;
    return browse::FileStatus::Ok;
  }
  void Watch() override {}
  void ClearCurrent() override {}
  void ClearBuffer() override { buffer.clear(); }

 private:
  // Start: before the first and after the last; At: the next read either way returns record at_;
  // Before: the next forward read returns at_, the next backward read the one before; Read: at_ was
  // read last.
  enum class Mode { Start, At, Before, Read };
  int Count() const { return static_cast<int>(keys_.size()); }
  browse::FileStatus Place(Mode mode, int at) {
    mode_ = mode;
    at_ = at;
    return browse::FileStatus::Ok;
  }
  browse::FileStatus Read(int i) {
    if (i < 0 || i >= Count()) return browse::FileStatus::End;
    Place(Mode::Read, i);
    buffer = keys_[static_cast<std::size_t>(i)];
    return browse::FileStatus::Ok;
  }
  std::vector<std::string> keys_;
  Mode mode_ = Mode::Start;
  int at_ = 0;
};

// The list of the test window as one instance of the browse: a row is the record's key; the
// popup's entries and the keys post to the Other button.
class MemoryBrowse final : public browse::BrowseInstance {
 public:
  explicit MemoryBrowse(MemoryFile& file) : file_(file) {}
  browse::BrowseFile& File() override { return file_; }
  std::string FileName() const override { return "Memory"; }
  void RecordToRow(browse::PageRow& row) override { row.cells = {{" "}, {file_.buffer}, {"-"}}; }
  void RowToRecord(const browse::PageRow& row) override { file_.buffer = row.cells[1].text; }
  browse::KeyValue KeyField() const override { return {file_.buffer}; }
  browse::KeyValue ThumbKey() const override { return {file_.buffer}; }
  bool NumericKey() const override { return false; }
  void ComputeStopTable(const browse::KeyValue& low, const browse::KeyValue& high,
                        std::array<browse::KeyValue, 100>& stops) override {
    browse::StringStops generator;
    generator.SetupStringStops(4, browse::kStopLetters | browse::kStopDigits, false, low.text, high.text);
    for (auto& stop : stops) stop.text = generator.NextStringStop();
  }
  void SetKeyFromStop(const browse::KeyValue& stop) override { file_.buffer = stop.text; }
  std::string KeyText() const override { return file_.buffer; }
  void SetKeyFromTyped(const std::string& typed) override { file_.buffer = typed; }
  std::string PopupText(bool) const override { return "&Insert|Chan&ge|&Delete"; }
  int PopupButton(int) const override { return kOther; }
  int InsertButton() const override { return kOther; }
  int ChangeButton() const override { return kOk; }
  int DeleteButton() const override { return kOther; }
  void DoubleClick() override {}
  void EmptyPage() override {}
  std::int32_t RunUpdateProcedure(std::int32_t) override { return 2; }
  void ShowWarning(std::int32_t id, std::string_view) override { ADD_FAILURE() << "warning " << id; }

 private:
  MemoryFile& file_;
};

class Win32ListBrowse : public Win32List {
 protected:
  // Serves the list's events as the procedure's loop does, until the input posted before has
  // been dealt with; returns the first event that is not the list's.
  Event Serve(browse::PageBrowse& engine, bool settle = true) {
    if (settle) PostMessageW(ControlOf(top_, kOther), BM_CLICK, 0, 0);
    for (;;) {
      Event e = NextEvent();
      if (e.field != kList || e.kind == EventKind::None) {
        window_->Select(kList);
        return e;
      }
      engine.TakeListEvent(e.kind);
    }
  }
  std::wstring Cell(int row) const {
    wchar_t text[64] = L"";
    ListView_GetItemText(list_, row - 1, 1, text, 64);
    return text;
  }
  static std::wstring Key(int record) {
    std::wstring n = std::to_wstring(record);
    return L"R" + std::wstring(3 - n.size(), L'0') + n;
  }
};

TEST_F(Win32ListBrowse, EngineScrollsAFileThroughOnePageOfTheList) {
  MemoryFile file(100);
  MemoryBrowse instance(file);
  browse::PageBrowse engine(instance, *window_, kList, 0);
  engine.OpenBrowse();
  engine.RefreshDisplay();
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  // The first page, highlighted at its top, with the thumb where the engine put it.
  ASSERT_EQ(engine.RowCount, page_);
  EXPECT_EQ(ListView_GetItemCount(list_), page_);
  EXPECT_EQ(Cell(1), Key(0));
  EXPECT_EQ(Cell(page_), Key(page_ - 1));
  EXPECT_EQ(Highlighted(), 1);
  EXPECT_TRUE(IsWindowVisible(bar_));
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 0);

  // Down past the last row: the page moves by one record and its new last row is highlighted.
  PostKey(list_, VK_END);
  PostKey(list_, VK_DOWN);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(Cell(1), Key(1));
  EXPECT_EQ(Cell(page_), Key(page_));
  EXPECT_EQ(Highlighted(), page_);
  EXPECT_EQ(ListView_GetTopIndex(list_), 0);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), std::min<int>(engine.ThumbStop, 100));
  EXPECT_GT(GetScrollPos(bar_, SB_CTL), 0);
  // The wheel and the scroll bar's page area go the same way; the wheel leaves the highlight on
  // its record while that is on the page.
  PostMessageW(list_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_GT(Cell(1), Key(1));
  if (WheelLines(page_) < page_) {
    EXPECT_EQ(Highlighted(), page_ - WheelLines(page_));
    EXPECT_EQ(Cell(Highlighted()), Key(page_));
  }
  std::wstring top = Cell(1);
  SCROLLBARINFO info = BarInfo();
  ClickBar((info.xyThumbBottom + info.rcScrollBar.bottom - info.rcScrollBar.top - info.dxyLineButton) / 2);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_GT(Cell(1), top);
  EXPECT_EQ(ListView_GetItemCount(list_), page_);

  // Ctrl+End: the last page, its last row highlighted, the thumb at the bottom.
  {
    HoldCtrl ctrl;
    PostKey(list_, VK_END);
    EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  }
  EXPECT_EQ(Cell(page_), Key(99));
  EXPECT_EQ(Cell(1), Key(100 - page_));
  EXPECT_EQ(Highlighted(), page_);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 100);

  // The thumb dragged to the top brings the first page back.
  DragThumb(BarInfo().dxyLineButton);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(Cell(1), Key(0));
  EXPECT_EQ(Highlighted(), 1);
  EXPECT_EQ(GetScrollPos(bar_, SB_CTL), 0);

  // A right click highlights its row and opens the popup, whose entry presses a button.
  PostMessageW(list_, WM_RBUTTONDOWN, MK_RBUTTON, PointOnRow(3));
  PostMessageW(top_, WM_CHAR, 'i', 1);  // the menu takes it as the user's choice
  EXPECT_EQ(Serve(engine, false), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(Highlighted(), 3);
  EXPECT_EQ(file.buffer, "R000") << "the popup's selection loads no row";
  engine.CloseBrowse();
}

TEST_F(Win32ListBrowse, EngineHidesTheScrollBarWhileThePageIsNotFull) {
  MemoryFile file(3);
  MemoryBrowse instance(file);
  browse::PageBrowse engine(instance, *window_, kList, 0);
  engine.OpenBrowse();
  engine.RefreshDisplay();
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(ListView_GetItemCount(list_), 3);
  EXPECT_FALSE(IsWindowVisible(bar_));
  // Scrolling past either end changes nothing; page down goes to the last row.
  PostKey(list_, VK_UP);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(Cell(1), Key(0));
  EXPECT_EQ(Highlighted(), 1);
  PostKey(list_, VK_NEXT);
  EXPECT_EQ(Serve(engine), (Event{EventKind::Accepted, kOther}));
  EXPECT_EQ(Highlighted(), 3);
  EXPECT_EQ(Cell(1), Key(0));
  EXPECT_EQ(file.buffer, "R002");
  EXPECT_FALSE(IsWindowVisible(bar_));
  engine.CloseBrowse();
}

// The main window's real list over a real Apps file of 200 applications in one folder: the thumb
// dragged to the middle of its track lands among the middle rows, not on the folder's first.
TEST_F(Win32Window, ThumbDraggedHalfWayDownAOneFolderListLandsInItsMiddle) {
  namespace mf = procedures::main_field;
  namespace fs = std::filesystem;
  const fs::path previous = fs::current_path();
  const fs::path folder = fs::temp_directory_path() / ("nightjar-thumb-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(folder);
  fs::current_path(folder);
  {
    std::unique_ptr<platform::DdeClient> dde = platform::MakeDdeMessageClient();
    std::unique_ptr<platform::ProgramStarter> starter = platform::MakeProgramStarter();
    std::unique_ptr<platform::DirectoryLister> lister = platform::MakeDirectoryLister();
    procedures::Services services{*dde, *starter, *lister};
    procedures::Program program(runtime_, services);
    files::Files& files = program.files;
    files.Apps.Create();
    files.Apps.Open();
    files.Apps.BeginTransaction(5);
    for (int i = 1000; i < 1200; ++i) {  // A1000.APP (row 1) to A1199.APP (row 200)
      files.APP.DriveNPath = "C:\\SHOP\\";
      files.APP.Application = "A" + std::to_string(i) + ".APP";
      files.Apps.Add();
    }
    files.Apps.Commit();
    ASSERT_EQ(files.store.error.code, 0) << files.store.error.text;
    procedures::ApplicationList list(program, nullptr);
    rt::Window window(runtime_, procedures::kMainWindow);
    HWND top = FindWindowW(rt::win32::kWindowClass, L"Nightjar (Batchwright)");
    ASSERT_NE(top, nullptr);
    HWND bar = GetDlgItem(top, rt::win32::kFirstScrollBarId + mf::Browse_1);
    browse::PageBrowse engine(list, window, mf::Browse_1, 0);
    engine.OpenBrowse();
    list.Setup(window);
    // Serves the list's events as Main does, until a button pressed after the input under test.
    auto serve = [&] {
      PostMessageW(ControlOf(top, mf::Tag), BM_CLICK, 0, 0);
      for (Event e = Next(window, top); e.field == mf::Browse_1 || e.kind == EventKind::OpenWindow; e = Next(window, top))
        if (e.field == mf::Browse_1) engine.TakeListEvent(e.kind);
    };
    engine.RefreshDisplay();
    serve();
    ASSERT_TRUE(IsWindowVisible(bar));
    SCROLLBARINFO info{.cbSize = sizeof(info)};
    GetScrollBarInfo(bar, OBJID_CLIENT, &info);
    RECT track;
    GetClientRect(bar, &track);
    PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(track.right / 2, (info.xyThumbTop + info.xyThumbBottom) / 2));
    PostMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(track.right / 2, track.bottom / 2));
    PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(track.right / 2, track.bottom / 2));
    serve();
    EXPECT_NEAR(window.Thumb(mf::Browse_1), 50, 2);
    wchar_t name[32] = L"";
    HWND listview = ControlOf(top, mf::Browse_1);
    ListView_GetItemText(listview, ListView_GetNextItem(listview, -1, LVNI_SELECTED), 2, name, 32);
    const wchar_t* digits = std::wcschr(name, L'A');
    const int landed = digits ? std::wcstol(digits + 1, nullptr, 10) - 999 : 0;
    EXPECT_TRUE(landed >= 80 && landed <= 120) << "landed on row " << landed << ": " << rt::win32::Narrow(name);
    engine.CloseBrowse();
    window.Close();
  }
  fs::current_path(previous);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
