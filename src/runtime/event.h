// Events that a window delivers to its procedure through Accept(), and the key codes the runtime
// reports as the last key. Shared by the window model, both backends and every procedure.
#pragma once

namespace rt {

enum class EventKind {
  None,
  // Window events (field 0).
  OpenWindow,
  GainFocus,
  Timer,
  DirectoryChanged,  // a file in the folder the window watches was made, renamed, deleted or written
  Notified,  // something outside the window that its procedure listens to has news (Window::Notify)
  Sized,  // the window's size changed the number of rows its list shows
  Completed,
  CloseWindow,
  CloseDown,
  // Field events.
  Accepted,
  Rejected,
  NewSelection,
  ScrollUp,
  ScrollDown,
  PageUp,
  PageDown,
  ScrollTop,
  ScrollBottom,
  // The wheel turned a line: the rows move by one and the highlight keeps its record.
  WheelUp,
  WheelDown,
  ScrollDrag,
  AlertKey,
};

const char* EventName(EventKind kind);

struct Event {
  EventKind kind = EventKind::None;
  int field = 0;
  bool operator==(const Event&) const = default;
};

// Key codes. Printable characters are their own 8-bit code (what the key produces); the rest are
// above 0xFF so that they never meet a character.
namespace key {
inline constexpr int kMouseLeft = 0x101;
inline constexpr int kMouseRight = 0x102;
inline constexpr int kMouseLeft2 = 0x105;  // double click
inline constexpr int kEnter = 0x10D;
inline constexpr int kEsc = 0x11B;
inline constexpr int kPgUp = 0x121;
inline constexpr int kPgDn = 0x122;
inline constexpr int kEnd = 0x123;
inline constexpr int kHome = 0x124;
inline constexpr int kUp = 0x126;
inline constexpr int kDown = 0x128;
inline constexpr int kInsert = 0x12D;
inline constexpr int kDelete = 0x12E;
inline constexpr int kF5 = 0x174;
inline constexpr int kCtrlEnter = 0x20D;
inline constexpr int kCtrlEnd = 0x223;
inline constexpr int kCtrlHome = 0x224;
inline constexpr bool IsCharacter(int code) { return code > 0 && code <= 0xFF; }
}  // namespace key

}  // namespace rt
