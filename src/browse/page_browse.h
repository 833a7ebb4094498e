// The page-loaded list browse: shows a keyed record file in a list control one page at a time,
// reading further records from the store as the user scrolls, and rebuilding the page around the
// highlighted record whenever the file may have changed. One engine; each list (the application
// list, the activity log) supplies what is particular to it through BrowseInstance.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/requests.h"
#include "runtime/window.h"

namespace browse {

// What an operation of the browsed file came to: done; no (further) record, at either end of the
// key order or because the record asked for is gone; or a failure that the list reports.
enum class FileStatus { Ok, End, Error };

// The browsed file, read through a view in key order. Every operation works on the file's one
// record buffer.
class BrowseFile {
 public:
  virtual ~BrowseFile() = default;
  virtual FileStatus OpenView() = 0;
  virtual void CloseView() = 0;
  // The next forward read returns the first record, the next backward read the last.
  virtual FileStatus SetToStart() = 0;
  // The next forward read returns the first record whose key is at or after the key value standing
  // in the record buffer.
  virtual FileStatus SetToKeyValue() = 0;
  // The next forward read returns exactly the record standing in the record buffer.
  virtual FileStatus SetToBufferRecord() = 0;
  virtual FileStatus Next() = 0;
  virtual FileStatus Previous() = 0;
  // The view position of the record last read (at most 512 characters).
  virtual std::string Position() = 0;
  // The next read in either direction returns the record at `position`.
  virtual FileStatus Reset(const std::string& position) = 0;
  // Reads the record at `position` into the record buffer.
  virtual FileStatus Reread(const std::string& position) = 0;
  // Arms the change guard for the next read, so an update can tell another station's change.
  virtual void Watch() = 0;
  // No record is current until the next read (before an insert).
  virtual void ClearCurrent() = 0;
  virtual void ClearBuffer() = 0;
  // A number that changes when another station or program has changed the file; -1 when the file
  // cannot tell.
  virtual std::int64_t ChangeCounter() { return -1; }
  // How many records the file holds when that is at most `limit`; past it, any number above
  // `limit`; -1 when the file cannot tell.
  virtual std::int64_t RecordCountUpTo(std::int64_t /*limit*/) { return -1; }
  // Type-ahead through the file's key index, where it has one that serves it: puts into the record
  // buffer, as the current record, the first record in key order after the key value standing in
  // the buffer whose key begins with `prefix` in one of its text parts, without regard to case,
  // going round to the first record; End when none does. Other files are read record by record.
  virtual bool FindsKeyPrefix() { return false; }
  virtual FileStatus FindKeyPrefix(const std::string& /*prefix*/) { return FileStatus::Error; }
  // Puts the keys of the records at `ranks` of the key order (0 the first; ascending) into the
  // record buffer one at a time, calling `each` for every one; End when the file holds fewer
  // records than the ranks ask for. A file that cannot read keys by rank answers Error.
  virtual FileStatus ReadKeysAtRanks(const std::vector<std::int64_t>& /*ranks*/,
                                     const std::function<void()>& /*each*/) {
    return FileStatus::Error;
  }
};

// A key value as the thumb and the type-ahead use it: text for a string key, a number otherwise.
struct KeyValue {
  std::string text;
  std::int64_t number = 0;
  // A numeric key's second component (the time beside a date); 0 where a stop names none.
  std::int64_t minor = 0;
  // A text key's second component (the application beside its path), where a stop names one.
  std::string minor_text;
};

// Up to this many records, the thumb's stops are the keys of the records themselves (one at each
// percentile of the key order), so that every part of the list can be reached however the keys
// cluster; beyond it, the stops are spread arithmetically between the first and the last key. The
// keys come from one pass over the file's key index: some 0.1 to 0.2 microseconds a record, so a
// file at the limit adds about 20 ms to every rebuild of the page (bench/browse, BM_FirstPage).
inline constexpr std::int32_t kSpreadStopLimit = 100000;
// Type-ahead over a file without an index search for it reads records one at a time looking for a
// match: it gives up after this many.
inline constexpr std::int32_t kTypeAheadReadLimit = 2000;
// Characters typed within this many hundredths of a second of the one before make one word.
inline constexpr std::int64_t kTypeAheadPause = 100;

// One row of the page: the cells the list shows, its icon, and the record's view position; and,
// where the cells show other texts than the record holds (long names), the record's own.
struct PageRow {
  std::vector<rt::Cell> cells;
  int icon = 0;
  std::string position;
  std::vector<std::string> stored;
};

// The page: at most a visible list's worth of rows, in key order; the list control's data.
class PageQueue final : public rt::ListSource {
 public:
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  rt::Cell CellAt(int row, int column) const override;
  int IconAt(int row) const override { return rows_[static_cast<std::size_t>(row - 1)].icon; }

  PageRow& Row(int row) { return rows_[static_cast<std::size_t>(row - 1)]; }
  void Append(PageRow row) { rows_.push_back(std::move(row)); }
  void InsertFirst(PageRow row) { rows_.insert(rows_.begin(), std::move(row)); }
  void Delete(int row) { rows_.erase(rows_.begin() + (row - 1)); }
  void Clear() { rows_.clear(); }

 private:
  std::vector<PageRow> rows_;
};

// What one list makes of the engine.
class BrowseInstance {
 public:
  virtual ~BrowseInstance() = default;
  virtual BrowseFile& File() = 0;
  // The file's name in messages ("Apps", "TempFile").
  virtual std::string FileName() const = 0;

  // Copy between the record buffer and one row (the engine sets the row's position itself).
  virtual void RecordToRow(PageRow& row) = 0;
  virtual void RowToRecord(const PageRow& row) = 0;

  // The key field of the record buffer: as stored (for the stops' low and high values), and as the
  // thumb compares it with the stops.
  virtual KeyValue KeyField() const = 0;
  virtual KeyValue ThumbKey() const = 0;
  virtual bool NumericKey() const = 0;
  // Fills the 100 stops from the first and last key values.
  virtual void ComputeStopTable(const KeyValue& low, const KeyValue& high,
                                std::array<KeyValue, 100>& stops) = 0;
  // Puts a stop into the key field of the record buffer; the other key component keeps its value.
  virtual void SetKeyFromStop(const KeyValue& stop) = 0;
  // Stops taken from the records: the key as such a stop holds it (compared with the stops as the
  // thumb key is), and putting such a stop into the record buffer, every key component set.
  virtual KeyValue SpreadKey() const { return ThumbKey(); }
  virtual void SetKeyFromSpreadStop(const KeyValue& stop) { SetKeyFromStop(stop); }
  // Type-ahead: the key field as text, and setting the key field to a typed word (its second
  // component cleared).
  virtual std::string KeyText() const = 0;
  virtual void SetKeyFromTyped(const std::string& typed) = 0;
  // Whether the record in the buffer answers a typed word: by default, when its key field begins
  // with it, without regard to case.
  virtual bool TypedMatches(std::string_view typed) const;
  // Type-ahead over texts that the file's key does not hold (the application list's long names):
  // the key (as SpreadKey gives it) of the first record after `from` in key order, going round,
  // one of whose other texts begins with `typed`; false when none does or the instance has none.
  virtual bool FindTypedBeside(std::string_view /*typed*/, const KeyValue& /*from*/, KeyValue& /*found*/) {
    return false;
  }

  virtual std::string PopupText(bool has_rows) const = 0;
  // The button a popup entry posts its accepted event to.
  virtual int PopupButton(int entry) const = 0;
  // An entry the instance carries out itself (true), after which the page is rebuilt.
  virtual bool PopupAction(int /*entry*/) { return false; }
  virtual int InsertButton() const = 0;
  virtual int ChangeButton() const = 0;  // change or view
  virtual int DeleteButton() const = 0;
  // The select button, which a double click presses in select mode; 0 when the list has none.
  virtual int SelectButton() const { return 0; }
  // Double click on a row outside select mode (the row is already in the record buffer).
  virtual void DoubleClick() = 0;
  // The page came out empty (after the buttons were disabled and the buffer cleared). The instance
  // may close the window here; the engine then does nothing more that the user would see.
  virtual void EmptyPage() = 0;
  // Calls the update procedure with `request` as the global request code; returns the global
  // response code it left.
  virtual std::int32_t RunUpdateProcedure(std::int32_t request) = 0;
  // A standard warning naming `first` (35 "Record Retrieval Error", 36 "View Open Error").
  virtual void ShowWarning(std::int32_t id, std::string_view first) = 0;
};

enum class FillDirection { Backward, Forward };
// Where RefillPage starts: at the record the view has just read (it stays highlighted), at the
// page's old top keeping its highlighted record, or afresh from the first or the last record.
enum class RefillMode { OnFoundRecord, KeepPage, FromStart, FromEnd };
// How SeekRecord positions: at the first record whose key is at or after the key value in the
// record buffer, or exactly at the record in the buffer.
enum class SeekMode { OnValue, OnPosition };

class PageBrowse {
 public:
  // `list` is the list control's field number in `window`. Request codes as in the program's
  // global request code: 1 insert, 2 change, 3 delete, 4 select.
  PageBrowse(BrowseInstance& instance, rt::Window& window, int list, std::int32_t entry_request);

  PageQueue& Page() { return page_; }
  const PageQueue& Page() const { return page_; }

  // The list's part of OpenBrowse: an empty page bound to the list, the list's keys alerted.
  void OpenBrowse();
  // The view is closed when the browse ends.
  void CloseBrowse();

  // Routes an event of the list control to its routine.
  void TakeListEvent(rt::EventKind kind);
  void RefreshDisplay();
  // For the window's idle timer: rebuilds the page when another station or program has changed
  // the file since the page was last built.
  void NoticeOtherChanges();
  void SelectionChanged();
  void OnScrollEvent(rt::EventKind kind);
  void KeyPressed();
  void ThumbDragged();
  void InsertRow();
  void ChangeRow();
  void DeleteRow();
  // Brings the highlighted row's record into the record buffer, current and watched for a write.
  // False when it no longer exists (another station deleted it): then no record is current, the
  // page has been rebuilt around the nearest record, and no button may act.
  bool RereadSelected();

  // State, named as the procedures know it.
  std::int32_t RowCount = 0;
  std::int32_t SelectedRow = 0;
  std::uint8_t ThumbStop = 0;
  std::array<KeyValue, 100> StopTable{};
  bool SelectionPosted = false;
  bool SpreadStops = false;  // the stops were taken from the records
  std::int64_t SpreadStopLimit = kSpreadStopLimit;  // a test may lower it
  bool ForceReset = false;
  std::int32_t Request = 0;
  std::int32_t EntryRequest = 0;
  std::int32_t Response = rt::RequestCancelled;

 private:
  // Reads up to `count` records in `direction` from the page's edge row (or from where the view
  // stands on an empty page); with `add_rows` each becomes a row, the far edge row making room.
  // Returns how many records were missing when an end of the key order came first, or -1 when a
  // read error closed the window (the caller stops at once).
  int FillPage(int count, FillDirection direction, bool add_rows);
  void ReopenView();
  void RefillPage(RefillMode mode);
  void SeekRecord(SeekMode mode);
  void StepRow(bool up);
  void StepPage(bool up);
  void WheelRow(bool up);
  void BringBack();
  void JumpToEnd(bool top);
  void PostSelection();
  void ResetOrder();
  void ComputeStops();
  void RunUpdate();
  void UpdateTail(bool seek_first);
  bool ReadSpreadStops();
  void TypeAhead();
  bool FindTyped(const std::string& word);
  void RowFromBuffer(PageRow& row);
  void ReadError();
  bool Reread();
  int VisibleRows() { return window_.VisibleRows(list_); }

  BrowseInstance& instance_;
  BrowseFile& file_;
  rt::Window& window_;
  int list_;
  PageQueue page_;
  bool page_built_ = false;  // the first refresh has built the page from the start of the key
  std::int64_t seen_counter_ = -1;  // the file's change counter when the page was last rebuilt
  // The view position of the highlighted record while the wheel has scrolled it off the page (no
  // row is then highlighted); "" while it is on the page.
  std::string away_;
  std::string typed_word_;  // the type-ahead's word so far, and the clock's ticks at its last letter
  std::int64_t typed_at_ = 0;
};

// Whether `text` begins with `word`, letters compared in upper case.
bool BeginsWithFolded(std::string_view text, std::string_view word);

// Key values compare as numbers, or as texts padded with blanks to the same length, by 8-bit code
// (the second text component after the first).
int CompareKeys(const KeyValue& a, const KeyValue& b, bool numeric);

}  // namespace browse
