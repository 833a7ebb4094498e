// A resizable window under the Win32 backend: its frame, the list growing with it while the buttons
// keep to their edges, the model told of the rows that now fit, columns widened by their dividers,
// and the place it reports to be kept.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "runtime/win32/win32_peer.h"
#include "win32_test_support.h"

namespace {

using namespace win32_test;
using rt::ControlKind;
using rt::EventKind;

const rt::ControlDef kControls[] = {
    {.name = "?List", .kind = ControlKind::List, .x = 4, .y = 4, .w = 150, .h = 100,
     .format = "60L~Name~@s20@40L~Code~@s8@", .flags = rt::kVScroll},
    {.name = "?Left", .kind = ControlKind::Button, .text = "Left", .x = 4, .y = 110, .w = 40, .h = 14},
    {.name = "?Right", .kind = ControlKind::Button, .text = "Right", .x = 114, .y = 110, .w = 40, .h = 14},
};
const rt::WindowDef kSizedWindow{.id = "SIZED", .title = "Sized under test", .w = 160, .h = 130,
                                 .font = {"MS Sans Serif", 8, 400}, .controls = kControls, .resizable = true};

struct Rows final : rt::ListSource {
  int RowCount() const override { return 200; }
  rt::Cell CellAt(int row, int column) const override { return {(column == 1 ? "N" : "C") + std::to_string(row)}; }
};

TEST_F(Win32Window, ResizedWindowGrowsItsListKeepsButtonsAtTheirEdgesAndTellsTheModel) {
  Rows rows;
  rt::Window window(runtime_, kSizedWindow);
  HWND top = FindWindowW(rt::win32::kWindowClass, L"Sized under test");
  ASSERT_NE(top, nullptr);
  window.Bind(1, rows);
  ASSERT_EQ(Next(window, top).kind, EventKind::OpenWindow);
  EXPECT_TRUE(Style(top) & WS_THICKFRAME);
  EXPECT_TRUE(Style(top) & WS_MAXIMIZEBOX);
  HWND list = ControlOf(top, 1);
  const RECT list_before = ClientRectIn(top, list), left_before = ClientRectIn(top, ControlOf(top, 2)),
             right_before = ClientRectIn(top, ControlOf(top, 3));
  const int page = window.VisibleRows(1);
  RECT frame;
  GetWindowRect(top, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;

  SetWindowPos(top, nullptr, 0, 0, width + 200, height + 150, SWP_NOMOVE | SWP_NOZORDER);
  const RECT list_after = ClientRectIn(top, list), left_after = ClientRectIn(top, ControlOf(top, 2)),
             right_after = ClientRectIn(top, ControlOf(top, 3));
  EXPECT_EQ(list_after.right - list_before.right, 200);
  EXPECT_EQ(list_after.bottom - list_before.bottom, 150);
  EXPECT_EQ(left_after.left, left_before.left);
  EXPECT_EQ(left_after.top - left_before.top, 150);
  EXPECT_EQ(right_after.left - right_before.left, 200);
  EXPECT_EQ(right_after.top - right_before.top, 150);
  EXPECT_GT(window.VisibleRows(1), page);
  EXPECT_EQ(Next(window, top), (rt::Event{EventKind::Sized, 0}));
  // The last column fills the grown width.
  RECT client;
  GetClientRect(list, &client);
  EXPECT_EQ(ListView_GetColumnWidth(list, 0) + ListView_GetColumnWidth(list, 1), client.right);

  // A divider dragged in the header widens its column; the last one still reaches the edge.
  HWND header = ListView_GetHeader(list);
  RECT name;
  ASSERT_TRUE(Header_GetItemRect(header, 0, &name));
  const int name_width = ListView_GetColumnWidth(list, 0), middle = (name.top + name.bottom) / 2;
  PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(name.right - 1, middle));
  PostMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(name.right + 39, middle));
  PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(name.right + 39, middle));
  PostMessageW(ControlOf(top, 3), BM_CLICK, 0, 0);
  EXPECT_EQ(Next(window, top), (rt::Event{EventKind::Accepted, 3}));
  EXPECT_EQ(ListView_GetColumnWidth(list, 0), name_width + 40);
  EXPECT_GE(ListView_GetColumnWidth(list, 0) + ListView_GetColumnWidth(list, 1), client.right);

  // Maximised, it keeps the size it had before for next time.
  ShowWindow(top, SW_MAXIMIZE);
  EXPECT_TRUE(window.Placement().maximised);
  EXPECT_EQ(window.Placement().width, width + 200);
  window.Close();
  EXPECT_TRUE(window.Placement().maximised) << "the place is kept after the window closed";
  EXPECT_FALSE(IsWindow(top));

  // The dragged width is kept, in dialog units, and the next window opens with it.
  const std::vector<int> columns = window.Placement().columns;
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_GT(columns[0], 60);
  rt::Window again(runtime_, kSizedWindow, rt::WindowPlacement{.width = width, .height = height, .columns = columns});
  HWND reopened = FindWindowW(rt::win32::kWindowClass, L"Sized under test");
  ASSERT_NE(reopened, nullptr);
  EXPECT_NEAR(ListView_GetColumnWidth(ControlOf(reopened, 1), 0), name_width + 40, 3);
  again.Close();
}

}  // namespace
