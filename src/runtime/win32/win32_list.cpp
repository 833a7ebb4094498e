// The list control of a Win32 window peer: an owner-data ListView that shows exactly one page of
// rows, beside a vertical scroll bar of its own whose thumb is the model's 0..100 position. Keys,
// mouse, wheel and scroll bar all go to the window model, which moves the highlight within the
// page and reports scrolling past it; the ListView itself never moves its highlight or scrolls
// vertically. Part of Win32Peer (see win32_peer.h).
#include <windowsx.h>

#include <algorithm>

#include "runtime/definition.h"
#include "runtime/event.h"
#include "runtime/list_format.h"
#include "runtime/picture.h"
#include "runtime/window.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"

namespace rt::win32 {
namespace {

// The scroll bar's scale; a model value above it shows at the bottom end.
constexpr int kThumbMax = 100;
// The list's own space around a cell's text, both sides together.
constexpr int kCellPadding = 12;

// A list header draws "&" as an access-key mark; its texts show every "&" as written.
std::wstring HeaderText(const std::string& text) {
  std::wstring out;
  for (wchar_t ch : Widen(text)) {
    out.push_back(ch);
    if (ch == L'&') out.push_back(L'&');
  }
  return out;
}

// Whether the last letter of `text` draws beyond its own width in `font`, as a "t" or "f" of many
// faces does. Wine's header clips its texts to their width, which cuts such a letter off; a blank
// after the text keeps it whole.
bool LastLetterOverhangs(HFONT font, const std::wstring& text) {
  if (text.empty() || text.back() == L' ') return false;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  ABC widths{};
  const bool known = GetCharABCWidthsW(dc, text.back(), text.back(), &widths) != 0;
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return known && widths.abcC < 0;
}

int ListAlignment(Align align) {
  switch (align) {
    case Align::Right:
    case Align::Decimal: return LVCFMT_RIGHT;
    case Align::Center: return LVCFMT_CENTER;
    case Align::Left: break;
  }
  return LVCFMT_LEFT;
}

int HeaderAlignment(Align align) {
  switch (align) {
    case Align::Right:
    case Align::Decimal: return HDF_RIGHT;
    case Align::Center: return HDF_CENTER;
    case Align::Left: break;
  }
  return HDF_LEFT;
}

// Text with an indent from its aligned edge: the ListView has no indent of its own for sub-items,
// so the indent is spaces of about its width (at least one) before a left-aligned text and after
// a right-aligned one. A centred text has no edge to indent from.
std::wstring Indented(std::wstring text, Align align, int indent_spaces) {
  if (indent_spaces <= 0 || text.empty()) return text;
  std::wstring pad(static_cast<std::size_t>(indent_spaces), L' ');
  switch (align) {
    case Align::Left: return pad + text;
    case Align::Right:
    case Align::Decimal: return text + pad;
    case Align::Center: break;
  }
  return text;
}

// How many spaces of `font` make an indent of `units` dialog units: at least one for any indent.
int IndentSpaces(const DialogBase& base, HFONT font, int units) {
  if (units <= 0) return 0;
  int space = std::max<int>(1, MeasureText(font, " ").cx);
  return std::max(1, base.ToPixelsX(units) / space);
}

// A fully transparent icon: the stand-in for an icon-list entry whose icon cannot be loaded, so
// that the entries after it keep their numbers.
HICON BlankIcon(HINSTANCE instance, int size) {
  std::size_t mask_bytes = static_cast<std::size_t>((size + 15) / 16 * 2 * size);
  std::vector<BYTE> and_mask(mask_bytes, 0xFF), xor_mask(mask_bytes, 0x00);
  return CreateIcon(instance, size, size, 1, 1, and_mask.data(), xor_mask.data());
}

bool HasStyle(HWND hwnd, LONG style) { return (GetWindowLongW(hwnd, GWL_STYLE) & style) != 0; }

// The window rectangle of `child` in the client coordinates of `parent`.
RECT RectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

int TextColumnWidth(HFONT font, int chars) {
  SIZE capitals = MeasureText(font, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  return static_cast<int>((capitals.cx * chars + 25) / 26) + kCellPadding;
}

// --- Creation --------------------------------------------------------------------------------

void Win32Peer::SetUpList(int field) {
  Control& c = control(field);
  CreateListColumns(field);
  // Sub-item pictures only when an icon column is not the first: a list that has them keeps
  // room for a picture in every column.
  const std::vector<ColumnFormat>& formats = window_.state(field).columns;
  const bool later_icons = std::any_of(formats.begin() + (formats.empty() ? 0 : 1), formats.end(),
                                       [](const ColumnFormat& col) { return col.icon; });
  ListView_SetExtendedListViewStyle(c.hwnd, LVS_EX_FULLROWSELECT | (later_icons ? LVS_EX_SUBITEMIMAGES : 0));
  SetWindowSubclass(c.hwnd, &Win32Peer::ListProc, static_cast<UINT_PTR>(field),
                    reinterpret_cast<DWORD_PTR>(this));
  const ControlState& s = window_.state(field);
  c.scrollbar = CreateWindowExW(
      0, WC_SCROLLBARW, nullptr, WS_CHILD | SBS_VERT | (s.enabled ? 0 : WS_DISABLED), 0, 0, 0, 0,
      hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstScrollBarId + field)),
      context_.instance, nullptr);
  if (c.scrollbar) {
    // Directly above the list, which leaves it out of its own painting (WS_CLIPSIBLINGS).
    HWND above = GetWindow(c.hwnd, GW_HWNDPREV);
    SetWindowPos(c.scrollbar, above ? above : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMax = kThumbMax;
    SetScrollInfo(c.scrollbar, SB_CTL, &si, FALSE);
  }
  RefreshListScrollBar(field);
  FitListColumns(field);
  // The cell tip: a tool over the cell under the mouse while its column cuts its text.
  if (HWND tip = Tooltip()) {
    TOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = c.hwnd;
    info.uId = kCellTipId;
    info.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void Win32Peer::CreateListColumns(int field) {
  Control& c = control(field);
  const std::vector<ColumnFormat>& columns = window_.state(field).columns;
  HWND header = ListView_GetHeader(c.hwnd);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const ColumnFormat& col = columns[i];
    std::wstring text = Indented(HeaderText(col.header), col.header_align,
                                 IndentSpaces(base_, c.font, col.header_indent));
    if (LastLetterOverhangs(c.font, text)) text += L' ';
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    lvc.fmt = ListAlignment(col.align);
    lvc.cx = base_.ToPixelsX(col.width);
    lvc.pszText = text.data();
    lvc.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(c.hwnd, static_cast<int>(i), &lvc);
    // The header has an alignment of its own.
    if (header) {
      HDITEMW item{};
      item.mask = HDI_FORMAT;
      if (Header_GetItem(header, static_cast<int>(i), &item)) {
        item.fmt = (item.fmt & ~HDF_JUSTIFYMASK) | HeaderAlignment(col.header_align);
        Header_SetItem(header, static_cast<int>(i), &item);
      }
    }
    if (col.icon && c.icon_column < 0) {
      c.icon_column = static_cast<int>(i);
      // The icon list's pictures fit the icon column.
      c.image_size = std::clamp(static_cast<int>(lvc.cx) - 4, 8, 16);
    }
  }
}

// A list without a horizontal scroll bar of its own shows all its columns within its width:
// - a text column that its format made wide enough for all its picture's characters (four dialog
//   units make an average character) keeps room for that many capitals in the list's font, so
//   that a name of full length shows whole in whatever font the list has;
// - the last column takes whatever width the others leave, so that the rows are highlighted to
//   the right edge and no horizontal scroll bar takes a row's height away from the page;
// - what is then too wide comes off the widest of the other text columns, whose cut cells show
//   their whole text in the cell tip.
//
// In a resizable window the columns are the user's after that first fit, and only the last one
// is fitted again (FitLastColumn); a list with a horizontal scroll bar keeps its format's widths
// there too, its last column filling any room to the right.
void Win32Peer::FitListColumns(int field) {
  Control& c = control(field);
  const std::vector<ColumnFormat>& columns = window_.state(field).columns;
  const bool resizable = window_.definition().resizable;
  if (resizable && c.fitted) {
    FitLastColumn(field);
    return;
  }
  if (!columns.empty() && (window_.definition().control(field).flags & kHScroll)) {
    c.last_least = base_.ToPixelsX(columns.back().width);
    c.fitted = resizable;
    if (resizable) FitLastColumn(field);
    return;
  }
  if (columns.empty()) return;
  RECT client;
  GetClientRect(c.hwnd, &client);
  const std::size_t count = columns.size(), last = count - 1;
  std::vector<int> width(count), least(count, 0);
  // With sub-item pictures every column keeps room for one before its text.
  const int picture_room =
      (ListView_GetExtendedListViewStyle(c.hwnd) & LVS_EX_SUBITEMIMAGES) ? c.image_size : 0;
  // A width the user chose (kept from an earlier run) stands as it is.
  const char* format = window_.definition().control(field).format;
  const std::vector<ColumnFormat> designed = format ? ParseListFormat(format).value_or(columns) : columns;
  for (std::size_t i = 0; i < count; ++i) {
    const ColumnFormat& col = columns[i];
    width[i] = base_.ToPixelsX(col.width);
    int chars = TextLimit(col.picture);
    const bool chosen = i < designed.size() && designed[i].width != col.width;
    if (col.icon || chars <= 0 || chars * 4 > col.width || chosen) continue;
    int indent = IndentSpaces(base_, c.font, col.indent);
    least[i] = TextColumnWidth(c.font, chars) + picture_room +
               (indent > 0 ? static_cast<int>(MeasureText(c.font, std::string(indent, ' ')).cx) : 0);
    width[i] = std::max(width[i], least[i]);
  }
  int others = 0;
  for (std::size_t i = 0; i < last; ++i) others += width[i];
  width[last] = std::max<int>(least[last], client.right - others);
  int excess = others + width[last] - client.right;
  std::size_t widest = count;
  for (std::size_t i = 0; i < count; ++i)
    if (least[i] == 0 && !columns[i].icon && (widest == count || width[i] > width[widest])) widest = i;
  if (excess > 0 && widest < count)
    width[widest] = std::max(base_.ToPixelsX(4), width[widest] - excess);
  const bool was_fitting = fitting_;
  fitting_ = true;
  for (std::size_t i = 0; i < count; ++i)
    if (width[i] != ListView_GetColumnWidth(c.hwnd, static_cast<int>(i)))
      ListView_SetColumnWidth(c.hwnd, static_cast<int>(i), width[i]);
  fitting_ = was_fitting;
  c.last_least = least[last];
  c.fitted = resizable;
}

void Win32Peer::FitLastColumn(int field) {
  Control& c = control(field);
  const int count = static_cast<int>(window_.state(field).columns.size());
  if (!window_.definition().resizable || count == 0 || !c.fitted) return;
  RECT client;
  GetClientRect(c.hwnd, &client);
  int others = 0;
  for (int i = 0; i + 1 < count; ++i) others += ListView_GetColumnWidth(c.hwnd, i);
  const int width = std::max({c.last_least, c.last_dragged, static_cast<int>(client.right) - others});
  if (width != ListView_GetColumnWidth(c.hwnd, count - 1)) {
    const bool was_fitting = fitting_;
    fitting_ = true;
    ListView_SetColumnWidth(c.hwnd, count - 1, width);
    fitting_ = was_fitting;
  }
}

void Win32Peer::NoteListRows(int field) {
  Control& c = control(field);
  if (c.rows_seen < 0) return;
  const int rows = VisibleRows(field);
  if (rows == c.rows_seen) return;
  c.rows_seen = rows;
  window_.UserResized();
}

// --- Model to screen -------------------------------------------------------------------------

void Win32Peer::UpdateListImages(int field, const ControlState& s) {
  Control& c = control(field);
  if (s.icons == c.image_names && (c.images || s.icons.empty())) return;
  HIMAGELIST images = ImageList_Create(c.image_size, c.image_size, ILC_COLOR32 | ILC_MASK,
                                       static_cast<int>(s.icons.size()), 1);
  if (!images) return;
  for (const std::string& name : s.icons) {
    HICON icon = LoadNamedIcon(context_.instance, name, c.image_size);
    if (!icon) icon = BlankIcon(context_.instance, c.image_size);
    ImageList_AddIcon(images, icon);
    DestroyIcon(icon);
  }
  ListView_SetImageList(c.hwnd, images, LVSIL_SMALL);
  if (c.images) ImageList_Destroy(c.images);
  c.images = images;
  c.image_names = s.icons;
  InvalidateRect(c.hwnd, nullptr, FALSE);
}

void Win32Peer::RefreshList(int field) {
  Control& c = control(field);
  const ControlState& s = window_.state(field);
  HWND list = c.hwnd;
  UpdateListImages(field, s);
  RefreshListScrollBar(field);

  // The page as it is to be shown. Never more rows than fit: the list must not scroll.
  int rows = std::min(s.source ? s.source->RowCount() : 0, VisibleRows(field));
  int columns = std::max<int>(1, static_cast<int>(s.columns.size()));
  std::vector<int> indents;
  for (const ColumnFormat& format : s.columns) indents.push_back(IndentSpaces(base_, c.font, format.indent));
  std::vector<ListLine> lines(static_cast<std::size_t>(std::max(rows, 0)));
  for (int row = 1; row <= rows; ++row) {
    ListLine& line = lines[static_cast<std::size_t>(row - 1)];
    line.cells.resize(static_cast<std::size_t>(columns));
    line.images.assign(static_cast<std::size_t>(columns), I_IMAGENONE);
    line.tips.resize(static_cast<std::size_t>(columns));
    for (int col = 0; col < static_cast<int>(s.columns.size()); ++col) {
      const ColumnFormat& format = s.columns[static_cast<std::size_t>(col)];
      Cell cell = s.source->CellAt(row, col + 1);
      if (format.icon && cell.icon >= 1 && cell.icon <= static_cast<int>(c.image_names.size()))
        line.images[static_cast<std::size_t>(col)] = cell.icon - 1;
      line.tips[static_cast<std::size_t>(col)] = Widen(cell.tip);
      std::string text = cell.is_number
                             ? FormatNumber(format.picture.empty() ? "@n" : format.picture, cell.number)
                             : FormatText(format.picture, cell.text);
      line.cells[static_cast<std::size_t>(col)] =
          Indented(Widen(text), format.align, indents[static_cast<std::size_t>(col)]);
    }
    int icon = s.source->IconAt(row);
    if (c.icon_column >= 0 && icon >= 1 && icon <= static_cast<int>(c.image_names.size()))
      line.image = icon - 1;
  }

  // The cell tip is worked out again for the new page at the next move of the mouse.
  if (lines != c.lines) c.tip_row = c.tip_column = -1;
  // Only what changed is repainted, so that moving through a page does not flicker.
  if (lines.size() != c.lines.size()) {
    c.lines = std::move(lines);
    ListView_SetItemCountEx(list, rows, LVSICF_NOSCROLL);
  } else {
    int first = -1, last = -1;
    for (int i = 0; i < rows; ++i) {
      if (lines[static_cast<std::size_t>(i)] == c.lines[static_cast<std::size_t>(i)]) continue;
      if (first < 0) first = i;
      last = i;
    }
    c.lines = std::move(lines);
    if (first >= 0) ListView_RedrawItems(list, first, last);
  }

  int want = s.selected >= 1 && s.selected <= rows ? s.selected - 1 : -1;
  if (ListView_GetNextItem(list, -1, LVNI_SELECTED) != want ||
      (want >= 0 && ListView_GetNextItem(list, -1, LVNI_FOCUSED) != want)) {
    if (want >= 0) {
      ListView_SetItemState(list, want, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    } else {
      ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    }
  }
}

void Win32Peer::RefreshListScrollBar(int field) {
  Control& c = control(field);
  const ControlState& s = window_.state(field);
  if (!c.scrollbar) return;
  bool shown = s.scrollbar && !s.hidden;
  int strip = s.scrollbar ? GetSystemMetrics(SM_CXVSCROLL) : 0;
  if (strip != c.strip) {
    // The list's client area gives up (or takes back) the strip; WM_NCCALCSIZE below cuts it.
    c.strip = strip;
    SetWindowPos(c.hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceListScrollBar(field);
    FitListColumns(field);
  }
  SCROLLINFO si{};
  si.cbSize = sizeof(si);
  si.fMask = SIF_POS;
  GetScrollInfo(c.scrollbar, SB_CTL, &si);
  int position = std::clamp(s.thumb, 0, kThumbMax);
  if (si.nPos != position && !c.dragging) SetScrollPos(c.scrollbar, SB_CTL, position, TRUE);
  if (IsWindowEnabled(c.scrollbar) != s.enabled) EnableWindow(c.scrollbar, s.enabled);
  if (HasStyle(c.scrollbar, WS_VISIBLE) != shown) ShowWindow(c.scrollbar, shown ? SW_SHOWNA : SW_HIDE);
}

// The scroll bar covers the strip, from the top of the list's client area (beside the header)
// to its bottom (above a horizontal scroll bar).
void Win32Peer::PlaceListScrollBar(int field) {
  const Control& c = control(field);
  if (!c.scrollbar || c.strip == 0) return;
  RECT client;
  GetClientRect(c.hwnd, &client);
  MapWindowPoints(c.hwnd, hwnd_, reinterpret_cast<POINT*>(&client), 2);
  SetWindowPos(c.scrollbar, nullptr, client.right, client.top, c.strip,
               std::max<LONG>(0, client.bottom - client.top), SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Peer::VisibleRows(int field) {
  if (!hwnd_ || field < 1 || field > window_.ControlCount()) return 0;
  if (window_.definition().control(field).kind != ControlKind::List || !control(field).hwnd) return 0;
  // Full rows below the header, as the control itself counts them.
  return ListView_GetCountPerPage(control(field).hwnd);
}

// The vertical line on the right edge of a column that has one, from below the header to the
// bottom of the list, over the rows and the empty space under them alike.
void Win32Peer::DrawListBorders(int field, HDC dc) {
  const Control& c = control(field);
  const std::vector<ColumnFormat>& columns = window_.state(field).columns;
  HWND header = ListView_GetHeader(c.hwnd);
  if (!header) return;
  RECT client;
  GetClientRect(c.hwnd, &client);
  int top = HasStyle(header, WS_VISIBLE) ? RectIn(c.hwnd, header).bottom : client.top;
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ old = SelectObject(dc, pen);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    RECT item;
    if (!columns[i].right_border || !Header_GetItemRect(header, static_cast<int>(i), &item)) continue;
    POINT edge{item.right - 1, 0};
    MapWindowPoints(header, c.hwnd, &edge, 1);
    MoveToEx(dc, edge.x, top, nullptr);
    LineTo(dc, edge.x, client.bottom);
  }
  SelectObject(dc, old);
  DeleteObject(pen);
}

// The cell tip follows the mouse: over a cell with a tip of its own it covers that cell and holds
// that tip; over a cell whose column cuts its text, the whole text; anywhere else it covers
// nothing and never shows.
void Win32Peer::UpdateCellTip(int field, LPARAM point) {
  Control& c = control(field);
  if (!tooltip_) return;
  LVHITTESTINFO hit{};
  hit.pt = POINT{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  int row = -1, column = -1;
  if (ListView_SubItemHitTest(c.hwnd, &hit) >= 0 && hit.iItem < static_cast<int>(c.lines.size())) {
    row = hit.iItem;
    column = hit.iSubItem;
  }
  if (row == c.tip_row && column == c.tip_column) return;
  c.tip_row = row;
  c.tip_column = column;
  RECT cell{};
  std::wstring text;
  const ListLine* line = row >= 0 ? &c.lines[static_cast<std::size_t>(row)] : nullptr;
  if (line && column >= 0 && column < static_cast<int>(line->tips.size()) &&
      !line->tips[static_cast<std::size_t>(column)].empty()) {
    // The cell's own tip shows over it whatever its column shows of its text.
    ListView_GetSubItemRect(c.hwnd, row, column, column == 0 ? LVIR_LABEL : LVIR_BOUNDS, &cell);
    text = line->tips[static_cast<std::size_t>(column)];
  } else if (line && column >= 0 && column != c.icon_column &&
             column < static_cast<int>(line->cells.size())) {
    const std::wstring& shown = line->cells[static_cast<std::size_t>(column)];
    RECT bounds{};
    ListView_GetSubItemRect(c.hwnd, row, column, column == 0 ? LVIR_LABEL : LVIR_BOUNDS, &bounds);
    const int picture_room =
        column > 0 && (ListView_GetExtendedListViewStyle(c.hwnd) & LVS_EX_SUBITEMIMAGES) ? c.image_size : 0;
    if (ListView_GetStringWidth(c.hwnd, shown.c_str()) + kCellPadding + picture_room > bounds.right - bounds.left) {
      cell = bounds;
      std::size_t first = shown.find_first_not_of(L' '), end = shown.find_last_not_of(L' ');
      if (first != std::wstring::npos) text = shown.substr(first, end - first + 1);
    }
  }
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = c.hwnd;
  info.uId = kCellTipId;
  info.rect = cell;
  info.lpszText = text.data();
  SendMessageW(tooltip_, TTM_POP, 0, 0);
  SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

// How far a step sideways scrolls the list (pixels, negative to the left): to the start of the
// next column to the right of (or the last one left of) the leftmost one in view, but never more
// than half the list's width.
int Win32Peer::SidewaysStep(int field, bool right) const {
  HWND list = control(field).hwnd;
  RECT client;
  GetClientRect(list, &client);
  int half = std::max<int>(1, client.right / 2);
  int origin = GetScrollPos(list, SB_HORZ);
  int start = 0, step = right ? half : -half;
  for (std::size_t i = 0; i < window_.state(field).columns.size(); ++i) {
    if (right && start > origin) return std::min(start - origin, half);
    if (!right && start < origin) step = std::max(start - origin, -half);
    start += ListView_GetColumnWidth(list, static_cast<int>(i));
  }
  return step;
}

// --- Screen to model -------------------------------------------------------------------------

int Win32Peer::ListRowAt(int field, LPARAM point) const {
  const Control& c = control(field);
  int count = static_cast<int>(c.lines.size());
  RECT first;
  if (count == 0 || !ListView_GetItemRect(c.hwnd, 0, &first, LVIR_BOUNDS)) return 0;
  int y = GET_Y_LPARAM(point);
  int height = first.bottom - first.top;
  if (height <= 0 || y < first.top) return 0;
  int row = (y - first.top) / height + 1;
  return row <= count ? row : 0;
}

bool Win32Peer::ListKey(int field, UINT message, WPARAM wparam) {
  if (message == WM_CHAR) {
    // Every character typed into the list is the procedure's (its type-ahead).
    int character = TypedCharacter(wparam);
    if (character == 0) return false;
    window_.UserKey(field, character, character);
    return true;
  }
  if (message != WM_KEYDOWN) return false;
  auto virtual_key = static_cast<unsigned>(wparam);
  int code = KeyCodeFromVirtualKey(virtual_key, GetKeyState(VK_CONTROL) < 0,
                                   GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_MENU) < 0);
  // A key the procedure alerted is its own, whatever the list would do with it.
  const std::vector<int>& alerted = window_.state(field).alerted;
  if (code != 0 && std::find(alerted.begin(), alerted.end(), code) != alerted.end()) {
    window_.UserKey(field, code);
    return true;
  }
  switch (virtual_key) {
    case VK_HOME:
    case VK_END:
      // Home and End alone go to the first and last row of the page; with Ctrl they are the
      // model's (to the top or bottom of the whole list).
      if (code == key::kHome || code == key::kEnd) {
        int rows = static_cast<int>(control(field).lines.size());
        if (rows > 0) window_.UserSelectRow(field, code == key::kHome ? 1 : rows, code);
        return true;
      }
      window_.UserKey(field, code);
      return true;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_RETURN:  // the model presses the default button
      window_.UserKey(field, code);
      return true;
    case VK_LEFT:
    case VK_RIGHT:
      // Sideways the list scrolls its columns, as a ListView does, without touching the rows.
      SendMessageW(control(field).hwnd, WM_HSCROLL,
                   virtual_key == VK_LEFT ? SB_LINELEFT : SB_LINERIGHT, 0);
      return true;
    default:
      return false;
  }
}

// The wheel scrolls the rows as a list view's does, leaving the highlight on its record: the
// system's number of lines per notch, or a page when it is set to scroll by pages.
void Win32Peer::ListWheel(int field, int delta) {
  Control& c = control(field);
  c.wheel += delta;
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  const int page = std::max(1, VisibleRows(field));
  const int per_notch = lines == WHEEL_PAGESCROLL ? page : std::clamp(static_cast<int>(lines), 1, page);
  while (c.wheel >= WHEEL_DELTA || c.wheel <= -WHEEL_DELTA) {
    const bool up = c.wheel > 0;
    c.wheel += up ? -WHEEL_DELTA : WHEEL_DELTA;
    window_.UserWheel(field, up ? per_notch : -per_notch);
  }
}

// The scroll bar's arrows and page areas are the arrow and page keys, so that the model decides
// (as for the keys) between moving the highlight within the page and scrolling past it; a thumb
// dropped somewhere is the model's thumb position.
void Win32Peer::ListScroll(int field, int request) {
  Control& c = control(field);
  switch (request) {
    case SB_LINEUP: window_.UserKey(field, key::kUp); break;
    case SB_LINEDOWN: window_.UserKey(field, key::kDown); break;
    case SB_PAGEUP: window_.UserKey(field, key::kPgUp); break;
    case SB_PAGEDOWN: window_.UserKey(field, key::kPgDn); break;
    case SB_TOP: window_.UserKey(field, key::kCtrlHome); break;
    case SB_BOTTOM: window_.UserKey(field, key::kCtrlEnd); break;
    case SB_THUMBTRACK:
      // The bar moves its thumb itself; the drag counts when it ends.
      c.dragging = true;
      break;
    case SB_THUMBPOSITION: {
      c.dragging = false;
      SCROLLINFO si{};
      si.cbSize = sizeof(si);
      si.fMask = SIF_TRACKPOS;
      GetScrollInfo(c.scrollbar, SB_CTL, &si);
      window_.UserThumb(field, si.nTrackPos);
      // The thumb stays where it was dropped until the procedure places it.
      SetScrollPos(c.scrollbar, SB_CTL, window_.state(field).thumb, TRUE);
      break;
    }
    case SB_ENDSCROLL:
      c.dragging = false;
      break;
    default:
      break;
  }
}

LRESULT Win32Peer::OnListNotify(int field, NMHDR& header) {
  const Control& c = control(field);
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
      if (item.iItem < 0 || item.iItem >= static_cast<int>(c.lines.size())) return 0;
      const ListLine& line = c.lines[static_cast<std::size_t>(item.iItem)];
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        std::wstring_view text;
        if (item.iSubItem >= 0 && item.iSubItem < static_cast<int>(line.cells.size()))
          text = line.cells[static_cast<std::size_t>(item.iSubItem)];
        std::size_t n = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
        std::copy_n(text.begin(), n, item.pszText);
        item.pszText[n] = L'\0';
      }
      if (item.mask & LVIF_IMAGE) {
        // The first column always has room for a picture; it shows one only as the icon column.
        if (item.iSubItem == c.icon_column) item.iImage = line.image;
        else if (item.iSubItem >= 0 && item.iSubItem < static_cast<int>(line.images.size()))
          item.iImage = line.images[static_cast<std::size_t>(item.iSubItem)];
        else item.iImage = I_IMAGENONE;
      }
      return 0;
    }
    case NM_CUSTOMDRAW: {
      auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
      const std::vector<ColumnFormat>& columns = window_.state(field).columns;
      bool borders = std::any_of(columns.begin(), columns.end(),
                                 [](const ColumnFormat& col) { return col.right_border; });
      if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return borders ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
      if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) DrawListBorders(field, draw.nmcd.hdc);
      return CDRF_DODEFAULT;
    }
    default:
      return 0;
  }
}

LRESULT CALLBACK Win32Peer::ListProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR field, DWORD_PTR peer) {
  auto* self = reinterpret_cast<Win32Peer*>(peer);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &Win32Peer::ListProc, field);
    return DefSubclassProc(hwnd, message, wparam, lparam);
  }
  if (self->destroying_) return DefSubclassProc(hwnd, message, wparam, lparam);
  return self->HandleList(static_cast<int>(field), hwnd, message, wparam, lparam);
}

LRESULT Win32Peer::HandleList(int field, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Control& c = control(field);
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && tooltip_) {
    // The cell tip hears of the mouse first (the cases below keep the list from seeing some).
    if (message == WM_MOUSEMOVE) UpdateCellTip(field, lparam);
    MSG relayed{hwnd, message, wparam, lparam, static_cast<DWORD>(GetMessageTime()), {}};
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
  }
  switch (message) {
    case WM_NCCALCSIZE: {
      // The strip for the scroll bar comes off the right of the client area, so that the list
      // lays out its header, columns and horizontal scrolling in what remains.
      LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      auto* client = reinterpret_cast<RECT*>(lparam);  // also rgrc[0] of NCCALCSIZE_PARAMS
      if (c.strip > 0) client->right = std::max(client->left, client->right - c.strip);
      return result;
    }
    case WM_NCPAINT: {
      LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      // Under the scroll bar, beside a horizontal scroll bar, is a corner nobody else paints.
      if (c.strip > 0 && HasStyle(hwnd, WS_HSCROLL)) {
        RECT window, client;
        GetWindowRect(hwnd, &window);
        GetClientRect(hwnd, &client);
        MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
        RECT corner{client.right - window.left, client.bottom - window.top,
                    client.right - window.left + c.strip,
                    client.bottom - window.top + GetSystemMetrics(SM_CYHSCROLL)};
        HDC dc = GetWindowDC(hwnd);
        FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
        ReleaseDC(hwnd, dc);
      }
      return result;
    }
    case WM_NOTIFY:
      if (window_.definition().resizable) {
        // The user widens and narrows the columns by their dividers; the last column then fills
        // what is left, and a horizontal scroll bar that came or went changes the rows shown.
        const NMHDR& header = *reinterpret_cast<const NMHDR*>(lparam);
        if (header.code != HDN_ITEMCHANGEDW && header.code != HDN_ITEMCHANGEDA) break;
        LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
        if (!fitting_) {
          const auto& change = reinterpret_cast<const NMHEADERW&>(header);
          // The model keeps the user's width, in the window's dialog units, for the next run.
          if (change.pitem && (change.pitem->mask & HDI_WIDTH) && change.iItem >= 0)
            window_.UserColumnWidth(field, change.iItem + 1, MulDiv(change.pitem->cxy, 4, base_.x));
          const int last = static_cast<int>(window_.state(field).columns.size()) - 1;
          if (change.iItem == last && change.pitem && (change.pitem->mask & HDI_WIDTH))
            c.last_dragged = change.pitem->cxy;
          FitLastColumn(field);
          NoteListRows(field);
          InvalidateRect(hwnd, nullptr, FALSE);  // the column borders are drawn over the rows
        }
        return result;
      }
      // The columns keep the widths of the format (and the page its rows): the header's dividers
      // neither drag nor autosize.
      switch (reinterpret_cast<const NMHDR*>(lparam)->code) {
        case HDN_BEGINTRACKW:
        case HDN_BEGINTRACKA:
          return TRUE;
        case HDN_DIVIDERDBLCLICKW:
        case HDN_DIVIDERDBLCLICKA:
          return 0;
        default:
          break;
      }
      break;
    case WM_SIZE: {
      LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      PlaceListScrollBar(field);
      return result;
    }
    case WM_HSCROLL:
      // A step sideways (the scroll bar's arrows, Left and Right) goes a column at a time, at most
      // half the list's width; the list's own step is a single pixel.
      if (LOWORD(wparam) == SB_LINELEFT || LOWORD(wparam) == SB_LINERIGHT) {
        ListView_Scroll(hwnd, SidewaysStep(field, LOWORD(wparam) == SB_LINERIGHT), 0);
        return 0;
      }
      break;
    case WM_KEYDOWN:
    case WM_CHAR:
      // Keys that did not come through the message loop's look-ahead (sent, or from a nested
      // loop). Space would select the focused row, and any character would start the list's own
      // incremental search: the model keeps the highlight.
      if (ListKey(field, message, wparam)) return 0;
      if (message == WM_CHAR || wparam == VK_SPACE) return 0;
      break;
    case WM_MOUSEWHEEL:
      ListWheel(field, GET_WHEEL_DELTA_WPARAM(wparam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: {
      // The model moves the highlight. A right click reports the right button even with no row
      // under the mouse (the highlight then stays), because it opens the list's popup menu.
      SetFocus(hwnd);
      int row = ListRowAt(field, lparam);
      bool right = message != WM_LBUTTONDOWN;
      if (row > 0 || right)
        window_.UserSelectRow(field, row, right ? key::kMouseRight : key::kMouseLeft);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      SetFocus(hwnd);
      int row = ListRowAt(field, lparam);
      if (row > 0) {
        if (row != window_.state(field).selected) window_.UserSelectRow(field, row, key::kMouseLeft);
        window_.UserKey(field, key::kMouseLeft2);
      }
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      return 0;  // the ListView's own click notifications and menu would act a second time
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace rt::win32
