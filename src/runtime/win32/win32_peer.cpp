// The Win32 rendering of one open window (see win32_peer.h). The top-level window runs on the
// dialog manager's default procedure (DefDlgProc), which gives Tab order, access keys and the
// default button exactly as Windows dialogs have them, while the controls stay plain children.
#include "runtime/win32/win32_peer.h"

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
// Room around a button's text and picture (the button's border and the focus rectangle), and
// between the picture and the text.
constexpr int kButtonMargin = 4;
constexpr int kImageGap = 2;

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

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_CONTROLPARENT;
  RECT frame{0, 0, base_.ToPixelsX(def.w), base_.ToPixelsY(def.h)};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  RECT owner_rect;
  if (owner_ && GetWindowRect(owner_, &owner_rect)) {
    // A window opened from another one comes up centred over it, as dialogs do.
    x = std::max<int>(0, owner_rect.left + (owner_rect.right - owner_rect.left - width) / 2);
    y = std::max<int>(0, owner_rect.top + (owner_rect.bottom - owner_rect.top - height) / 2);
  }
  std::wstring title = Widen(def.title ? def.title : "");
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
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  // Activation normally puts the focus on the first control in Tab order; a window that did not
  // become the active one gets it here.
  if (!IsChild(hwnd_, GetFocus())) {
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE))
      SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
  }
}

void Win32Peer::SetTimer(int hundredths) {
  if (!hwnd_) return;
  if (hundredths > 0)
    ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(hundredths) * 10u, nullptr);
  else
    ::KillTimer(hwnd_, kTimerId);
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
  for (int field = 1; field <= window_.ControlCount(); ++field) CreateControl(field);
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
    case ControlKind::Spin:
      return SIZE{base_.ToPixelsX(40), t.cy + 6};
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
  r.right = r.left + (d.w == kDefault ? natural.cx : base_.ToPixelsX(d.w));
  r.bottom = r.top + (d.h == kDefault ? natural.cy : base_.ToPixelsY(d.h));
  return r;
}

void Win32Peer::CreateControl(int field) {
  const ControlDef& d = window_.definition().control(field);
  const ControlState& s = window_.state(field);
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
  RECT r = ControlRect(field, natural);
  int width = r.right - r.left, height = r.bottom - r.top;
  int text_height = MeasureText(c.font, "0").cy;

  DWORD style = WS_CHILD | (s.hidden ? 0 : WS_VISIBLE) | (s.enabled ? 0 : WS_DISABLED);
  DWORD ex_style = 0;
  const wchar_t* window_class = WC_STATICW;
  int icon_size = 0;
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
    case ControlKind::Button: {
      window_class = WC_BUTTONW;
      style |= ((d.flags & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP |
               WS_GROUP;
      if (d.icon) {
        icon_size = std::clamp(height - 2 * 2, 8, 16);
        // The picture goes left of the text when both fit; otherwise the button shows the
        // picture alone and keeps its text for the access key and for screen readers.
        SIZE t = MeasureText(c.font, s.text);
        if (icon_size + kImageGap + t.cx + 2 * kButtonMargin > width) style |= BS_ICON;
      }
      break;
    }
    case ControlKind::Check:
      window_class = WC_BUTTONW;
      style |= BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP;
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
  // A spin box's arrows stand at its right end, as wide as suits its height, and its field takes
  // the rest of the width.
  int arrows_width = 0;
  if (d.kind == ControlKind::Spin) {
    arrows_width = std::clamp(height * 3 / 4 + 1, 11, 16);
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
        c.icon = LoadNamedIcon(context_.instance, d.icon, icon_size);
        if (c.icon) SendMessageW(c.hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(c.icon));
      }
      break;
    case ControlKind::Spin:
      c.updown = CreateWindowExW(
          0, UPDOWN_CLASSW, nullptr,
          WS_CHILD | (s.hidden ? 0 : WS_VISIBLE) | (s.enabled ? 0 : WS_DISABLED) | UDS_ARROWKEYS |
              UDS_NOTHOUSANDS,
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

void Win32Peer::AddTooltip(HWND control, const char* text) {
  if (!tooltip_) {
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, context_.instance, nullptr);
    if (!tooltip_) return;
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 320);
  }
  std::wstring wide = Widen(text);
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = hwnd_;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = wide.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
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
    window_.UserText(field, Narrow(WindowText(c.hwnd)));
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

  // A list takes its keys here, before the dialog manager, which would otherwise press the
  // default button for Ctrl+Enter.
  HWND focus = GetFocus();
  int field = FieldOf(focus);
  if (field == 0 || focus != control(field).hwnd || def.control(field).kind != ControlKind::List)
    return false;
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
    case WM_CLOSE:
      // The model decides: the procedure gets CloseWindow and the window closes through it.
      window_.UserClose();
      return 0;
    case WM_SETCURSOR:
      if (context_.busy) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
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
    // Esc: the dialog manager's cancel. Only a control that alerted it does something with it.
    if (int field = FieldOf(GetFocus()); field != 0) window_.UserKey(field, key::kEsc);
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
        window_.UserText(field, Narrow(WindowText(from)));
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
