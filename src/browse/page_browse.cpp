// The page-loaded list browse engine. Each routine works on the engine's state between two events
// of the procedure's loop; nothing here holds a read open across events.
#include "browse/page_browse.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "runtime/requests.h"
#include "runtime/runtime.h"

namespace browse {
namespace {

using rt::EventKind;

constexpr std::int32_t kWarnRecordRetrievalError = 35;
constexpr std::int32_t kWarnViewOpenError = 36;

using platform::FoldUpper;

int ComparePadded(const std::string& a, const std::string& b) {
  std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(i < a.size() ? a[i] : ' ');
    auto cb = static_cast<unsigned char>(i < b.size() ? b[i] : ' ');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return 0;
}

}  // namespace

bool BeginsWithFolded(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (FoldUpper(text[i]) != FoldUpper(word[i])) return false;
  return true;
}

int CompareKeys(const KeyValue& a, const KeyValue& b, bool numeric) {
  if (numeric) {
    if (a.number != b.number) return a.number < b.number ? -1 : 1;
    return a.minor < b.minor ? -1 : a.minor > b.minor ? 1 : 0;
  }
  const int major = ComparePadded(a.text, b.text);
  return major != 0 ? major : ComparePadded(a.minor_text, b.minor_text);
}

bool BrowseInstance::TypedMatches(std::string_view typed) const { return BeginsWithFolded(KeyText(), typed); }

rt::Cell PageQueue::CellAt(int row, int column) const {
  const PageRow& r = rows_[static_cast<std::size_t>(row - 1)];
  if (column < 1 || column > static_cast<int>(r.cells.size())) return {};
  return r.cells[static_cast<std::size_t>(column - 1)];
}

PageBrowse::PageBrowse(BrowseInstance& instance, rt::Window& window, int list, std::int32_t entry_request)
    : Request(entry_request), EntryRequest(entry_request), instance_(instance), file_(instance.File()),
      window_(window), list_(list) {}

void PageBrowse::OpenBrowse() {
  RowCount = 0;
  window_.Bind(list_, page_);
  for (int key : {rt::key::kMouseLeft2, rt::key::kInsert, rt::key::kDelete, rt::key::kCtrlEnter, rt::key::kF5})
    window_.AlertKey(list_, key);
}

void PageBrowse::CloseBrowse() {
  file_.CloseView();
  page_.Clear();
  RowCount = 0;
}

void PageBrowse::TakeListEvent(EventKind kind) {
  switch (kind) {
    case EventKind::NewSelection: SelectionChanged(); break;
    case EventKind::ScrollUp:
    case EventKind::ScrollDown:
    case EventKind::PageUp:
    case EventKind::PageDown:
    case EventKind::ScrollTop:
    case EventKind::ScrollBottom: OnScrollEvent(kind); break;
    case EventKind::WheelUp:
    case EventKind::WheelDown: WheelRow(kind == EventKind::WheelUp); break;
    case EventKind::AlertKey: KeyPressed(); break;
    case EventKind::ScrollDrag: ThumbDragged(); break;
    default: break;
  }
}

void PageBrowse::RowFromBuffer(PageRow& row) {
  instance_.RecordToRow(row);
  row.position = file_.Position();
}

void PageBrowse::ReadError() {
  instance_.ShowWarning(kWarnRecordRetrievalError, instance_.FileName());
  window_.Post(EventKind::CloseWindow);
}

int PageBrowse::FillPage(int count, FillDirection direction, bool add_rows) {
  const bool forward = direction == FillDirection::Forward;
  // The page's edge row in the direction of reading is the anchor: the view reads on from it, and
  // the first read may be the anchor itself, which is then skipped.
  std::string anchor;
  bool skip_anchor = RowCount > 0;
  if (skip_anchor) {
    anchor = page_.Row(forward ? RowCount : 1).position;
    file_.Reset(anchor);
  }
  while (count > 0) {
    FileStatus status = forward ? file_.Next() : file_.Previous();
    if (status == FileStatus::End) break;
    if (status != FileStatus::Ok) {
      ReadError();
      return -1;
    }
    if (skip_anchor) {
      skip_anchor = false;
      if (file_.Position() == anchor) continue;
    }
    if (add_rows) {
      // The page never grows past the list: the row at the far edge makes room.
      if (RowCount >= VisibleRows() && RowCount > 0) {
        page_.Delete(forward ? 1 : RowCount);
        --RowCount;
      }
      PageRow row;
      RowFromBuffer(row);
      if (forward)
        page_.Append(std::move(row));
      else
        page_.InsertFirst(std::move(row));
      ++RowCount;
    }
    --count;
  }
  return count;
}

void PageBrowse::ReopenView() {
  file_.CloseView();
  if (file_.SetToStart() != FileStatus::Ok) instance_.ShowWarning(kWarnViewOpenError, "");
  if (file_.OpenView() != FileStatus::Ok) instance_.ShowWarning(kWarnViewOpenError, "");
}

void PageBrowse::RefillPage(RefillMode mode) {
  // Every refill highlights a row of its page; a page kept while its highlighted record was
  // scrolled off is read from that record on.
  const std::string away = std::move(away_);
  away_.clear();
  rt::Runtime& runtime = window_.runtime();
  runtime.SetBusyCursor(true);
  // The record that stays highlighted; none when the page is built afresh.
  std::string target_position;
  if (mode == RefillMode::OnFoundRecord) {
    target_position = file_.Position();
    file_.Reset(target_position);
  } else if (!away.empty() && mode == RefillMode::KeepPage && file_.Reset(away) == FileStatus::Ok) {
    target_position = away;
  } else if (RowCount > 0) {
    int target = SelectedRow >= 1 && SelectedRow <= RowCount ? SelectedRow : RowCount;
    target_position = page_.Row(target).position;
    file_.Reset(page_.Row(1).position);  // the page is read again from its old top
  } else {
    ReopenView();
  }
  page_.Clear();
  RowCount = 0;

  const FillDirection direction = mode == RefillMode::FromEnd ? FillDirection::Backward : FillDirection::Forward;
  int missing = FillPage(VisibleRows(), direction, true);
  if (missing > 0 && !target_position.empty()) {
    // The end of the file came first: top the page up from above.
    if (RowCount == 0) ReopenView();
    missing = FillPage(missing, direction == FillDirection::Forward ? FillDirection::Backward : FillDirection::Forward,
                       true);
  }
  const bool ok = missing >= 0;

  if (RowCount > 0) {
    if (!target_position.empty()) {
      SelectedRow = RowCount;  // the target has vanished: the last row
      for (int r = 1; r <= RowCount; ++r)
        if (page_.Row(r).position == target_position) {
          SelectedRow = r;
          break;
        }
    } else {
      SelectedRow = mode == RefillMode::FromEnd ? RowCount : 1;
    }
    window_.SetSelectedRow(list_, SelectedRow);
    instance_.RowToRecord(page_.Row(SelectedRow));
    window_.Enable(instance_.ChangeButton());
    window_.Enable(instance_.DeleteButton());
  } else {
    file_.ClearBuffer();
    SelectedRow = 0;
    window_.SetSelectedRow(list_, 0);
    window_.Disable(instance_.ChangeButton());
    window_.Disable(instance_.DeleteButton());
    if (ok) instance_.EmptyPage();
  }
  runtime.SetBusyCursor(false);
}

void PageBrowse::SeekRecord(SeekMode mode) {
  file_.CloseView();
  FileStatus status = mode == SeekMode::OnPosition ? file_.SetToBufferRecord() : file_.SetToKeyValue();
  if (status != FileStatus::Ok) instance_.ShowWarning(kWarnViewOpenError, "");
  if (file_.OpenView() != FileStatus::Ok) instance_.ShowWarning(kWarnViewOpenError, "");
  page_.Clear();
  RowCount = 0;
  // Probe: is there a record at or after the key? (Read without making it a row.)
  const int missing = FillPage(1, FillDirection::Forward, false);
  if (missing < 0) return;
  RefillPage(missing == 1 ? RefillMode::FromEnd : RefillMode::OnFoundRecord);
  PostSelection();
}

void PageBrowse::StepRow(bool up) {
  if (up && SelectedRow > 1) {
    --SelectedRow;
  } else if (!up && SelectedRow < RowCount) {
    ++SelectedRow;
  } else {
    // At the edge of the page: one more record comes in there, and the highlight stays on that
    // edge row, which is now the new record.
    FillPage(1, up ? FillDirection::Backward : FillDirection::Forward, true);
  }
}

// As a list view's wheel does, the rows move and the highlight keeps its record: the page holds
// only the rows it shows, so a highlighted record that leaves it is remembered (away_), no row is
// highlighted, and the buttons still act on it; it is highlighted again when its row comes back.
void PageBrowse::WheelRow(bool up) {
  if (RowCount == 0) return;
  const std::string highlighted = away_.empty() ? page_.Row(std::clamp(SelectedRow, 1, RowCount)).position : away_;
  if (FillPage(1, up ? FillDirection::Backward : FillDirection::Forward, true) != 0) return;  // at the end
  SelectedRow = 0;
  for (int r = 1; r <= RowCount; ++r)
    if (page_.Row(r).position == highlighted) SelectedRow = r;
  away_ = SelectedRow == 0 ? highlighted : std::string();
  window_.SetSelectedRow(list_, SelectedRow);
  PostSelection();
}

// Keys and buttons act where the highlight is: a highlighted record scrolled off the page by the
// wheel is brought back onto it first, as a list view scrolls its selection into view.
void PageBrowse::BringBack() {
  if (away_.empty()) return;
  const std::string position = away_;
  away_.clear();
  if (file_.Reread(position) != FileStatus::Ok) return;  // gone: the highlight stays where the page has it
  SeekRecord(SeekMode::OnPosition);
}

void PageBrowse::StepPage(bool up) {
  const int missing = FillPage(VisibleRows(), up ? FillDirection::Backward : FillDirection::Forward, true);
  if (missing > 0) {
    SelectedRow = up ? std::max(1, SelectedRow - missing) : std::min(RowCount, SelectedRow + missing);
  }
}

void PageBrowse::JumpToEnd(bool top) {
  away_.clear();
  page_.Clear();
  RowCount = 0;
  ReopenView();
  FillPage(VisibleRows(), top ? FillDirection::Forward : FillDirection::Backward, true);
  SelectedRow = top ? (RowCount > 0 ? 1 : 0) : RowCount;
}

void PageBrowse::OnScrollEvent(EventKind kind) {
  if (RowCount == 0) return;
  if (kind != EventKind::ScrollTop && kind != EventKind::ScrollBottom) BringBack();
  switch (kind) {
    case EventKind::ScrollUp:
    case EventKind::ScrollDown: StepRow(kind == EventKind::ScrollUp); break;
    case EventKind::PageUp:
    case EventKind::PageDown: StepPage(kind == EventKind::PageUp); break;
    default: JumpToEnd(kind == EventKind::ScrollTop); break;
  }
  window_.SetSelectedRow(list_, SelectedRow);
  PostSelection();
}

void PageBrowse::PostSelection() {
  if (SelectionPosted) return;
  SelectionPosted = true;
  window_.Post(EventKind::NewSelection, list_);
}

void PageBrowse::SelectionChanged() {
  SelectionPosted = false;
  rt::Runtime& runtime = window_.runtime();
  if (window_.LastKey() == rt::key::kMouseRight) {
    const std::string popup_text = instance_.PopupText(RowCount > 0);
    // The right click is spent on this menu; a later selection must not open it again.
    runtime.SetLastKey(0, 0);
    int entry = runtime.Popup(popup_text);
    if (entry <= 0) return;
    if (!instance_.PopupAction(entry)) {
      window_.Post(EventKind::Accepted, instance_.PopupButton(entry));
      return;
    }
    ForceReset = true;
    RefreshDisplay();
    return;
  }
  if (RowCount == 0) return;
  if (!away_.empty() && window_.SelectedRow(list_) == 0) {
    // The highlighted record is off the page: it stays the one the buttons act on.
    if (file_.Reread(away_) != FileStatus::Ok) BringBack();
    return;
  }
  away_.clear();
  SelectedRow = std::clamp(window_.SelectedRow(list_), 1, RowCount);
  instance_.RowToRecord(page_.Row(SelectedRow));
  if (RowCount != VisibleRows()) {
    if (window_.ScrollBarShown(list_)) window_.ShowScrollBar(list_, false);
  } else {
    if (!window_.ScrollBarShown(list_)) window_.ShowScrollBar(list_, true);
    KeyValue key = SpreadStops ? instance_.SpreadKey() : instance_.ThumbKey();
    int t = 1;
    while (t <= 100 && CompareKeys(StopTable[static_cast<std::size_t>(t - 1)], key, instance_.NumericKey()) < 0) ++t;
    ThumbStop = static_cast<std::uint8_t>(t == 1 ? 0 : t);  // 101: past the last stop
  }
  RefreshDisplay();
}

void PageBrowse::KeyPressed() {
  int key = window_.LastKey();
  if (key != rt::key::kMouseLeft2) BringBack();
  if (RowCount == 0) {
    if (key == rt::key::kInsert) window_.Post(EventKind::Accepted, instance_.InsertButton());
    if (key == rt::key::kF5) {
      ForceReset = true;
      RefreshDisplay();
    }
    PostSelection();
    return;
  }
  switch (key) {
    case rt::key::kMouseLeft2:
      if (Request == rt::SelectRecord && instance_.SelectButton() != 0) {
        // Choosing in select mode: the select button alone acts, and it rereads the record itself.
        window_.Post(EventKind::Accepted, instance_.SelectButton());
        return;
      }
      SelectedRow = std::clamp(window_.SelectedRow(list_), 1, RowCount);
      instance_.RowToRecord(page_.Row(SelectedRow));
      instance_.DoubleClick();
      break;
    case rt::key::kInsert: window_.Post(EventKind::Accepted, instance_.InsertButton()); break;
    case rt::key::kDelete: window_.Post(EventKind::Accepted, instance_.DeleteButton()); break;
    case rt::key::kCtrlEnter: window_.Post(EventKind::Accepted, instance_.ChangeButton()); break;
    case rt::key::kF5:
      ForceReset = true;
      RefreshDisplay();
      break;
    default: {
      const char typed = static_cast<char>(window_.LastChar());
      const std::int64_t now = window_.runtime().clock().Ticks();
      const bool running = !typed_word_.empty() && now - typed_at_ <= kTypeAheadPause;
      // A blank begins nothing, but within a word it is one of its letters.
      if (typed == 0 || (typed == ' ' && !running)) break;
      typed_word_ = running ? typed_word_ + typed : std::string(1, typed);
      typed_at_ = now;
      TypeAhead();
      break;
    }
  }
  PostSelection();
}

// A word typed letter by letter goes to the first row that it begins, from the highlighted row on
// and round from the top; the same letter typed again and again walks down the rows it begins.
void PageBrowse::TypeAhead() {
  const bool one_letter = std::all_of(typed_word_.begin(), typed_word_.end(),
                                      [&](char c) { return FoldUpper(c) == FoldUpper(typed_word_[0]); });
  const std::string word = one_letter ? typed_word_.substr(0, 1) : typed_word_;
  SelectedRow = std::clamp(window_.SelectedRow(list_), 1, RowCount);
  instance_.RowToRecord(page_.Row(SelectedRow));
  if (instance_.TypedMatches(word)) {
    if (one_letter) {
      StepRow(false);
      instance_.RowToRecord(page_.Row(SelectedRow));
    }
    if (!one_letter || instance_.TypedMatches(word)) {
      window_.SetSelectedRow(list_, SelectedRow);
      return;
    }
  }
  if (FindTyped(word)) return;
  if (one_letter) {
    // Nothing answers the letter: on to the first key at or after it.
    instance_.SetKeyFromTyped(word);
    SeekRecord(SeekMode::OnValue);
  } else {
    window_.runtime().Beep();  // no row begins with the word: the highlight stays where it is
  }
}

// Shows the next record after the highlighted one (standing in the record buffer) that answers
// `word`, going round from the start of the file: through the file's index search where it has
// one, otherwise reading at most kTypeAheadReadLimit records. False when none does.
bool PageBrowse::FindTyped(const std::string& word) {
  // Of what the key's index finds and what the instance finds beside it, the nearer after the
  // highlighted record wins (going round).
  const KeyValue highlighted = instance_.SpreadKey();
  KeyValue beside;
  const bool found_beside = instance_.FindTypedBeside(word, highlighted, beside);
  auto nearer = [&](const KeyValue& a, const KeyValue& b) {
    const bool a_after = CompareKeys(a, highlighted, instance_.NumericKey()) > 0;
    const bool b_after = CompareKeys(b, highlighted, instance_.NumericKey()) > 0;
    return a_after != b_after ? a_after : CompareKeys(a, b, instance_.NumericKey()) < 0;
  };
  if (file_.FindsKeyPrefix()) {
    const FileStatus found = file_.FindKeyPrefix(word);
    if (found == FileStatus::Error) {
      ReadError();  // the window closes: nothing more to do
      return true;
    }
    if (found == FileStatus::Ok && !(found_beside && nearer(beside, instance_.SpreadKey()))) {
      SeekRecord(SeekMode::OnPosition);
      return true;
    }
    if (!found_beside) return false;
    instance_.SetKeyFromSpreadStop(beside);
    SeekRecord(SeekMode::OnValue);
    return true;
  }
  const std::string from = page_.Row(SelectedRow).position;
  file_.Reset(from);
  FileStatus status = file_.Next();  // the highlighted record itself
  bool wrapped = false;
  for (std::int32_t reads = 0; status != FileStatus::Error && reads < kTypeAheadReadLimit; ++reads) {
    status = file_.Next();
    if (status == FileStatus::End) {
      if (wrapped) break;
      wrapped = true;
      ReopenView();
      continue;
    }
    if (status != FileStatus::Ok) break;
    const bool back_at_start = wrapped && file_.Position() == from;
    if (instance_.TypedMatches(word)) {
      SeekRecord(SeekMode::OnPosition);
      return true;
    }
    if (back_at_start) break;
  }
  if (status == FileStatus::Error) {
    ReadError();
    return true;  // the window closes: nothing more to do
  }
  ReopenView();
  return false;
}

void PageBrowse::ThumbDragged() {
  int p = window_.Thumb(list_);
  if (p <= 1) {
    window_.Post(EventKind::ScrollTop, list_);
  } else if (p >= 100) {
    window_.Post(EventKind::ScrollBottom, list_);
  } else {
    const KeyValue& stop = StopTable[static_cast<std::size_t>(p - 1)];
    if (SpreadStops)
      instance_.SetKeyFromSpreadStop(stop);
    else
      instance_.SetKeyFromStop(stop);
    SeekRecord(SeekMode::OnValue);
  }
}

void PageBrowse::RefreshDisplay() {
  if (window_.InAcceptAll()) return;
  ResetOrder();
  window_.SetThumb(list_, ThumbStop);
  window_.Display();
  ForceReset = false;
}

void PageBrowse::NoticeOtherChanges() {
  if (!page_built_ || seen_counter_ < 0 || window_.InAcceptAll()) return;
  if (file_.ChangeCounter() == seen_counter_) return;
  ForceReset = true;
  RefreshDisplay();
}

void PageBrowse::ResetOrder() {
  const bool first = !page_built_;
  page_built_ = true;
  if (first || ForceReset) {
    seen_counter_ = file_.ChangeCounter();
    // A highlighted record that is gone leaves its key in the buffer: the seek below finds the next.
    if (RowCount > 0 && !Reread()) instance_.RowToRecord(page_.Row(SelectedRow));
    ReopenView();
    if (first && Request != rt::SelectRecord) {
      page_.Clear();
      RowCount = 0;
      RefillPage(RefillMode::FromStart);
      PostSelection();
    } else {
      // The page is rebuilt at the key of the record in the buffer, which RereadSelected has just
      // refreshed: the same record stays highlighted if it still exists, else the next one.
      SeekRecord(SeekMode::OnValue);
    }
    if (RowCount > 0) instance_.RowToRecord(page_.Row(SelectedRow));
    ComputeStops();
  } else if (RowCount > 0) {
    instance_.RowToRecord(page_.Row(std::clamp(SelectedRow, 1, RowCount)));
  }
}

bool PageBrowse::Reread() {
  if (RowCount == 0) return true;
  if (!away_.empty() && window_.SelectedRow(list_) == 0) {
    file_.Watch();
    return file_.Reread(away_) == FileStatus::Ok;
  }
  away_.clear();
  SelectedRow = std::clamp(window_.SelectedRow(list_), 1, RowCount);
  file_.Watch();
  return file_.Reread(page_.Row(SelectedRow).position) == FileStatus::Ok;
}

bool PageBrowse::RereadSelected() {
  if (Reread()) return true;
  ForceReset = true;
  RefreshDisplay();
  return false;
}

void PageBrowse::ComputeStops() {
  ReopenView();
  FileStatus status = file_.Previous();
  if (status == FileStatus::End) return;
  if (status != FileStatus::Ok) return ReadError();
  const KeyValue high = instance_.KeyField();
  ReopenView();
  status = file_.Next();
  if (status == FileStatus::End) return;
  if (status != FileStatus::Ok) return ReadError();
  const KeyValue low = instance_.KeyField();
  SpreadStops = ReadSpreadStops();
  if (!SpreadStops) instance_.ComputeStopTable(low, high, StopTable);
  // The view stands on the first record, as the callers expect after the stops.
  ReopenView();
  if (file_.Next() == FileStatus::Error) ReadError();
}

// Takes the stops from the whole keys at evenly spaced ranks of the key order. False (the stops
// then arithmetic) when the file holds more than SpreadStopLimit records, cannot tell how many, or
// the keys cannot be read (a file that shrank meanwhile included).
bool PageBrowse::ReadSpreadStops() {
  const std::int64_t count = file_.RecordCountUpTo(SpreadStopLimit);
  if (count < 1 || count > SpreadStopLimit) return false;
  const std::size_t stops = StopTable.size();
  std::vector<std::int64_t> ranks(stops);
  const auto last_stop = static_cast<std::int64_t>(stops - 1);
  for (std::size_t k = 0; k < stops; ++k) ranks[k] = static_cast<std::int64_t>(k) * (count - 1) / last_stop;
  std::size_t taken = 0;
  const FileStatus status = file_.ReadKeysAtRanks(ranks, [&] {
    if (taken < stops) StopTable[taken++] = instance_.SpreadKey();
  });
  return status == FileStatus::Ok && taken == stops;
}

void PageBrowse::RunUpdate() {
  file_.CloseView();
  Response = instance_.RunUpdateProcedure(Request);
  ReopenView();
}

void PageBrowse::UpdateTail(bool seek_first) {
  if (seek_first) {
    if (Response == rt::RequestCompleted) {
      SeekRecord(SeekMode::OnPosition);  // the saved record, standing in the buffer, is highlighted
    } else {
      RefillPage(RefillMode::KeepPage);
    }
  }
  ComputeStops();
  PostSelection();
  window_.Select(list_);
  Request = EntryRequest;
  Response = rt::RequestCancelled;
  RefreshDisplay();
}

void PageBrowse::InsertRow() {
  file_.ClearCurrent();
  file_.ClearBuffer();
  Request = rt::InsertRecord;
  RunUpdate();
  UpdateTail(true);
}

void PageBrowse::ChangeRow() {
  Request = rt::ChangeRecord;
  RunUpdate();
  UpdateTail(true);
}

void PageBrowse::DeleteRow() {
  Request = rt::DeleteRecord;
  RunUpdate();
  if (Response == rt::RequestCompleted && SelectedRow >= 1 && SelectedRow <= RowCount) {
    page_.Delete(SelectedRow);
    --RowCount;
  }
  RefillPage(RefillMode::KeepPage);
  UpdateTail(false);
}

}  // namespace browse
