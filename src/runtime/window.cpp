// The window model: control state, bindings, the event queue and the accept-all pass.
#include "runtime/window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/picture.h"
#include "runtime/runtime.h"

namespace rt {

Window::Window(Runtime& runtime, const WindowDef& definition, std::optional<WindowPlacement> placement)
    : runtime_(runtime), def_(definition), controls_(definition.controls.size()),
      bindings_(definition.controls.size()), title_(definition.title ? definition.title : ""),
      initial_placement_(definition.resizable ? placement : std::nullopt) {
  for (int field = 1; field <= def_.ControlCount(); ++field) {
    const ControlDef& c = def_.control(field);
    ControlState& s = mutable_state(field);
    s.text = c.text;
    s.enabled = !(c.flags & kDisabled);
    s.hidden = (c.flags & kHidden) != 0;
    s.scrollbar = (c.flags & kVScroll) != 0;
    if (c.kind == ControlKind::List && c.format) {
      if (auto columns = ParseListFormat(c.format)) s.columns = std::move(*columns);
    }
  }
  // Columns as the user left them: all of them, or none when the format has changed since.
  if (const int list = FirstList(); list != 0 && initial_placement_ &&
                                    initial_placement_->columns.size() == state(list).columns.size())
    for (std::size_t i = 0; i < initial_placement_->columns.size(); ++i)
      mutable_state(list).columns[i].width = initial_placement_->columns[i];
  timer_ = def_.timer;
  runtime_.Push(this);
  peer_ = runtime_.backend().CreatePeer(*this);
  Queue({EventKind::OpenWindow, 0});
}

Window::~Window() { Close(); }

std::size_t Window::Index(int field) const {
  // Field numbers come from the definition's own constants; a wrong one is a programming error
  // that must not write outside the table.
  if (field < 1 || field > static_cast<int>(controls_.size())) std::abort();
  return static_cast<std::size_t>(field - 1);
}

void Window::Close() {
  if (closed_) return;
  closed_ = true;
  accept_all_ = false;
  queue_.clear();
  pending_keys_.clear();
  if (peer_) last_placement_ = peer_->Placement();
  peer_.reset();
  runtime_.Remove(this);
}

bool Window::Accept() {
  if (closed_) return false;
  if (close_delivered_) {
    Close();
    return false;
  }
  while (queue_.empty()) {
    if (accept_all_ && NextAcceptAll()) return true;
    if (!pending_keys_.empty()) {
      PendingKey k = pending_keys_.front();
      pending_keys_.pop_front();
      UserKey(k.field, k.key_code);
      continue;
    }
    runtime_.backend().WaitForInput(*this);
    if (closed_) return false;
  }
  event_ = queue_.front();
  queue_.pop_front();
  if (event_.kind == EventKind::CloseWindow || event_.kind == EventKind::CloseDown)
    close_delivered_ = true;
  return true;
}

bool Window::NextAcceptAll() {
  while (accept_all_next_ <= def_.ControlCount()) {
    int field = accept_all_next_++;
    if (!IsInputControl(field)) continue;
    // Shown text is not always the exact value (a two-digit year, a cut text): only what the user
    // changed is read back, so an untouched field cannot drift when the form is confirmed.
    bool edited = def_.control(field).kind == ControlKind::Check || state(field).text != Shown(field);
    if (edited && !Store(field, state(field).text)) {
      accept_all_ = false;
      event_ = {EventKind::Rejected, field};
      return true;
    }
    event_ = {EventKind::Accepted, field};
    return true;
  }
  accept_all_ = false;
  event_ = {EventKind::Completed, 0};
  return true;
}

bool Window::IsInputControl(int field) const {
  const ControlDef& c = def_.control(field);
  const ControlState& s = state(field);
  if (s.hidden || !s.enabled) return false;
  switch (c.kind) {
    case ControlKind::Entry: return !(c.flags & kReadOnly);
    case ControlKind::Spin: return true;
    case ControlKind::Check: return !(c.flags & kReadOnly);
    default: return false;
  }
}

void Window::AcceptAll() {
  accept_all_ = true;
  accept_all_next_ = 1;
}

void Window::Queue(Event e) {
  if (!closed_) queue_.push_back(e);
}

void Window::Post(EventKind kind, int field) { Queue({kind, field}); }

void Window::DiscardInputExceptClose() {
  std::erase_if(queue_, [](const Event& e) {
    return e.kind != EventKind::CloseWindow && e.kind != EventKind::CloseDown;
  });
  pending_keys_.clear();
}

void Window::SetTitle(std::string title) {
  title_ = std::move(title);
  if (peer_) peer_->TitleChanged();
}

void Window::SetTimerPeriod(int hundredths) {
  timer_ = hundredths > 0 ? hundredths : 0;
  if (peer_) peer_->SetTimer(timer_);
}

void Window::Select(int field) {
  accept_all_ = false;
  focus_ = field;
  if (peer_) peer_->Focus(field);
}

void Window::Refresh(int field) {
  if (peer_) peer_->Refresh(field);
}

void Window::BindRaw(int field, Binding binding) {
  bindings_[Index(field)] = binding;
  Display(field);
}

void Window::Bind(int field, const ListSource& rows) {
  bindings_[Index(field)] = {Binding::Type::List, nullptr, 0};
  mutable_state(field).source = &rows;
  Display(field);
}

std::string Window::Shown(int field) const {
  const Binding& b = bindings_[Index(field)];
  const char* picture = def_.control(field).picture;
  std::string_view pic = picture ? picture : "";
  std::int64_t number = 0;
  switch (b.type) {
    case Binding::Type::Text:
      return FormatText(pic, std::string_view(static_cast<const char*>(b.target), b.size));
    case Binding::Type::Byte: number = *static_cast<const std::uint8_t*>(b.target); break;
    case Binding::Type::Short: number = *static_cast<const std::int16_t*>(b.target); break;
    case Binding::Type::UShort: number = *static_cast<const std::uint16_t*>(b.target); break;
    case Binding::Type::Long: number = *static_cast<const std::int32_t*>(b.target); break;
    default: return state(field).text;
  }
  return FormatNumber(pic.empty() ? "@n" : pic, number);
}

bool Window::Store(int field, const std::string& text) {
  const Binding& b = bindings_[Index(field)];
  const ControlDef& c = def_.control(field);
  std::string_view pic = c.picture ? c.picture : "";
  if (c.kind == ControlKind::Check) {
    std::int64_t v = state(field).checked ? 1 : 0;
    if (b.type == Binding::Type::Byte) *static_cast<std::uint8_t*>(b.target) = static_cast<std::uint8_t>(v);
    else if (b.type == Binding::Type::Short) *static_cast<std::int16_t*>(b.target) = static_cast<std::int16_t>(v);
    else if (b.type == Binding::Type::Long) *static_cast<std::int32_t*>(b.target) = static_cast<std::int32_t>(v);
    return true;
  }
  if (b.type == Binding::Type::Text) {
    std::string shown = FormatText(pic, text);
    char* target = static_cast<char*>(b.target);
    std::size_t n = std::min(shown.size(), b.size);
    std::memcpy(target, shown.data(), n);
    std::memset(target + n, ' ', b.size - n);
    return true;
  }
  if (b.type == Binding::Type::None || b.type == Binding::Type::List) return true;
  auto value = ParseNumber(pic.empty() ? "@n9" : pic, text);
  if (!value) return false;
  if (c.kind == ControlKind::Spin && (*value < c.range_low || *value > c.range_high)) return false;
  switch (b.type) {
    case Binding::Type::Byte:
      if (*value < 0 || *value > 255) return false;
      *static_cast<std::uint8_t*>(b.target) = static_cast<std::uint8_t>(*value);
      break;
    case Binding::Type::Short:
      if (*value < -32768 || *value > 32767) return false;
      *static_cast<std::int16_t*>(b.target) = static_cast<std::int16_t>(*value);
      break;
    case Binding::Type::UShort:
      if (*value < 0 || *value > 65535) return false;
      *static_cast<std::uint16_t*>(b.target) = static_cast<std::uint16_t>(*value);
      break;
    default:
      *static_cast<std::int32_t*>(b.target) = static_cast<std::int32_t>(*value);
      break;
  }
  return true;
}

void Window::Display(int field) {
  if (field == 0) {
    for (int f = 1; f <= def_.ControlCount(); ++f) Display(f);
    return;
  }
  const Binding& b = bindings_[Index(field)];
  ControlState& s = mutable_state(field);
  if (b.type != Binding::Type::None && b.type != Binding::Type::List) {
    if (def_.control(field).kind == ControlKind::Check) {
      s.checked = Shown(field) != "0";
    } else {
      s.text = Shown(field);
    }
  }
  if (s.source && s.selected > s.source->RowCount()) s.selected = s.source->RowCount();
  Refresh(field);
}

void Window::Enable(int field, bool on) {
  mutable_state(field).enabled = on;
  Refresh(field);
}

void Window::Hide(int field, bool hidden) {
  mutable_state(field).hidden = hidden;
  Refresh(field);
}

void Window::SetText(int field, std::string text) {
  mutable_state(field).text = std::move(text);
  Refresh(field);
}

int Window::LastKey() const { return runtime_.LastKey(); }
int Window::LastChar() const { return runtime_.LastChar(); }
void Window::SetLastKey(int key_code) { runtime_.SetLastKey(key_code, 0); }

int Window::VisibleRows(int field) { return peer_ ? peer_->VisibleRows(field) : 0; }

void Window::SetSelectedRow(int field, int row) {
  mutable_state(field).selected = row;
  Refresh(field);
}

void Window::SetThumb(int field, int position) {
  mutable_state(field).thumb = std::max(0, position);
  Refresh(field);
}

void Window::ShowScrollBar(int field, bool shown) {
  mutable_state(field).scrollbar = shown;
  Refresh(field);
}

void Window::SetIcon(int field, int number, const char* icon) {
  auto& icons = mutable_state(field).icons;
  if (number < 1) return;
  if (icons.size() < static_cast<std::size_t>(number)) icons.resize(static_cast<std::size_t>(number));
  icons[static_cast<std::size_t>(number - 1)] = icon ? icon : "";
  Refresh(field);
}

void Window::AlertKey(int field, int key_code) {
  auto& alerted = mutable_state(field).alerted;
  if (std::find(alerted.begin(), alerted.end(), key_code) == alerted.end()) alerted.push_back(key_code);
}

// --- Input from the backend -----------------------------------------------------------------

void Window::UserPress(int field) {
  const ControlState& s = state(field);
  if (s.hidden || !s.enabled) return;
  focus_ = field;
  Queue({EventKind::Accepted, field});
  if (def_.control(field).flags & kStdClose) Queue({EventKind::CloseWindow, 0});
}

void Window::UserText(int field, std::string text) {
  const ControlDef& c = def_.control(field);
  if ((c.kind == ControlKind::Entry && (c.flags & kReadOnly)) ||
      (c.kind == ControlKind::Spin && (c.flags & kNoTyping)))
    return;
  focus_ = field;
  mutable_state(field).text = text;
  if (Store(field, text)) {
    Display(field);
    Queue({EventKind::Accepted, field});
  } else {
    Refresh(field);
    Queue({EventKind::Rejected, field});
  }
}

void Window::UserCheck(int field, bool checked) {
  if (!state(field).enabled || (def_.control(field).flags & kReadOnly)) {
    Refresh(field);  // the box goes back to what it shows
    return;
  }
  focus_ = field;
  mutable_state(field).checked = checked;
  Store(field, "");
  Refresh(field);
  Queue({EventKind::Accepted, field});
}

void Window::UserSpin(int field, int direction) {
  const ControlDef& c = def_.control(field);
  if (!state(field).enabled) return;
  focus_ = field;
  auto value = ParseNumber(c.picture ? c.picture : "@n9", state(field).text).value_or(c.range_low);
  value = std::clamp<std::int64_t>(value + direction * c.step, c.range_low, c.range_high);
  if (Store(field, std::to_string(value))) Display(field);
  else SetText(field, std::to_string(value));
  Queue({EventKind::NewSelection, field});
}

void Window::UserSelectRow(int field, int row, int key_code) {
  ControlState& s = mutable_state(field);
  int rows = s.source ? s.source->RowCount() : 0;
  runtime_.SetLastKey(key_code, 0);
  focus_ = field;
  if (row >= 1 && row <= rows) s.selected = row;
  Refresh(field);
  Queue({EventKind::NewSelection, field});
}

void Window::UserKey(int field, int key_code, int character) {
  runtime_.SetLastKey(key_code, character);
  const ControlDef& c = def_.control(field);
  if (key_code == key::kEsc) {
    const auto& alerted = state(field).alerted;
    bool taken = c.kind == ControlKind::List && std::find(alerted.begin(), alerted.end(), key_code) != alerted.end();
    if (!taken) {
      UserEscape();
      return;
    }
  }
  if (c.kind == ControlKind::Button) {
    if (key_code == key::kEnter || key_code == ' ') UserPress(field);
    return;
  }
  if (c.kind != ControlKind::List) return;
  ControlState& s = mutable_state(field);
  // Alerted keys, and any character typed into the list (its type-ahead), go to the procedure.
  if (std::find(s.alerted.begin(), s.alerted.end(), key_code) != s.alerted.end() || character != 0) {
    Queue({EventKind::AlertKey, field});
    return;
  }
  int rows = s.source ? s.source->RowCount() : 0;
  switch (key_code) {
    case key::kUp:
      if (s.selected > 1) {
        --s.selected;
        Refresh(field);
        Queue({EventKind::NewSelection, field});
      } else {
        Queue({EventKind::ScrollUp, field});
      }
      break;
    case key::kDown:
      if (s.selected < rows) {
        ++s.selected;
        Refresh(field);
        Queue({EventKind::NewSelection, field});
      } else {
        Queue({EventKind::ScrollDown, field});
      }
      break;
    case key::kPgUp: Queue({EventKind::PageUp, field}); break;
    case key::kPgDn: Queue({EventKind::PageDown, field}); break;
    case key::kCtrlHome: Queue({EventKind::ScrollTop, field}); break;
    case key::kCtrlEnd: Queue({EventKind::ScrollBottom, field}); break;
    case key::kEnter:
      for (int f = 1; f <= def_.ControlCount(); ++f)
        if (def_.control(f).flags & kDefaultButton) UserPress(f);
      break;
    default:
      break;
  }
}

void Window::UserThumb(int field, int position) {
  mutable_state(field).thumb = std::clamp(position, 0, 100);
  Queue({EventKind::ScrollDrag, field});
}

void Window::UserClose() { Queue({EventKind::CloseWindow, 0}); }

void Window::UserEscape() {
  for (int field = 1; field <= def_.ControlCount(); ++field) {
    if (!(def_.control(field).flags & kCancelButton)) continue;
    const ControlState& s = state(field);
    if (s.hidden || !s.enabled) UserClose();
    else UserPress(field);
    return;
  }
  // No cancel button: the window's procedure is told of the key itself (a running batch asks
  // whether to stop).
  runtime_.SetLastKey(key::kEsc, 0);
  Queue({EventKind::AlertKey, 0});
}

void Window::UserActivated() { Queue({EventKind::GainFocus, 0}); }

bool Window::WatchDirectory(const std::string& path) { return peer_ && peer_->WatchDirectory(path); }

void Window::DirectoryChanged() { QueueOnce(EventKind::DirectoryChanged); }

void Window::Notify() { QueueOnce(EventKind::Notified); }

void Window::QueueOnce(EventKind kind) {
  for (const Event& e : queue_)
    if (e.kind == kind) return;
  Queue({kind, 0});
}

WindowPlacement Window::Placement() const {
  WindowPlacement placement = peer_ ? peer_->Placement() : last_placement_;
  if (const int list = FirstList(); list != 0)
    for (const ColumnFormat& column : state(list).columns) placement.columns.push_back(column.width);
  return placement;
}

int Window::FirstList() const {
  for (int field = 1; field <= def_.ControlCount(); ++field)
    if (def_.control(field).kind == ControlKind::List) return field;
  return 0;
}

void Window::UserWheel(int field, int lines) {
  const ControlState& s = state(field);
  if (def_.control(field).kind != ControlKind::List || !s.enabled || !s.source || s.source->RowCount() == 0) return;
  runtime_.SetLastKey(0, 0);
  focus_ = field;
  for (int i = 0; i < std::abs(lines); ++i) Queue({lines > 0 ? EventKind::WheelUp : EventKind::WheelDown, field});
}

void Window::UserColumnWidth(int field, int column, int width) {
  std::vector<ColumnFormat>& columns = mutable_state(field).columns;
  if (column >= 1 && column <= static_cast<int>(columns.size()) && width > 0)
    columns[static_cast<std::size_t>(column - 1)].width = width;
}

void Window::UserResized() {
  for (const Event& e : queue_)
    if (e.kind == EventKind::Sized) return;
  Queue({EventKind::Sized, 0});
}

void Window::TimerTick() {
  // A slow procedure must not find a pile of timer events when it comes back: one is enough.
  for (const Event& e : queue_)
    if (e.kind == EventKind::Timer) return;
  Queue({EventKind::Timer, 0});
}

}  // namespace rt
