// The Win32 rendering of one open window: a top-level window with a child control per field of
// its definition, kept in step with the window model's control state, and turning the controls'
// notifications into the model's User*() calls. Created by the Win32 backend; the Windows tests
// use the control ids below to find a field's control.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder_wait.h"
#include "runtime/backend.h"
#include "runtime/resize_layout.h"
#include "runtime/win32/win32_fonts.h"

namespace rt {
class Window;
struct ControlState;
}  // namespace rt

namespace rt::win32 {

// Control id of field n is kFirstControlId + n; the up-down arrows of a spin box have
// kFirstUpDownId + n and the vertical scroll bar of a list kFirstScrollBarId + n. All stay clear
// of IDOK and IDCANCEL, which the dialog manager sends for Enter and Esc.
inline constexpr int kFirstControlId = 100;
inline constexpr int kFirstUpDownId = 0x4000;
inline constexpr int kFirstScrollBarId = 0x5000;
// The window class of every window the backend opens.
inline constexpr wchar_t kWindowClass[] = L"NightjarRuntimeWindow";

class Win32Peer;

// What the backend and all its window peers share.
struct Win32Context {
  HINSTANCE instance = nullptr;
  FontCache fonts;
  bool busy = false;     // the hourglass: no input is taken
  bool working = false;  // the arrow with the hourglass: input is still taken; busy wins
  std::string program_icon;        // resource name of the icon of windows without their own
  std::vector<Win32Peer*> peers;  // open windows, bottom to top
};

class Win32Peer final : public WindowPeer {
 public:
  Win32Peer(Win32Context& context, Window& window);
  ~Win32Peer() override;
  Win32Peer(const Win32Peer&) = delete;
  Win32Peer& operator=(const Win32Peer&) = delete;

  void Refresh(int field) override;
  void Focus(int field) override;
  int VisibleRows(int field) override;
  void SetTimer(int hundredths) override;
  void TitleChanged() override;
  bool WatchDirectory(const std::string& path) override;
  // The frame in workspace coordinates before any maximising, and whether it is maximised.
  WindowPlacement Placement() const override;

  HWND hwnd() const { return hwnd_; }
  // The watched folder's wait, which the backend waits on beside the message queue while this
  // window takes input; watching nothing while no folder is watched.
  platform::FolderWait& folder_wait() { return folder_wait_; }
  bool watching() const { return !folder_wait_.folder().empty(); }
  Window& window() { return window_; }
  // Looks at a queued input message before the dialog manager does, for what the model handles
  // itself: keys of a list (its navigation, alerted keys, type-ahead) and buttons' own keys.
  // True when the message was consumed.
  bool PreTranslate(const MSG& msg);
  // Hands typed-but-not-yet-accepted entry text to the model (before a button acts on it).
  void FlushEntries();
  // Tells the model which control has the focus after the user moved it (Tab, access keys).
  void NoteFocus();

 private:
  // One line of a list as it is shown: the text of each column, the row icon's image index, each
  // column's own image index (for icon columns other than the row icon's) and each cell's tip.
  struct ListLine {
    std::vector<std::wstring> cells;
    int image = I_IMAGENONE;
    std::vector<int> images;
    std::vector<std::wstring> tips;
    bool operator==(const ListLine&) const = default;
  };

  struct Control {
    HWND hwnd = nullptr;
    HWND updown = nullptr;       // spin box arrows
    RECT rect{};                 // where the control stands, in the window's client pixels
    HFONT font = nullptr;
    COLORREF text_colour = CLR_INVALID;
    HBRUSH background = nullptr;  // owned; the control's own background colour
    HICON icon = nullptr;         // owned; a button's picture
    int icon_size = 0;            // its width and height in pixels
    // A button with a picture draws itself; this is whether the dialog manager made it the
    // default button (the one Enter presses), which a push button would show by its style.
    bool is_default = false;
    HBITMAP bitmap = nullptr;     // owned; an image control's picture
    HIMAGELIST images = nullptr;  // owned; a list's icons
    std::vector<std::string> image_names;
    int image_size = 16;
    int icon_column = -1;  // the list column showing the row's icon
    bool dirty = false;    // entry text typed and not yet given to the model
    // A list keeps its own vertical scroll bar in a strip cut off the right of its client area;
    // the list itself only ever shows one page and never scrolls vertically.
    HWND scrollbar = nullptr;
    int strip = 0;                // width of that strip; 0 while the scroll bar is hidden
    int wheel = 0;                // mouse-wheel travel not yet turned into keys
    bool dragging = false;        // the scroll bar's thumb is being dragged
    std::vector<ListLine> lines;  // what the list shows; the list control asks for it per cell
    // The cell under the mouse, whose whole text the cell tip shows when the column cuts it, or
    // whose own tip it shows.
    int tip_row = -1;
    int tip_column = -1;
    // In a resizable window: the rows the list showed when the model last heard of its size
    // (-1: not yet measured), whether its columns had their first fit, the least width of its
    // last column, and the width the user dragged that column to (0: never).
    int rows_seen = -1;
    bool fitted = false;
    int last_least = 0;
    int last_dragged = 0;
  };

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnCommand(WPARAM wparam, LPARAM lparam);
  LRESULT OnNotify(NMHDR& header);
  LRESULT OnControlColour(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls();
  void PrepareControl(int field);
  void LayOut();
  void CreateControl(int field);
  // Buttons with a picture draw picture and text side by side (owner-drawn).
  void DrawButton(int field, const DRAWITEMSTRUCT& item);
  static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR field, DWORD_PTR peer);
  // The list control (win32_list.cpp).
  void SetUpList(int field);
  void CreateListColumns(int field);
  void FitListColumns(int field);
  // In a resizable window: the last column fills what the others leave (never narrower than its
  // least width, or than the user dragged it), and the model hears when the rows that fit changed.
  void FitLastColumn(int field);
  void NoteListRows(int field);
  // Places the controls for the window's present client size (resizable windows).
  void ApplyLayout();
  void PlaceListScrollBar(int field);
  void RefreshListScrollBar(int field);
  void DrawListBorders(int field, HDC dc);
  void UpdateCellTip(int field, LPARAM point);
  int ListRowAt(int field, LPARAM point) const;
  bool ListKey(int field, UINT message, WPARAM wparam);
  void ListWheel(int field, int delta);
  void ListScroll(int field, int request);
  int SidewaysStep(int field, bool right) const;
  LRESULT OnListNotify(int field, NMHDR& header);
  static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR field, DWORD_PTR peer);
  LRESULT HandleList(int field, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  HWND Tooltip();
  void AddTooltip(HWND control, const char* text);
  RECT ControlRect(int field, SIZE natural) const;
  SIZE NaturalSize(int field, HFONT font) const;

  void RefreshControl(int field);
  void RefreshList(int field);
  void UpdateListImages(int field, const ControlState& state);
  int FieldOf(HWND control) const;
  Control& control(int field) { return controls_[static_cast<std::size_t>(field - 1)]; }
  const Control& control(int field) const { return controls_[static_cast<std::size_t>(field - 1)]; }

  Win32Context& context_;
  Window& window_;
  HWND hwnd_ = nullptr;
  HWND owner_ = nullptr;  // the window below, disabled while this one is open
  HWND tooltip_ = nullptr;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  HBRUSH window_brush_ = nullptr;
  HFONT window_font_ = nullptr;
  DialogBase base_;
  std::vector<Control> controls_;
  platform::FolderWait folder_wait_;
  std::optional<ResizeLayout> layout_;  // resizable windows, once their controls exist
  SIZE min_frame_{};                    // the frame at the definition's size
  bool fitting_ = false;                // column widths set by the peer, not dragged by the user
  bool refreshing_ = false;  // changes made by Refresh are not user input
  bool destroying_ = false;
};

// The tool of the window's tooltip that shows a list cell's whole text when its column cuts it:
// the tool of the list's window with this id.
inline constexpr UINT_PTR kCellTipId = 1;

// Where a button that draws itself puts its picture and its text within `inside` (the button less
// its border), its text in `font`. The picture goes left of the text; a text too wide for the rest
// breaks at its blanks into lines, set closer together when they would not fit otherwise. When the
// text cannot fit beside the picture at all, the text is shown and the picture is left out.
struct ButtonFace {
  RECT icon{};                      // empty when the picture is left out
  RECT text{};                      // the block of text lines
  std::vector<std::wstring> lines;  // with their "&" access-key marks
  int line_height = 0;              // from the top of one line to the top of the next
};
ButtonFace LayOutButton(HFONT font, const RECT& inside, int icon_size, std::wstring_view text);

// The width a list column needs to show `chars` characters of capital letters in `font` whole,
// the list's own space around a cell's text included.
int TextColumnWidth(HFONT font, int chars);

// Loads an icon named in a definition or icon list at `size` x `size` pixels: the program's own
// resource of that name, or for a name without "~" a file of that name when it exists. nullptr
// when neither exists. The caller destroys it.
HICON LoadNamedIcon(HINSTANCE instance, std::string_view name, int size);

}  // namespace rt::win32
