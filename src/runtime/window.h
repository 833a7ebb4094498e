// The window model: one open window created from its definition, the state of its controls, the
// variables bound to them, and its FIFO event queue. Procedures drive it with Accept(), Post(),
// Select(), Display() and the property calls; backends feed user input into it with the User*()
// calls and render its control state. Portable: it knows no platform.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/backend.h"
#include "runtime/definition.h"
#include "runtime/event.h"
#include "platform/fixed_string.h"
#include "runtime/list_format.h"
#include "runtime/resize_layout.h"

namespace rt {

class Runtime;

// One cell of a list row: text, or a number shown through the column's picture. A cell of an icon
// column other than the row's own shows its own icon (0 = none); a tip, when there is one, is
// shown over the cell whether or not the column cuts its text.
struct Cell {
  std::string text;
  std::int64_t number = 0;
  bool is_number = false;
  int icon = 0;
  std::string tip;
};

// What a list control shows: the rows of a page, 1-based, and each row's icon (0 = none).
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual int RowCount() const = 0;
  virtual Cell CellAt(int row, int column) const = 0;
  virtual int IconAt(int /*row*/) const { return 0; }
};

// A variable bound to a control. The window writes user input into it and Display() shows it.
struct Binding {
  enum class Type { None, Text, Byte, Short, UShort, Long, List };
  Type type = Type::None;
  void* target = nullptr;
  std::size_t size = 0;  // Text: width in bytes
};

// Displayed state of one control.
struct ControlState {
  std::string text;  // caption, or the displayed value of an entry, spin box or prompt
  bool checked = false;
  bool enabled = true;
  bool hidden = false;
  // List controls.
  int selected = 0;  // 1-based highlighted row, 0 = none
  int thumb = 0;     // 0..100; above 100 shows at the bottom
  bool scrollbar = true;
  std::vector<std::string> icons;  // icon list: entry i-1 is icon number i
  std::vector<int> alerted;        // alerted key codes
  std::vector<ColumnFormat> columns;
  const ListSource* source = nullptr;
};

class Window {
 public:
  // Opens the window: creates its rendering, stacks it on top of the runtime's windows (it takes all
  // input until it closes) and queues the OpenWindow event. A resizable window opens at `placement`
  // when one is given (made to fit the screen), else at its definition's size.
  Window(Runtime& runtime, const WindowDef& definition, std::optional<WindowPlacement> placement = std::nullopt);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const WindowDef& definition() const { return def_; }
  Runtime& runtime() { return runtime_; }
  // The title bar's text: the definition's title until a procedure sets another.
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title);

  // --- Procedure side -------------------------------------------------------------------------
  // Takes the next event into event(); false once the window has closed (after its CloseWindow
  // event was delivered, or Close() was called).
  bool Accept();
  const Event& event() const { return event_; }
  EventKind Kind() const { return event_.kind; }
  int Field() const { return event_.field; }

  void Post(EventKind kind, int field = 0);
  // Drops the events queued so far (what the user did while the program could not answer), except
  // a request to close the window, which is kept.
  void DiscardInputExceptClose();
  // Gives control `field` the focus. During the accept-all pass this ends the pass.
  void Select(int field);
  int FocusField() const { return focus_; }
  // Shows bound values in their controls; 0 = every control.
  void Display(int field = 0);
  void Enable(int field, bool on = true);
  void Disable(int field) { Enable(field, false); }
  void Hide(int field, bool hidden = true);
  void Unhide(int field) { Hide(field, false); }
  void SetText(int field, std::string text);
  // Closes the window now; Accept() returns false from then on.
  void Close();
  // Where the window stands and how large it is (in the backend's units), to keep for the next
  // run; after the window closed, as it was when it closed.
  WindowPlacement Placement() const;
  // The placement the window was asked to open at, for its peer.
  const std::optional<WindowPlacement>& initial_placement() const { return initial_placement_; }
  // Refuses the close request just taken (CloseWindow or CloseDown): the window stays open.
  void KeepOpen() { close_delivered_ = false; }
  bool IsClosed() const { return closed_; }

  // The window's timer: a Timer event every `hundredths` (the definition's period when the window
  // opens); 0 stops it.
  int TimerPeriod() const { return timer_; }
  void SetTimerPeriod(int hundredths);
  // Watches folder `path` for changes to its files: each queues a DirectoryChanged event (one at a
  // time, like the timer's). "" stops. False when the platform cannot watch it.
  bool WatchDirectory(const std::string& path);

  // The accept-all pass: every input control in turn is accepted (delivered as an Accepted event;
  // a text edited since it was last shown is read back through its picture first, while one the
  // user left alone keeps its variable's exact value); when none rejected, Completed follows.
  void AcceptAll();
  bool InAcceptAll() const { return accept_all_; }

  // Bindings; each writes the variable's value into the control at once.
  template <std::size_t N>
  void Bind(int field, platform::FixedString<N>& text) {
    BindRaw(field, {Binding::Type::Text, text.data, N});
  }
  void Bind(int field, std::uint8_t& value) { BindRaw(field, {Binding::Type::Byte, &value, 1}); }
  void Bind(int field, std::int16_t& value) { BindRaw(field, {Binding::Type::Short, &value, 2}); }
  void Bind(int field, std::uint16_t& value) { BindRaw(field, {Binding::Type::UShort, &value, 2}); }
  void Bind(int field, std::int32_t& value) { BindRaw(field, {Binding::Type::Long, &value, 4}); }
  void Bind(int field, const ListSource& rows);

  // List properties.
  int VisibleRows(int field);
  int SelectedRow(int field) const { return state(field).selected; }
  void SetSelectedRow(int field, int row);
  int Thumb(int field) const { return state(field).thumb; }
  void SetThumb(int field, int position);
  bool ScrollBarShown(int field) const { return state(field).scrollbar; }
  void ShowScrollBar(int field, bool shown);
  void SetIcon(int field, int number, const char* icon);
  void AlertKey(int field, int key_code);

  // The key that caused the latest event, and the character it produced (0 when none). Kept by
  // the runtime for the whole process, so a called procedure sees the key its caller saw.
  int LastKey() const;
  int LastChar() const;
  void SetLastKey(int key_code);
  // Feeds a key press to control `field` as if the user had pressed it (a list moves its
  // highlight). Like a key typed ahead, it is taken once the events already queued are served.
  void PressKey(int field, int key_code) { pending_keys_.push_back({field, key_code}); }

  // --- Backend side ---------------------------------------------------------------------------
  const ControlState& state(int field) const { return controls_[Index(field)]; }
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  bool HasEvents() const { return !queue_.empty(); }

  // A button was pressed (mouse, access key, its key, Enter on the default button).
  void UserPress(int field);
  // The user changed the text of an entry (or typed into a spin box) and left it.
  void UserText(int field, std::string text);
  void UserCheck(int field, bool checked);
  // A spin box's arrow: +1 up, -1 down, by the control's step within its range.
  void UserSpin(int field, int direction);
  // A list's highlight was moved to `row` by `key_code` (kMouseLeft, kMouseRight, kUp, ...).
  void UserSelectRow(int field, int row, int key_code);
  // A key went to control `field`; `character` is what it produced (0 when none).
  void UserKey(int field, int key_code, int character = 0);
  // The list's scroll thumb was dragged to `position` (0..100).
  void UserThumb(int field, int position);
  // The mouse wheel over list `field` turned `lines` lines, towards the top when positive.
  void UserWheel(int field, int lines);
  // The user made column `column` (from 1) of list `field` `width` dialog units wide.
  void UserColumnWidth(int field, int column, int width);
  // The window's close box.
  void UserClose();
  // Esc, when no control takes it itself: the window's cancel button (kCancelButton) is pressed,
  // or, while that button is hidden or disabled, the window closes as with the close box. A
  // window without a cancel button gets an AlertKey event for field 0, with Esc as the last key.
  void UserEscape();
  void UserFocus(int field) { focus_ = field; }
  // The window became the active one again.
  void UserActivated();
  void TimerTick();
  // The user resized the window and its list now shows another number of rows: a Sized event,
  // one at a time like the timer's.
  void UserResized();
  // A file of the watched folder changed.
  void DirectoryChanged();
  // News for the procedure from outside the window (an answer it waits for came in): a Notified
  // event, one at a time like the timer's. Safe to call from within the backend's message serving.
  void Notify();

 private:
  std::size_t Index(int field) const;
  // Queues `kind` for field 0 unless one is queued already.
  void QueueOnce(EventKind kind);
  // The field number of the window's first list, or 0.
  int FirstList() const;
  ControlState& mutable_state(int field) { return controls_[Index(field)]; }
  void BindRaw(int field, Binding binding);
  void Refresh(int field);
  // Writes `text` through the control's picture into its bound variable; false when it does not fit.
  bool Store(int field, const std::string& text);
  std::string Shown(int field) const;
  bool IsInputControl(int field) const;
  void Queue(Event e);
  bool NextAcceptAll();

  Runtime& runtime_;
  const WindowDef& def_;
  std::vector<ControlState> controls_;
  std::vector<Binding> bindings_;
  std::deque<Event> queue_;
  struct PendingKey {
    int field;
    int key_code;
  };
  std::deque<PendingKey> pending_keys_;
  Event event_;
  std::string title_;
  std::unique_ptr<WindowPeer> peer_;
  std::optional<WindowPlacement> initial_placement_;
  WindowPlacement last_placement_;
  int focus_ = 0;
  int timer_ = 0;
  bool close_delivered_ = false;
  bool closed_ = false;
  bool accept_all_ = false;
  int accept_all_next_ = 0;
};

}  // namespace rt
