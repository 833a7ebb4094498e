// The Win32 rendering of one open window (see win32_peer.h). The top-level window runs on the
// dialog manager's default procedure (DefDlgProc), which gives Tab order, access keys and the
// default button exactly as Windows dialogs have them, while the controls stay plain children.
#include "runtime/win32/win32_peer.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>

#include "runtime/definition.h"
#include "runtime/event.h"
#include "runtime/list_format.h"
#include "runtime/picture.h"
#include "runtime/window.h"
#include "runtime/win32/win32_mapping.h"

namespace rt::win32 {
namespace {

constexpr UINT_PTR kTimerId = 1;
// Room around a button's text and picture (the button's border and the focus rectangle), the
// width of its raised edge, and the gap between the picture and the text.
constexpr int kButtonMargin = 4;
constexpr int kButtonEdge = 2;
constexpr int kImageGap = 3;

void RegisterWindowClass(HINSTANCE instance, WNDPROC proc) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance, kWindowClass, &wc)) return;
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = DLGWINDOWEXTRA;  // DefDlgProc keeps its state there
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
}

std::wstring WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(std::max(n, 0)));
  return text;
}

// What the user typed into an entry, as every way in takes text: a name the code page cannot hold
// by its short form; otherwise with "?" for what it lacks, which the procedure refuses.
std::string EnteredText(HWND hwnd) {
  std::string text;
  NarrowName(WindowText(hwnd), text);
  return text;
}

void SetTextIfChanged(HWND hwnd, const std::string& text) {
  std::wstring wide = Widen(text);
  if (WindowText(hwnd) != wide) SetWindowTextW(hwnd, wide.c_str());
}

bool IsVisibleStyle(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

void ApplyShownEnabled(HWND hwnd, const ControlState& s) {
  if (!hwnd) return;
  if (IsWindowEnabled(hwnd) != s.enabled) EnableWindow(hwnd, s.enabled);
  if (IsVisibleStyle(hwnd) == s.hidden) ShowWindow(hwnd, s.hidden ? SW_HIDE : SW_SHOWNA);
}

// A copy of `source` made to measure for an image control of `width` x `height`: the picture
// keeps its proportions, is shrunk (smoothly) when it is bigger than the control, and is centred
// on the window's background. nullptr when it cannot be made.
HBITMAP FitBitmap(HBITMAP source, int width, int height, COLORREF background) {
  BITMAP bm{};
  if (!GetObjectW(source, sizeof(bm), &bm) || width <= 0 || height <= 0) return nullptr;
  int w = bm.bmWidth, h = bm.bmHeight;
  if (w > width || h > height) {
    // The larger of the two shrink factors, so that both sides fit.
    if (static_cast<long long>(w) * height > static_cast<long long>(h) * width) {
      h = std::max(1, MulDiv(h, width, w));
      w = width;
    } else {
      w = std::max(1, MulDiv(w, height, h));
      h = height;
    }
  }
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP fitted = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  if (fitted) {
    HGDIOBJ old_from = SelectObject(from, source);
    HGDIOBJ old_to = SelectObject(to, fitted);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, width, height};
    FillRect(to, &all, brush);
    DeleteObject(brush);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    StretchBlt(to, (width - w) / 2, (height - h) / 2, w, h, from, 0, 0, bm.bmWidth, bm.bmHeight,
               SRCCOPY);
    SelectObject(from, old_from);
    SelectObject(to, old_to);
  }
  DeleteDC(from);
  DeleteDC(to);
  return fitted;
}

// The width of a spin box's arrows: as wide as suits the box's height.
int SpinArrowsWidth(int height) { return std::clamp(height * 3 / 4 + 1, 11, 16); }

bool IsFocusable(ControlKind kind) {
  switch (kind) {
    case ControlKind::List:
    case ControlKind::Button:
    case ControlKind::Check:
    case ControlKind::Spin:
    case ControlKind::Entry: return true;
    default: return false;
  }
}

}  // namespace

HICON LoadNamedIcon(HINSTANCE instance, std::string_view name, int size) {
  if (name.empty()) return nullptr;
  std::wstring resource = Widen(ResourceName(name));
  auto icon = static_cast<HICON>(
      LoadImageW(instance, resource.c_str(), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (icon || IsResourceReference(name)) return icon;
  std::wstring path = Widen(name);
  return static_cast<HICON>(
      LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

// --- Creation and destruction ----------------------------------------------------------------

Win32Peer::Win32Peer(Win32Context& context, Window& window)
    : context_(context), window_(window),
      controls_(static_cast<std::size_t>(window.ControlCount())) {
  const WindowDef& def = window.definition();
  RegisterWindowClass(context_.instance, &Win32Peer::Proc);
  window_font_ = context_.fonts.Get(def.font);
  base_ = MeasureDialogBase(window_font_);
  if (def.background != kNoColour) window_brush_ = CreateSolidBrush(def.background);
  if (!context_.peers.empty()) owner_ = context_.peers.back()->hwnd();

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                      (def.resizable ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0);
  const DWORD ex_style = WS_EX_CONTROLPARENT;
  RECT frame{0, 0, base_.ToPixelsX(def.w), base_.ToPixelsY(def.h)};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  min_frame_ = SIZE{width, height};
  // A kept place, made to fit the work area (whose coordinates a window placement uses).
  std::optional<WindowPlacement> kept = window.initial_placement();
  RECT work{};
  if (kept && SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    kept = FitPlacement(*kept, Box{0, 0, work.right - work.left, work.bottom - work.top}, width, height);
    width = kept->width;
    height = kept->height;
  } else {
    kept.reset();
  }
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  RECT owner_rect;
  if (kept && kept->x != kDefault && kept->y != kDefault) {
    x = work.left + kept->x;
    y = work.top + kept->y;
  } else if (owner_ && GetWindowRect(owner_, &owner_rect)) {
    // A window opened from another one comes up centred over it, as dialogs do.
    x = std::max<int>(0, owner_rect.left + (owner_rect.right - owner_rect.left - width) / 2);
    y = std::max<int>(0, owner_rect.top + (owner_rect.bottom - owner_rect.top - height) / 2);
  }
  std::wstring title = Widen(window.Title());
  CreateWindowExW(ex_style, kWindowClass, title.c_str(), style, x, y, width, height, owner_,
                  nullptr, context_.instance, this);  // WM_NCCREATE sets hwnd_
  if (!hwnd_) return;

  const char* icon = def.icon ? def.icon : context_.program_icon.c_str();
  big_icon_ = LoadNamedIcon(context_.instance, icon, GetSystemMetrics(SM_CXICON));
  small_icon_ = LoadNamedIcon(context_.instance, icon, GetSystemMetrics(SM_CXSMICON));
  if (big_icon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
  if (small_icon_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), FALSE);

  CreateControls();
  Refresh(0);
  for (int field = 1; field <= def.ControlCount(); ++field)
    if (def.control(field).kind == ControlKind::Button && (def.control(field).flags & kDefaultButton))
      SendMessageW(hwnd_, DM_SETDEFID, static_cast<WPARAM>(kFirstControlId + field), 0);
  SetTimer(def.timer);

  context_.peers.push_back(this);
  // The window below takes no input while this one is open.
  if (owner_) EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, kept && kept->maximised ? SW_SHOWMAXIMIZED : SW_SHOW);
  // From now on the model hears when its list shows another number of rows; the page it fills
  // when the window opens is measured then.
  if (layout_)
    for (int field = 1; field <= def.ControlCount(); ++field)
      if (def.control(field).kind == ControlKind::List && control(field).hwnd)
        control(field).rows_seen = VisibleRows(field);
  UpdateWindow(hwnd_);
  // Activation normally puts the focus on the first control in Tab order; a window that did not
  // become the active one gets it here.
  if (!IsChild(hwnd_, GetFocus())) {
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE))
      SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
  }
}

void Win32Peer::TitleChanged() {
  if (hwnd_) SetWindowTextW(hwnd_, Widen(window_.Title()).c_str());
}

void Win32Peer::SetTimer(int hundredths) {
  if (!hwnd_) return;
  if (hundredths > 0)
    ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(hundredths) * 10u, nullptr);
  else
    ::KillTimer(hwnd_, kTimerId);
}

bool Win32Peer::WatchDirectory(const std::string& path) { return folder_wait_.Watch(path); }

WindowPlacement Win32Peer::Placement() const {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  if (!hwnd_ || !GetWindowPlacement(hwnd_, &placement)) return {};
  const RECT& r = placement.rcNormalPosition;
  return WindowPlacement{.x = static_cast<int>(r.left), .y = static_cast<int>(r.top),
                         .width = static_cast<int>(r.right - r.left), .height = static_cast<int>(r.bottom - r.top),
                         .maximised = IsZoomed(hwnd_) || (IsIconic(hwnd_) && (placement.flags & WPF_RESTORETOMAXIMIZED))};
}

void Win32Peer::ApplyLayout() {
  if (!layout_ || destroying_ || IsIconic(hwnd_)) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const std::vector<Box> boxes = layout_->Place(client.right, client.bottom);
  bool moved = false;
  for (int field = 1; field <= window_.ControlCount(); ++field) {
    Control& c = control(field);
    const Box& b = boxes[static_cast<std::size_t>(field - 1)];
    const RECT r{b.left, b.top, b.right, b.bottom};
    if (!c.hwnd || EqualRect(&r, &c.rect)) continue;
    c.rect = r;
    moved = true;
    constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (c.updown) {
      // The field and its arrows, side by side as they were made.
      int arrows = SpinArrowsWidth(b.height());
      SetWindowPos(c.hwnd, nullptr, b.left, b.top, std::max(1, b.width() - arrows), b.height(), kFlags);
      SetWindowPos(c.updown, nullptr, b.right - arrows, b.top, arrows, b.height(), kFlags);
    } else {
      SetWindowPos(c.hwnd, nullptr, b.left, b.top, b.width(), b.height(), kFlags);
    }
  }
  if (!moved) return;
  for (int field = 1; field <= window_.ControlCount(); ++field) {
    if (window_.definition().control(field).kind != ControlKind::List || !control(field).hwnd) continue;
    FitLastColumn(field);
    NoteListRows(field);
  }
  // Group boxes and labels leave their old places behind otherwise.
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

Win32Peer::~Win32Peer() {
  destroying_ = true;
  context_.peers.erase(std::remove(context_.peers.begin(), context_.peers.end(), this),
                       context_.peers.end());
  if (hwnd_) {
    KillTimer(hwnd_, kTimerId);
    // Enabled before this window goes, so that Windows hands the activation back to it.
    if (owner_ && IsWindow(owner_)) EnableWindow(owner_, TRUE);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  for (Control& c : controls_) {
    if (c.background) DeleteObject(c.background);
    if (c.icon) DestroyIcon(c.icon);
    if (c.bitmap) DeleteObject(c.bitmap);
    if (c.images) ImageList_Destroy(c.images);
  }
  if (big_icon_) DestroyIcon(big_icon_);
  if (small_icon_) DestroyIcon(small_icon_);
  if (window_brush_) DeleteObject(window_brush_);
}

void Win32Peer::CreateControls() {
  for (int field = 1; field <= window_.ControlCount(); ++field) PrepareControl(field);
  LayOut();
  for (int field = 1; field <= window_.ControlCount(); ++field) CreateControl(field);
  const WindowDef& def = window_.definition();
  if (!def.resizable) return;
  std::vector<Box> designed;
  for (const Control& c : controls_) designed.push_back({c.rect.left, c.rect.top, c.rect.right, c.rect.bottom});
  layout_.emplace(def, std::move(designed), base_.ToPixelsX(def.w), base_.ToPixelsY(def.h));
  // A window opened at a kept size lays its controls out for it at once.
  ApplyLayout();
  for (int field = 1; field <= window_.ControlCount(); ++field)
    if (def.control(field).kind == ControlKind::List && control(field).hwnd) FitLastColumn(field);
}

SIZE Win32Peer::NaturalSize(int field, HFONT font) const {
  const ControlDef& d = window_.definition().control(field);
  const std::string& text = window_.state(field).text;
  SIZE t = MeasureText(font, text.empty() ? std::string_view("0") : std::string_view(text));
  if (text.empty()) t.cx = 0;
  switch (d.kind) {
    case ControlKind::Prompt:
    case ControlKind::String:
      return SIZE{t.cx + 1, t.cy};
    case ControlKind::Check: {
      int box = GetSystemMetrics(SM_CXMENUCHECK);
      return SIZE{t.cx + box + 8, std::max<LONG>(t.cy, box) + 2};
    }
    case ControlKind::Button:
      return SIZE{t.cx + 2 * kButtonMargin + 4 + (d.icon ? 16 + kImageGap : 0),
                  std::max<LONG>(t.cy + 2 * kButtonMargin, d.icon ? 16 + 2 * kButtonMargin : 0)};
    case ControlKind::Entry:
    case ControlKind::Spin: {
      // As wide as its picture's longest text (text at four dialog units a character, a date or
      // time measured in the font) and its frame, but never past the window's right edge.
      const std::string_view picture = d.picture ? d.picture : "";
      const int chars = PictureWidth(picture);
      int width = base_.ToPixelsX(chars > 0 ? chars * 4 + 4 : 40);
      if (chars > 0 && !IsTextPicture(picture)) {
        const std::string widest = picture.size() > 1 && (picture[1] == 'd' || picture[1] == 'D')
                                       ? FormatNumber(picture, DateFromYmd(2000, 12, 28))
                                   : picture.size() > 1 && (picture[1] == 't' || picture[1] == 'T')
                                       ? FormatNumber(picture, (12 * 60 + 58) * 6000)
                                       : std::string(static_cast<std::size_t>(chars), '8');
        width = MeasureText(font, widest).cx + base_.ToPixelsX(12);  // frame and inner margins
      }
      if (d.x != kDefault) width = std::min(width, base_.ToPixelsX(window_.definition().w - d.x - 6));
      return SIZE{std::max(width, base_.ToPixelsX(12)), t.cy + 6};
    }
    case ControlKind::Group:
      return SIZE{t.cx + 16, base_.ToPixelsY(30)};
    case ControlKind::List:
      return SIZE{base_.ToPixelsX(100), base_.ToPixelsY(60)};
    case ControlKind::Image:
      return SIZE{32, 32};
  }
  return SIZE{0, 0};
}

RECT Win32Peer::ControlRect(int field, SIZE natural) const {
  const ControlDef& d = window_.definition().control(field);
  RECT r;
  r.left = d.x == kDefault ? 0 : base_.ToPixelsX(d.x);
  r.top = d.y == kDefault ? 0 : base_.ToPixelsY(d.y);
  // The far edges are converted where they stand, so that controls the definition sets edge to
  // edge stay edge to edge on screen, whatever the rounding.
  r.right = d.w == kDefault ? r.left + natural.cx
            : d.x == kDefault ? r.left + base_.ToPixelsX(d.w)
                              : base_.ToPixelsX(d.x + d.w);
  r.bottom = d.h == kDefault ? r.top + natural.cy
             : d.y == kDefault ? r.top + base_.ToPixelsY(d.h)
                               : base_.ToPixelsY(d.y + d.h);
  return r;
}

// The font, colours and picture of a control, and where the definition puts it.
void Win32Peer::PrepareControl(int field) {
  const ControlDef& d = window_.definition().control(field);
  Control& c = control(field);

  // A control without a face of its own takes the window's font, in its own colour if it has one.
  FontSpec font_def = d.font;
  if (!font_def.face) {
    font_def = window_.definition().font;
    if (d.font.colour != kNoColour) font_def.colour = d.font.colour;
  }
  c.font = context_.fonts.Get(font_def);
  if (font_def.colour != kNoColour) c.text_colour = static_cast<COLORREF>(font_def.colour);
  if (d.background != kNoColour) c.background = CreateSolidBrush(d.background);

  if (d.kind == ControlKind::Image) {
    const char* name = d.icon ? d.icon : d.text;
    if (name && *name) {
      std::wstring resource = Widen(ResourceName(name));
      c.bitmap = static_cast<HBITMAP>(
          LoadImageW(context_.instance, resource.c_str(), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
      if (!c.bitmap && !IsResourceReference(name))
        c.bitmap = static_cast<HBITMAP>(
            LoadImageW(nullptr, Widen(name).c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    }
  }

  SIZE natural = NaturalSize(field, c.font);
  if (c.bitmap) {
    BITMAP bm{};
    GetObjectW(c.bitmap, sizeof(bm), &bm);
    natural = SIZE{bm.bmWidth, bm.bmHeight};
  }
  c.rect = ControlRect(field, natural);
}

// Corrections to the definition's positions where the window's font makes texts wider than the
// definition allowed for:
// - a spin box is wide enough to show its largest number beside its arrows;
// - a prompt as wide as its text that runs into the control after it on its line pushes that
//   control to the right, where there is room for it; where there is none, the prompt is cut
//   short, so that the two never paint over each other.
void Win32Peer::LayOut() {
  const WindowDef& def = window_.definition();
  const int count = def.ControlCount();
  const int client_width = base_.ToPixelsX(def.w);
  const int gap = base_.ToPixelsX(2);

  for (int field = 1; field <= count; ++field) {
    const ControlDef& d = def.control(field);
    if (d.kind != ControlKind::Spin) continue;
    Control& c = control(field);
    int height = c.rect.bottom - c.rect.top;
    std::size_t digits = std::max(std::to_string(d.range_low).size(), std::to_string(d.range_high).size());
    // The field's border and its edit margins come on top of the digits.
    int needed = SpinArrowsWidth(height) + MeasureText(c.font, std::string(digits, '0')).cx + 6;
    if (c.rect.right - c.rect.left < needed) c.rect.right = c.rect.left + needed;
  }

  auto overlaps_other = [&](const RECT& r, int self, int except) {
    for (int other = 1; other <= count; ++other) {
      if (other == self || other == except || def.control(other).kind == ControlKind::Group) continue;
      RECT common;
      if (IntersectRect(&common, &r, &control(other).rect)) return true;
    }
    return false;
  };
  for (int field = 1; field <= count; ++field) {
    const ControlDef& d = def.control(field);
    if (d.kind != ControlKind::Prompt || d.w != kDefault) continue;
    RECT& prompt = control(field).rect;
    for (int next = 1; next <= count; ++next) {
      const ControlKind kind = def.control(next).kind;
      if (next == field || kind == ControlKind::Group) continue;
      RECT& r = control(next).rect;
      bool same_line = r.top < prompt.bottom && prompt.top < r.bottom;
      if (!same_line || r.left <= prompt.left || r.left >= prompt.right + gap) continue;
      RECT moved = r;
      OffsetRect(&moved, prompt.right + gap - r.left, 0);
      if (moved.right <= client_width && !overlaps_other(moved, next, field)) r = moved;
      else prompt.right = r.left - 1;
    }
  }
}

void Win32Peer::CreateControl(int field) {
  const ControlDef& d = window_.definition().control(field);
  const ControlState& s = window_.state(field);
  Control& c = control(field);
  const RECT r = c.rect;
  int width = r.right - r.left, height = r.bottom - r.top;
  int text_height = MeasureText(c.font, "0").cy;

  DWORD style = WS_CHILD | (s.hidden ? 0 : WS_VISIBLE) | (s.enabled ? 0 : WS_DISABLED);
  DWORD ex_style = 0;
  const wchar_t* window_class = WC_STATICW;
  switch (d.kind) {
    case ControlKind::List: {
      window_class = WC_LISTVIEWW;
      // An owner-data list: the rows live in the peer and the list asks for the cells it paints,
      // so that a new page replaces the old one without rebuilding the control's items.
      style |= LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS |
               LVS_NOSORTHEADER | LVS_OWNERDATA | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS;
      bool headers = std::any_of(s.columns.begin(), s.columns.end(),
                                 [](const ColumnFormat& col) { return !col.header.empty(); });
      if (!headers) style |= LVS_NOCOLUMNHEADER;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    }
    case ControlKind::Group:
      window_class = WC_BUTTONW;
      style |= BS_GROUPBOX;
      break;
    case ControlKind::Button:
      window_class = WC_BUTTONW;
      style |= WS_TABSTOP | WS_GROUP;
      if (d.icon) {
        // A button with a picture draws picture and text itself: the standard one lets the picture
        // cover the text, or shows the picture alone, when the button is narrow.
        style |= BS_OWNERDRAW;
        c.icon_size = std::clamp(height - 2 * 2, 8, 16);
        c.is_default = (d.flags & kDefaultButton) != 0;
      } else {
        style |= (d.flags & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      }
      break;
    case ControlKind::Check:
      window_class = WC_BUTTONW;
      // A read-only box is not ticked by a click: the model alone sets it.
      style |= ((d.flags & kReadOnly) ? BS_CHECKBOX : BS_AUTOCHECKBOX) | WS_TABSTOP | WS_GROUP;
      break;
    case ControlKind::Spin:
    case ControlKind::Entry: {
      window_class = WC_EDITW;
      bool read_only = d.kind == ControlKind::Entry ? (d.flags & kReadOnly) != 0
                                                    : (d.flags & kNoTyping) != 0;
      style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP | (read_only ? ES_READONLY : 0);
      // A field too low for the sunken 3-D edge gets a flat one-pixel border instead, so that
      // its text is not cut.
      if (height >= text_height + 6) ex_style = WS_EX_CLIENTEDGE;
      else style |= WS_BORDER;
      break;
    }
    case ControlKind::Prompt:
    case ControlKind::String:
      style |= SS_LEFT;
      break;
    case ControlKind::Image:
      style |= SS_BITMAP | SS_CENTERIMAGE;
      break;
  }
  // A spin box's arrows stand at its right end and its field takes the rest of the width.
  int arrows_width = 0;
  if (d.kind == ControlKind::Spin) {
    arrows_width = SpinArrowsWidth(height);
    width = std::max(1, width - arrows_width);
  }

  std::wstring text = d.kind == ControlKind::Image ? std::wstring() : Widen(s.text);
  c.hwnd = CreateWindowExW(ex_style, window_class, text.c_str(), style, r.left, r.top, width, height,
                           hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + field)),
                           context_.instance, nullptr);
  if (!c.hwnd) return;
  SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);

  switch (d.kind) {
    case ControlKind::List:
      SetUpList(field);
      break;
    case ControlKind::Button:
      if (d.icon) {
        c.icon = LoadNamedIcon(context_.instance, d.icon, c.icon_size);
        // Kept by the button as well, for whoever asks it for its picture.
        if (c.icon) SendMessageW(c.hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(c.icon));
        SetWindowSubclass(c.hwnd, &Win32Peer::ButtonProc, static_cast<UINT_PTR>(field),
                          reinterpret_cast<DWORD_PTR>(this));
      }
      break;
    case ControlKind::Spin:
      // A narrow field keeps its digits in view with thin margins.
      SendMessageW(c.hwnd, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
      // Without UDS_ARROWKEYS: the Up and Down keys are taken before the dialog manager (see
      // PreTranslate) and step the value once each, as the arrows do.
      c.updown = CreateWindowExW(
          0, UPDOWN_CLASSW, nullptr,
          WS_CHILD | (s.hidden ? 0 : WS_VISIBLE) | (s.enabled ? 0 : WS_DISABLED) | UDS_NOTHOUSANDS,
          r.left + width, r.top, arrows_width, height, hwnd_,
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstUpDownId + field)), context_.instance,
          nullptr);
      if (c.updown) {
        SendMessageW(c.updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c.hwnd), 0);
        SendMessageW(c.updown, UDM_SETRANGE32, static_cast<WPARAM>(d.range_low),
                     static_cast<LPARAM>(d.range_high));
      }
      break;
    case ControlKind::Entry:
      if (int limit = TextLimit(d.picture ? d.picture : ""); limit > 0 && !(d.flags & kReadOnly))
        SendMessageW(c.hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
      break;
    case ControlKind::Image:
      if (c.bitmap) {
        COLORREF background = d.background != kNoColour ? d.background
                              : window_.definition().background != kNoColour
                                  ? window_.definition().background
                                  : GetSysColor(COLOR_BTNFACE);
        if (HBITMAP fitted = FitBitmap(c.bitmap, width, height, background)) {
          DeleteObject(c.bitmap);
          c.bitmap = fitted;
        }
        SendMessageW(c.hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(c.bitmap));
      }
      // The control sizes itself to its picture; the definition's size is the one to show.
      SetWindowPos(c.hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    default:
      break;
  }
  if (d.tooltip) {
    AddTooltip(c.hwnd, d.tooltip);
    if (c.updown) AddTooltip(c.updown, d.tooltip);
  }
}

HWND Win32Peer::Tooltip() {
  if (!tooltip_) {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, context_.instance, nullptr);
    if (tooltip_) SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 320);
  }
  return tooltip_;
}

void Win32Peer::AddTooltip(HWND control, const char* text) {
  if (!Tooltip()) return;
  std::wstring wide = Widen(text);
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = wide.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

// --- Buttons with a picture ------------------------------------------------------------------

namespace {

int LineWidth(HDC dc, std::wstring_view line) {
  RECT r{0, 0, 0, 0};
  if (!line.empty())
    DrawTextW(dc, line.data(), static_cast<int>(line.size()), &r, DT_CALCRECT | DT_SINGLELINE);
  return r.right - r.left;
}

// `text` broken at its blanks into lines no wider than `width`; a word wider than that stands on
// a line of its own. Blanks inside a line stay as written.
std::vector<std::wstring> BreakLines(HDC dc, std::wstring_view text, int width) {
  constexpr auto npos = std::wstring_view::npos;
  auto word_end = [&](std::size_t from) {
    std::size_t end = text.find(L' ', from);
    return end == npos ? text.size() : end;
  };
  std::vector<std::wstring> lines;
  for (std::size_t start = text.find_first_not_of(L' '); start != npos;) {
    std::size_t end = word_end(start);
    for (std::size_t next = text.find_first_not_of(L' ', end); next != npos;
         next = text.find_first_not_of(L' ', end)) {
      std::size_t next_end = word_end(next);
      if (LineWidth(dc, text.substr(start, next_end - start)) > width) break;
      end = next_end;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = text.find_first_not_of(L' ', end);
  }
  return lines;
}

// `line` as it shows with its access key hidden: each "&" mark dropped, "&&" standing for "&".
// (DrawText's own DT_HIDEPREFIX is not honoured everywhere.)
std::wstring WithoutAccessMark(std::wstring_view line) {
  std::wstring out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != L'&') {
      out.push_back(line[i]);
    } else if (i + 1 < line.size() && line[i + 1] == L'&') {
      out.push_back(L'&');
      ++i;
    }
  }
  return out;
}

}  // namespace

ButtonFace LayOutButton(HFONT font, const RECT& inside, int icon_size, std::wstring_view text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  const int width = inside.right - inside.left, height = inside.bottom - inside.top;
  // Capitals stand between the internal leading and the baseline.
  const int capitals = tm.tmAscent - tm.tmInternalLeading;
  ButtonFace face;
  bool fits = false;
  for (int picture : {icon_size, 0}) {
    if (fits) break;
    int room = width - (picture > 0 ? picture + kImageGap : 0);
    face.lines = BreakLines(dc, text, room);
    if (face.lines.empty()) face.lines.emplace_back();
    int widest = 0;
    for (const std::wstring& line : face.lines) widest = std::max(widest, LineWidth(dc, line));
    int count = static_cast<int>(face.lines.size());
    // The capitals of the lines have to fit; the descenders of the last may reach into the edge.
    // The lines close up, at most by the font's internal leading (the room for accents over
    // capitals), to fit.
    int block = 0;
    for (int spacing = tm.tmHeight; spacing >= tm.tmHeight - tm.tmInternalLeading; --spacing) {
      face.line_height = spacing;
      block = (count - 1) * spacing + capitals;
      if (block <= height) break;
    }
    fits = widest <= room && block <= height;
    // The picture and the text side by side, centred together.
    int group = widest + (picture > 0 ? picture + kImageGap : 0);
    int left = inside.left + std::max(0, (width - group) / 2);
    face.icon = RECT{};
    if (picture > 0) {
      int top = inside.top + (height - picture) / 2;
      face.icon = RECT{left, top, left + picture, top + picture};
      left += picture + kImageGap;
    }
    int top = inside.top + (height - block) / 2 - tm.tmInternalLeading;
    face.text = RECT{left, top, left + widest, top + (count - 1) * face.line_height + tm.tmHeight};
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return face;
}

void Win32Peer::DrawButton(int field, const DRAWITEMSTRUCT& item) {
  const Control& c = control(field);
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  // The access-key marks and the focus rectangle show as the window's keyboard cues say (Alt
  // shows the access keys).
  auto cues = static_cast<UINT>(SendMessageW(c.hwnd, WM_QUERYUISTATE, 0, 0));
  const bool hide_keys = (item.itemState & ODS_NOACCEL) || (cues & UISF_HIDEACCEL);
  const bool hide_focus = (item.itemState & ODS_NOFOCUSRECT) || (cues & UISF_HIDEFOCUS);

  FillRect(dc, &r, window_brush_ ? window_brush_ : GetSysColorBrush(COLOR_BTNFACE));
  // Picture and text go inside the raised edge. (The theme's content rectangle leaves room for a
  // focus rectangle all round, which a low button cannot spare.)
  RECT inside = r;
  InflateRect(&inside, -kButtonEdge, -kButtonEdge);
  // In the look of the other push buttons: the theme's, when one is active, else the classic one.
  if (HTHEME theme = OpenThemeData(c.hwnd, L"Button")) {
    int part_state = disabled ? PBS_DISABLED : pushed ? PBS_PRESSED : c.is_default ? PBS_DEFAULTED
                                                                                 : PBS_NORMAL;
    DrawThemeBackground(theme, dc, BP_PUSHBUTTON, part_state, &r, nullptr);
    CloseThemeData(theme);
  } else {
    if (c.is_default) {
      FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
      InflateRect(&r, -1, -1);
    }
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    inside = r;
    InflateRect(&inside, -kButtonEdge, -kButtonEdge);
    if (pushed) OffsetRect(&inside, 1, 1);
  }

  std::wstring text = WindowText(c.hwnd);
  HGDIOBJ old_font = SelectObject(dc, c.font);
  ButtonFace face = LayOutButton(c.font, inside, c.icon ? c.icon_size : 0, text);
  if (c.icon && face.icon.right > face.icon.left) {
    if (disabled)
      DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(c.icon), 0, face.icon.left,
                 face.icon.top, c.icon_size, c.icon_size, DST_ICON | DSS_DISABLED);
    else
      DrawIconEx(dc, face.icon.left, face.icon.top, c.icon, c.icon_size, c.icon_size, 0, nullptr,
                 DI_NORMAL);
  }
  int old_mode = SetBkMode(dc, TRANSPARENT);
  UINT format = DT_SINGLELINE | DT_CENTER | DT_TOP | DT_NOCLIP | (hide_keys ? DT_NOPREFIX : 0);
  auto draw_lines = [&](int dx, int dy, COLORREF colour) {
    SetTextColor(dc, colour);
    for (std::size_t i = 0; i < face.lines.size(); ++i) {
      RECT line{face.text.left + dx, face.text.top + dy + static_cast<int>(i) * face.line_height,
                face.text.right + dx, face.text.bottom + dy};
      std::wstring shown = hide_keys ? WithoutAccessMark(face.lines[i]) : face.lines[i];
      DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &line, format);
    }
  };
  if (disabled) {
    // Greyed and embossed, as the system draws a disabled button's text.
    draw_lines(1, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    draw_lines(0, 0, GetSysColor(COLOR_GRAYTEXT));
  } else {
    draw_lines(0, 0, c.text_colour != CLR_INVALID ? c.text_colour : GetSysColor(COLOR_BTNTEXT));
  }
  SetBkMode(dc, old_mode);
  SelectObject(dc, old_font);
  if ((item.itemState & ODS_FOCUS) && !hide_focus) {
    RECT focus = inside;
    InflateRect(&focus, -1, -1);
    DrawFocusRect(dc, &focus);
  }
}

LRESULT CALLBACK Win32Peer::ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR field, DWORD_PTR peer) {
  auto* self = reinterpret_cast<Win32Peer*>(peer);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, &Win32Peer::ButtonProc, field);
    return DefSubclassProc(hwnd, message, wparam, lparam);
  }
  if (self->destroying_) return DefSubclassProc(hwnd, message, wparam, lparam);
  Control& c = self->control(static_cast<int>(field));
  switch (message) {
    case WM_GETDLGCODE:
      // A push button to the dialog manager, which moves the default button between them.
      return DLGC_BUTTON | (c.is_default ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
      // The dialog manager makes a push button the default one (or no longer) by its style; this
      // one keeps drawing itself and shows the default by its frame.
      bool is_default = (wparam & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      if (is_default != c.is_default) {
        c.is_default = is_default;
        if (lparam) InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_UPDATEUISTATE: {
      // The keyboard cues changed: the access-key mark and the focus rectangle are redrawn.
      LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      InvalidateRect(hwnd, nullptr, FALSE);
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// --- Model to screen -------------------------------------------------------------------------

void Win32Peer::Refresh(int field) {
  if (!hwnd_ || destroying_) return;
  bool was_refreshing = refreshing_;
  refreshing_ = true;
  if (field == 0) {
    for (int f = 1; f <= window_.ControlCount(); ++f) RefreshControl(f);
  } else if (field >= 1 && field <= window_.ControlCount()) {
    RefreshControl(field);
  }
  refreshing_ = was_refreshing;
}

void Win32Peer::RefreshControl(int field) {
  Control& c = control(field);
  if (!c.hwnd) return;
  const ControlDef& d = window_.definition().control(field);
  const ControlState& s = window_.state(field);
  switch (d.kind) {
    case ControlKind::Button:
    case ControlKind::Group:
    case ControlKind::Prompt:
    case ControlKind::String:
      SetTextIfChanged(c.hwnd, s.text);
      break;
    case ControlKind::Check:
      SetTextIfChanged(c.hwnd, s.text);
      SendMessageW(c.hwnd, BM_SETCHECK, s.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::Entry:
    case ControlKind::Spin:
      // What the user is typing stays until the field is left; then the model has the last word.
      if (!(c.dirty && GetFocus() == c.hwnd)) {
        SetTextIfChanged(c.hwnd, s.text);
        c.dirty = false;
      }
      if (c.updown) {
        auto value = ParseNumber(d.picture ? d.picture : "@n9", s.text);
        if (value) SendMessageW(c.updown, UDM_SETPOS32, 0, static_cast<LPARAM>(*value));
      }
      break;
    case ControlKind::List:
      RefreshList(field);
      break;
    case ControlKind::Image:
      break;
  }
  bool had_focus = GetFocus() == c.hwnd;
  ApplyShownEnabled(c.hwnd, s);
  ApplyShownEnabled(c.updown, s);
  // A control that was hidden or disabled under the focus passes the focus on.
  if (had_focus && (s.hidden || !s.enabled)) SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
}

void Win32Peer::Focus(int field) {
  if (!hwnd_ || field < 1 || field > window_.ControlCount()) return;
  if (!IsFocusable(window_.definition().control(field).kind)) return;
  HWND target = control(field).hwnd;
  if (!target || !IsWindowEnabled(target) || !IsVisibleStyle(target)) return;
  SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
}

// --- Screen to model -------------------------------------------------------------------------

int Win32Peer::FieldOf(HWND hwnd) const {
  if (!hwnd) return 0;
  for (std::size_t i = 0; i < controls_.size(); ++i)
    if (controls_[i].hwnd == hwnd || controls_[i].updown == hwnd || controls_[i].scrollbar == hwnd)
      return static_cast<int>(i + 1);
  return 0;
}

void Win32Peer::FlushEntries() {
  for (int field = 1; field <= window_.ControlCount(); ++field) {
    Control& c = control(field);
    if (!c.dirty) continue;
    c.dirty = false;
    window_.UserText(field, EnteredText(c.hwnd));
  }
}

void Win32Peer::NoteFocus() {
  int field = FieldOf(GetFocus());
  if (field != 0 && field != window_.FocusField()) window_.UserFocus(field);
}

bool Win32Peer::PreTranslate(const MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  const WindowDef& def = window_.definition();
  int code = 0;
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
    code = KeyCodeFromVirtualKey(static_cast<unsigned>(msg.wParam), GetKeyState(VK_CONTROL) < 0,
                                 GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_MENU) < 0);
  } else if (msg.message == WM_CHAR) {
    code = TypedCharacter(msg.wParam);
  }
  // Alt shows the access keys of every control from then on, as Windows dialogs do.
  if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_MENU)
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
  if (code == 0) return false;

  // A button's own key presses it wherever the focus is.
  for (int field = 1; field <= def.ControlCount(); ++field) {
    const ControlDef& d = def.control(field);
    const ControlState& s = window_.state(field);
    if (d.kind == ControlKind::Button && d.key != 0 && d.key == code && s.enabled && !s.hidden) {
      FlushEntries();
      window_.SetLastKey(code);
      window_.UserPress(field);
      return true;
    }
  }

  HWND focus = GetFocus();
  int field = FieldOf(focus);
  if (field == 0 || focus != control(field).hwnd) return false;
  // Up and Down in a spin box step its value once, as its arrows do.
  if (def.control(field).kind == ControlKind::Spin && msg.message == WM_KEYDOWN &&
      (code == key::kUp || code == key::kDown)) {
    window_.UserSpin(field, code == key::kUp ? 1 : -1);
    return true;
  }
  // A list takes its keys here, before the dialog manager, which would otherwise press the
  // default button for Ctrl+Enter.
  if (def.control(field).kind != ControlKind::List) return false;
  return ListKey(field, msg.message, msg.wParam);
}

LRESULT CALLBACK Win32Peer::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* peer = static_cast<Win32Peer*>(create->lpCreateParams);
    peer->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  }
  auto* peer = reinterpret_cast<Win32Peer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (peer && !peer->destroying_) return peer->Handle(message, wparam, lparam);
  return DefDlgProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Peer::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      return OnCommand(wparam, lparam);
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lparam));
    case WM_VSCROLL:
      // From a list's own scroll bar.
      if (int field = FieldOf(reinterpret_cast<HWND>(lparam));
          field != 0 && control(field).scrollbar == reinterpret_cast<HWND>(lparam)) {
        ListScroll(field, LOWORD(wparam));
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      int field = FieldOf(item.hwndItem);
      if (item.CtlType == ODT_BUTTON && field != 0 && control(field).hwnd == item.hwndItem) {
        DrawButton(field, item);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return OnControlColour(message, wparam, lparam);
    case WM_CTLCOLORDLG:
      if (window_brush_) return reinterpret_cast<LRESULT>(window_brush_);
      break;
    case WM_TIMER:
      if (wparam == kTimerId) {
        window_.TimerTick();
        return 0;
      }
      break;
    case WM_SIZE:
      ApplyLayout();
      break;
    case WM_GETMINMAXINFO:
      // A resizable window is never smaller than its definition.
      if (layout_) {
        auto& info = *reinterpret_cast<MINMAXINFO*>(lparam);
        info.ptMinTrackSize = POINT{min_frame_.cx, min_frame_.cy};
        return 0;
      }
      break;
    case WM_CLOSE:
      // The model decides: the procedure gets CloseWindow and the window closes through it.
      window_.UserClose();
      return 0;
    case WM_SETCURSOR:
      if (context_.busy) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
      }
      // Work in the background: the arrow over the window and its controls gets the hourglass
      // beside it; a control with a cursor of its own (an entry's I-beam) and the window's
      // borders keep theirs, since input is still taken.
      if (context_.working && LOWORD(lparam) == HTCLIENT) {
        HCURSOR arrow = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        auto under = reinterpret_cast<HWND>(wparam);
        auto own = reinterpret_cast<HCURSOR>(GetClassLongPtrW(under, GCLP_HCURSOR));
        if (own == nullptr || own == arrow) {
          SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32650)));  // IDC_APPSTARTING
          return TRUE;
        }
      }
      break;
    default:
      break;
  }
  return DefDlgProcW(hwnd_, message, wparam, lparam);
}

LRESULT Win32Peer::OnCommand(WPARAM wparam, LPARAM lparam) {
  int id = LOWORD(wparam);
  int code = HIWORD(wparam);
  auto from = reinterpret_cast<HWND>(lparam);
  if (id == IDCANCEL && FieldOf(from) == 0) {
    // Esc: the dialog manager's cancel. A list that alerted it takes it; otherwise the window's
    // cancel button, or its close box where it has none to show.
    FlushEntries();
    if (int field = FieldOf(GetFocus()); field != 0) window_.UserKey(field, key::kEsc);
    else window_.UserEscape();
    return 0;
  }
  int field = id - kFirstControlId;
  if (field < 1 || field > window_.ControlCount() || from != control(field).hwnd) return 0;
  Control& c = control(field);
  switch (window_.definition().control(field).kind) {
    case ControlKind::Button:
      if (code == BN_CLICKED) {
        FlushEntries();
        window_.UserPress(field);
      }
      break;
    case ControlKind::Check:
      if (code == BN_CLICKED) {
        FlushEntries();
        window_.UserCheck(field, SendMessageW(from, BM_GETCHECK, 0, 0) == BST_CHECKED);
      }
      break;
    case ControlKind::Entry:
    case ControlKind::Spin:
      if (code == EN_CHANGE && !refreshing_) {
        c.dirty = true;
      } else if (code == EN_KILLFOCUS && c.dirty) {
        c.dirty = false;
        window_.UserText(field, EnteredText(from));
      }
      break;
    default:
      break;
  }
  return 0;
}

LRESULT Win32Peer::OnNotify(NMHDR& header) {
  int field = FieldOf(header.hwndFrom);
  if (field == 0) return DefDlgProcW(hwnd_, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
  switch (window_.definition().control(field).kind) {
    case ControlKind::List:
      return OnListNotify(field, header);
    case ControlKind::Spin:
      if (header.code == UDN_DELTAPOS) {
        const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
        if (change.iDelta != 0) window_.UserSpin(field, change.iDelta > 0 ? 1 : -1);
        return TRUE;  // the model sets the value; the arrows do not change it themselves
      }
      return 0;
    default:
      return 0;
  }
}

LRESULT Win32Peer::OnControlColour(UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT standard = DefDlgProcW(hwnd_, message, wparam, lparam);
  int field = FieldOf(reinterpret_cast<HWND>(lparam));
  if (field == 0) return standard;
  const Control& c = control(field);
  auto dc = reinterpret_cast<HDC>(wparam);
  if (c.text_colour != CLR_INVALID) SetTextColor(dc, c.text_colour);
  // Static-looking controls (labels, group boxes, check boxes, read-only fields) stand on the
  // window's background unless they have one of their own; a typing field keeps its white.
  HBRUSH brush = c.background;
  std::uint32_t colour = window_.definition().control(field).background;
  if (!brush && window_brush_ && message != WM_CTLCOLOREDIT) {
    brush = window_brush_;
    colour = window_.definition().background;
  }
  if (!brush) return standard;
  SetBkColor(dc, static_cast<COLORREF>(colour));
  return reinterpret_cast<LRESULT>(brush);
}

}  // namespace rt::win32
