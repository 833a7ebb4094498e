// A record file's reads and writes: stateless key-order and file-order steps from a cursor's
// bounds, positions, the change watch, add, put, delete and the duplicate check, and the View the
// list browse reads through.
#include "store/record_file.h"

#include <sqlite3.h>

#include <cstring>
#include <limits>
#include <utility>

#include "platform/code_page.h"
#include "store/sqlite_statement.h"

namespace store {

namespace {

constexpr std::int64_t kLowestId = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighestId = std::numeric_limits<std::int64_t>::max();

}  // namespace

KeyValue RecordFile::BufferKey() const {
  KeyValue key;
  for (int p = 0; p < layout_.key.part_count; ++p)
    key.push_back(ReadField(layout_.fields[layout_.key.parts[p]], buffer_, layout_.key.ignore_case));
  return key;
}

void RecordFile::BindKey(sqlite3_stmt* stmt, const KeyValue& key, int first) {
  for (std::size_t p = 0; p < key.size(); ++p) BindValue(stmt, first + static_cast<int>(p), key[p]);
}

// Binds the buffer's fields as ?1..?n and the folded key texts after them.
void RecordFile::BindRecord(sqlite3_stmt* stmt) {
  int param = 1;
  for (int i = 0; i < layout_.field_count; ++i) BindValue(stmt, param++, ReadField(layout_.fields[i], buffer_));
  const KeyValue key = BufferKey();
  for (std::size_t p = 0; p < key.size(); ++p)
    if (sql_.folded[p]) BindValue(stmt, param++, key[p]);
}

// True when the buffer still holds, in a field whose stored value was longer than the field (or a
// number out of its range), exactly what the read made of it: writing it would cut the stored value.
bool RecordFile::WouldCutStoredValue() const {
  for (int i = 0; i < layout_.field_count; ++i) {
    if ((current_.cut_fields & (1u << i)) == 0) continue;
    const FieldLayout& f = layout_.fields[i];
    if (std::memcmp(buffer_ + f.offset, current_.image.data() + f.offset, f.size) == 0) return true;
  }
  return false;
}

// Loads a row of the select list (id, chg, fields, key columns) into the buffer and makes it the
// current record. A value of another kind than its field's reads as the codec converts it; the key
// is kept exactly as stored, so that the next step in key order starts after this very record.
void RecordFile::LoadRow(sqlite3_stmt* stmt) {
  current_.cut_fields = 0;
  for (int i = 0; i < layout_.field_count; ++i)
    if (!WriteField(layout_.fields[i], buffer_, ColumnValue(stmt, 2 + i))) current_.cut_fields |= 1u << i;
  if (current_.cut_fields != 0) current_.image.assign(reinterpret_cast<const char*>(buffer_), layout_.record_size);
  else current_.image.clear();
  current_.valid = true;
  current_.id = sqlite3_column_int64(stmt, 0);
  current_.chg = sqlite3_column_int64(stmt, 1);
  current_.key.resize(static_cast<std::size_t>(layout_.key.part_count));
  for (int p = 0; p < layout_.key.part_count; ++p)
    current_.key[p] = ColumnValue(stmt, 2 + layout_.field_count + p);
  watched_ = watch_armed_;
  watch_armed_ = false;
}

// One read step through `cursor`: 1 read, 0 none left, -1 failed (error set).
int RecordFile::FetchStep(Cursor& cursor, bool forward) {
  const Cursor::Bound& bound = forward ? cursor.forward : cursor.backward;
  auto run = [&](StatementId id, auto&& bind) -> int {
    sqlite3_stmt* stmt = Prepared(id);
    if (stmt == nullptr) return -1;
    Use use(stmt);
    bind(stmt);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      LoadRow(stmt);
      return 1;
    }
    if (rc == SQLITE_DONE) return 0;
    FailSqlite(rc);
    return -1;
  };
  const int parts = layout_.key.part_count;
  if (cursor.order == Order::File) {
    const std::int64_t from = bound.open ? (forward ? kLowestId : kHighestId) : bound.id;
    return run(forward ? kFileAfter : kFileBefore, [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, from); });
  }
  if (bound.open) return run(forward ? kFirst : kLast, [](sqlite3_stmt*) {});
  // Records with the bound's own key value come first (in id order), then the next key value: two
  // short index searches, where one row-value query over (key, id) would scan long runs of equal
  // keys. A unique key has no other record with the key of a record just read.
  if (!(layout_.key.unique && bound.exact)) {
    int got = run(forward ? kEqualAfter : kEqualBefore, [&](sqlite3_stmt* s) {
      BindKey(s, bound.key, 1);
      sqlite3_bind_int64(s, parts + 1, bound.id);
    });
    if (got != 0) return got;
  }
  return run(forward ? kKeyAfter : kKeyBefore, [&](sqlite3_stmt* s) { BindKey(s, bound.key, 1); });
}

void RecordFile::ReadStep(Cursor& cursor, bool forward) {
  if (!RequireOpen()) return;
  int got = FetchStep(cursor, forward);
  if (got < 0) return;
  if (got == 0) {
    // Past the end: a read the other way starts again from this end.
    (forward ? cursor.backward : cursor.forward) = Cursor::Bound();
    Fail(kRecordNotAvailable);
    return;
  }
  Cursor::Bound here{false, current_.key, current_.id, true};
  cursor.forward = here;
  cursor.backward = std::move(here);
  cursor.has_record = true;
  cursor.record_id = current_.id;
  cursor.record_key = current_.key;
  Succeed();
}

void RecordFile::PlaceAt(Cursor& cursor, Order order, std::int64_t id, const KeyValue& key) {
  cursor.order = order;
  cursor.forward = Cursor::Bound{false, key, id == kLowestId ? id : id - 1, false};
  cursor.backward = Cursor::Bound{false, key, id == kHighestId ? id : id + 1, false};
}

void RecordFile::Set(Order order) {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  cursor_.order = order;
  Succeed();
}

void RecordFile::SetToKeyValue() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  const KeyValue key = BufferKey();
  cursor_.forward = Cursor::Bound{false, key, kLowestId, false};
  cursor_.backward = Cursor::Bound{false, key, kHighestId, false};
  Succeed();
}

void RecordFile::Next() { ReadStep(cursor_, true); }
void RecordFile::Previous() { ReadStep(cursor_, false); }

std::int32_t RecordFile::Records() {
  if (!RequireOpen()) return 0;
  sqlite3_stmt* stmt = Prepared(kCount);
  if (stmt == nullptr) return 0;
  Use use(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) {
    FailSqlite(rc);
    return 0;
  }
  Succeed();
  return static_cast<std::int32_t>(sqlite3_column_int64(stmt, 0));
}

void RecordFile::KeysAtRanks(const std::vector<std::int64_t>& ranks, const std::function<void()>& each) {
  if (!RequireOpen()) return;
  std::vector<KeyValue> keys;
  keys.reserve(ranks.size());
  {
    sqlite3_stmt* stmt = Prepared(kKeysInOrder);
    if (stmt == nullptr) return;
    Use use(stmt);  // the read ends before any key reaches the caller
    const int parts = layout_.key.part_count;
    std::int64_t rank = 0;
    for (std::int64_t wanted : ranks) {
      int rc = SQLITE_ROW;
      while (rank <= wanted && (rc = sqlite3_step(stmt)) == SQLITE_ROW) ++rank;
      if (rc == SQLITE_DONE) return Fail(kRecordNotAvailable);
      if (rc != SQLITE_ROW) return FailSqlite(rc);
      KeyValue& key = keys.emplace_back();
      for (int p = 0; p < parts; ++p) key.push_back(ColumnValue(stmt, p));
    }
  }
  for (const KeyValue& key : keys) {
    for (int p = 0; p < layout_.key.part_count; ++p) WriteField(layout_.fields[layout_.key.parts[p]], buffer_, key[p]);
    each();
  }
  Succeed();
}

std::int64_t RecordFile::RecordsUpTo(std::int64_t limit) {
  if (!RequireOpen()) return 0;
  auto single = [&](StatementId id, std::initializer_list<std::int64_t> params, std::int64_t* out, int columns) {
    sqlite3_stmt* stmt = Prepared(id);
    if (stmt == nullptr) return false;
    Use use(stmt);
    int param = 1;
    for (std::int64_t p : params) sqlite3_bind_int64(stmt, param++, p);
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) {
      FailSqlite(rc);
      return false;
    }
    for (int c = 0; c < columns; ++c) out[c] = sqlite3_column_int64(stmt, c);
    return true;
  };
  std::int64_t span[2] = {0, 0};
  if (!single(kIdSpan, {}, span, 2)) return 0;
  const std::int64_t ids = span[1] - span[0] + 1;
  if (ids > limit) {
    constexpr std::int64_t kWindows = 16, kWindow = 64;
    std::int64_t hits = 0;
    for (std::int64_t w = 0; w < kWindows; ++w) {
      const std::int64_t low = span[0] + (ids - kWindow) / (kWindows - 1) * w;
      std::int64_t n = 0;
      if (!single(kCountIds, {low, low + kWindow - 1}, &n, 1)) return 0;
      hits += n;
    }
    const double estimate = static_cast<double>(hits) / static_cast<double>(kWindows * kWindow) * static_cast<double>(ids);
    if (estimate > 2.0 * static_cast<double>(limit)) {
      Succeed();
      return static_cast<std::int64_t>(estimate);
    }
  }
  std::int64_t counted = 0;
  if (!single(kCountUpTo, {limit + 1}, &counted, 1)) return 0;
  Succeed();
  return counted;
}

bool RecordFile::FindsKeyPrefix() const {
  return layout_.key.part_count == 2 && layout_.fields[layout_.key.parts[0]].type == FieldType::String &&
         layout_.fields[layout_.key.parts[1]].type == FieldType::String;
}

namespace {

KeyPart Text(std::string text) { return KeyPart{KeyPart::Kind::Text, 0, std::move(text)}; }
// A blob sorts after every text: a bound that no text reaches.
KeyPart AfterEveryText() { return KeyPart{KeyPart::Kind::Blob, 0, {}}; }

bool TextLess(const KeyPart& a, const KeyPart& b) {
  if (a.kind != b.kind) return a.kind == KeyPart::Kind::Text;  // only texts and the blob bound meet here
  return a.text < b.text;
}

}  // namespace

// One pass of FindKeyPrefix: the first key at or after `from` whose first part lies in
// [prefix, prefix_end), or, among first parts up to `last_folder`, whose second part does. False
// with no error when there is none, false with the error set when a search failed.
bool RecordFile::PrefixSearch(const KeyValue& from, const KeyPart& prefix, const KeyPart& prefix_end,
                              const KeyPart& last_folder, KeyValue& found) {
  found.clear();
  {
    sqlite3_stmt* stmt = Prepared(kPrefixFirst);
    if (stmt == nullptr) return false;
    Use use(stmt);
    const bool from_prefix = TextLess(from[0], prefix);
    BindValue(stmt, 1, from_prefix ? prefix : from[0]);
    BindValue(stmt, 2, from_prefix ? Text("") : from[1]);
    BindValue(stmt, 3, prefix_end);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) found = {ColumnValue(stmt, 0), ColumnValue(stmt, 1)};
    else if (rc != SQLITE_DONE) return FailSqlite(rc), false;
  }
  {
    sqlite3_stmt* stmt = Prepared(kPrefixSecond);
    if (stmt == nullptr) return false;
    Use use(stmt);
    BindValue(stmt, 1, from[0]);
    BindValue(stmt, 2, TextLess(from[1], prefix) ? prefix : from[1]);
    BindValue(stmt, 3, prefix);
    BindValue(stmt, 4, prefix_end);
    // A folder past one whose own name answers cannot hold an earlier answer.
    BindValue(stmt, 5, !found.empty() && TextLess(found[0], last_folder) ? found[0] : last_folder);
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      KeyValue hit{ColumnValue(stmt, 0), ColumnValue(stmt, 1)};
      if (found.empty() || TextLess(hit[0], found[0]) || (hit[0] == found[0] && TextLess(hit[1], found[1])))
        found = std::move(hit);
    } else if (rc != SQLITE_DONE) {
      return FailSqlite(rc), false;
    }
  }
  return !found.empty();
}

void RecordFile::FindKeyPrefix(std::string_view prefix, bool after) {
  if (!RequireOpen()) return;
  if (!FindsKeyPrefix() || prefix.empty()) return Fail(kRecordNotAvailable);
  Succeed();  // an earlier operation's error must not pass for this search's
  std::string folded(prefix);
  if (layout_.key.ignore_case) folded = platform::FoldUpper(folded);
  // Every text that begins with the prefix lies below the prefix with its last byte raised.
  std::string end = folded;
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
  KeyPart prefix_end = AfterEveryText();
  if (!end.empty()) {
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    prefix_end = Text(end);
  }
  KeyValue from = BufferKey();
  for (KeyPart& part : from)
    if (part.kind != KeyPart::Kind::Text) part = Text("");
  // Just after the key value: no stored text holds a NUL byte.
  if (after) from[1].text.push_back('\0');
  KeyValue found;
  if (!PrefixSearch(from, Text(folded), prefix_end, AfterEveryText(), found)) {
    if (store_.error.code != kNoError && store_.error.code != kRecordNotAvailable) return;
    // Round to the start, up to the folder where the search began.
    if (!PrefixSearch({Text(""), Text("")}, Text(folded), prefix_end, from[0], found)) {
      if (store_.error.code != kNoError && store_.error.code != kRecordNotAvailable) return;
      return Fail(kRecordNotAvailable);
    }
  }
  sqlite3_stmt* stmt = Prepared(kEqualAfter);
  if (stmt == nullptr) return;
  Use use(stmt);
  BindKey(stmt, found, 1);
  sqlite3_bind_int64(stmt, 3, kLowestId);
  const int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? Fail(kRecordNotAvailable) : FailSqlite(rc);
  LoadRow(stmt);
  Succeed();
}

std::int64_t RecordFile::ChangeCounter() {
  if (!RequireOpen()) return -1;
  OneOff query(db_, "PRAGMA data_version");
  if (query.rc() != SQLITE_OK) {
    FailSqlite(query.rc());
    return -1;
  }
  int rc = sqlite3_step(query.get());
  if (rc != SQLITE_ROW) {
    FailSqlite(rc);
    return -1;
  }
  Succeed();
  return sqlite3_column_int64(query.get(), 0);
}

// A position: the order's letter, the record id in 16 hex digits, then each key component as "N"
// and 16 hex digits, or "S", two hex digits of length and the folded text.
RecordPosition RecordFile::Position(Order order) {
  if (!RequireOpen()) return RecordPosition();
  if (!current_.valid) {
    Fail(kRecordNotAvailable);
    return RecordPosition();
  }
  Succeed();
  return EncodePosition(layout_, order, current_.id, current_.key);
}

// Decodes a position of this file; a key held cut in it is read whole from its record (when that is
// gone, the cut value places the cursor near where it stood). Sets 33 for a text that is no
// position of this file.
bool RecordFile::DecodeFor(const RecordPosition& position, DecodedPosition& out) {
  if (!DecodePosition(layout_, position, out)) {
    Fail(kRecordNotAvailable);
    return false;
  }
  if (!out.key_cut) return true;
  sqlite3_stmt* stmt = Prepared(kById);
  if (stmt == nullptr) return false;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, out.id);
  if (sqlite3_step(stmt) == SQLITE_ROW)
    for (int p = 0; p < layout_.key.part_count; ++p) out.key[p] = ColumnValue(stmt, 2 + layout_.field_count + p);
  return true;
}

void RecordFile::Reset(Order order, const RecordPosition& position) {
  if (!RequireOpen()) return;
  DecodedPosition at;
  if (!DecodeFor(position, at)) return;
  cursor_ = Cursor();
  PlaceAt(cursor_, order, at.id, at.key);
  Succeed();
}

void RecordFile::Reread(const RecordPosition& position) {
  if (!RequireOpen()) return;
  DecodedPosition at;
  if (!DecodePosition(layout_, position, at)) return Fail(kRecordNotAvailable);
  const std::int64_t id = at.id;
  sqlite3_stmt* stmt = Prepared(kById);
  if (stmt == nullptr) return;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, id);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    LoadRow(stmt);
    Succeed();
  } else if (rc == SQLITE_DONE) {
    // The record is gone: no other record may stay current for a write meant for this one.
    current_ = Current();
    watched_ = false;
    Fail(kRecordNotAvailable);
  } else {
    FailSqlite(rc);
  }
}

void RecordFile::ForgetCurrent() {
  current_ = Current();
  watched_ = false;
  Succeed();
}

void RecordFile::Watch() {
  watch_armed_ = true;
  Succeed();
}

// ---- Writing -------------------------------------------------------------------------------------

void RecordFile::Add() {
  if (!RequireOpen()) return;
  sqlite3_stmt* stmt = Prepared(kInsert);
  if (stmt == nullptr) return;
  Use use(stmt);
  BindRecord(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return FailSqlite(rc);
  const std::int64_t id = sqlite3_column_int64(stmt, 0);
  // Stepping to the end lets an implicit transaction commit here, where its failure is seen.
  if ((rc = sqlite3_step(stmt)) != SQLITE_DONE) return FailSqlite(rc);
  current_ = Current{true, id, 0, BufferKey()};
  watched_ = false;
  Succeed();
}

void RecordFile::Put() {
  if (!RequireOpen()) return;
  if (!current_.valid) return Fail(kRecordNotAvailable);
  if (WouldCutStoredValue()) return Fail(kValueTooLong);
  sqlite3_stmt* stmt = Prepared(watched_ ? kUpdateWatched : kUpdate);
  if (stmt == nullptr) return;
  Use use(stmt);
  BindRecord(stmt);
  const int id_param = sqlite3_bind_parameter_count(stmt) - (watched_ ? 1 : 0);
  sqlite3_bind_int64(stmt, id_param, current_.id);
  if (watched_) sqlite3_bind_int64(stmt, id_param + 1, current_.chg);
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_DONE) return Fail(watched_ && Exists(current_.id) ? kChangedByAnotherStation : kRecordNotAvailable);
  if (rc != SQLITE_ROW) return FailSqlite(rc);
  const std::int64_t chg = sqlite3_column_int64(stmt, 0);
  if ((rc = sqlite3_step(stmt)) != SQLITE_DONE) return FailSqlite(rc);
  current_.chg = chg;
  current_.key = BufferKey();
  current_.cut_fields = 0;
  current_.image.clear();
  Succeed();
}

void RecordFile::Delete() {
  if (!RequireOpen()) return;
  if (!current_.valid) return Fail(kRecordNotAvailable);
  sqlite3_stmt* stmt = Prepared(watched_ ? kDeleteWatched : kDelete);
  if (stmt == nullptr) return;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, current_.id);
  if (watched_) sqlite3_bind_int64(stmt, 2, current_.chg);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE) return FailSqlite(rc);
  if (sqlite3_changes(db_) == 0)
    return Fail(watched_ && Exists(current_.id) ? kChangedByAnotherStation : kRecordNotAvailable);
  current_ = Current();
  watched_ = false;
  Succeed();
}

bool RecordFile::Exists(std::int64_t id) {
  sqlite3_stmt* stmt = Prepared(kById);
  if (stmt == nullptr) return false;
  Use use(stmt);
  sqlite3_bind_int64(stmt, 1, id);
  return sqlite3_step(stmt) == SQLITE_ROW;
}

bool RecordFile::Duplicate() {
  if (!RequireOpen()) return false;
  sqlite3_stmt* stmt = Prepared(kDuplicate);
  if (stmt == nullptr) return false;
  Use use(stmt);
  BindKey(stmt, BufferKey(), 1);
  sqlite3_bind_int64(stmt, layout_.key.part_count + 1, current_.valid ? current_.id : 0);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    FailSqlite(rc);
    return false;
  }
  Succeed();
  return rc == SQLITE_ROW;
}

// ---- View ----------------------------------------------------------------------------------------

bool View::RequireOpen() {
  if (open_ && file_.IsOpen()) return true;
  file_.Fail(file_.IsOpen() ? kRecordNotAvailable : kFileNotOpen);
  return false;
}

void View::Open() {
  if (!file_.IsOpen()) return file_.Fail(kFileNotOpen);
  open_ = true;
  cursor_ = Cursor();
  file_.Succeed();
}

void View::Set() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  file_.Succeed();
}

void View::SetToKeyValue() {
  if (!RequireOpen()) return;
  cursor_ = Cursor();
  const KeyValue key = file_.BufferKey();
  cursor_.forward = Cursor::Bound{false, key, kLowestId, false};
  cursor_.backward = Cursor::Bound{false, key, kHighestId, false};
  file_.Succeed();
}

void View::Next() {
  if (RequireOpen()) file_.ReadStep(cursor_, true);
}

void View::Previous() {
  if (RequireOpen()) file_.ReadStep(cursor_, false);
}

RecordPosition View::Position() {
  if (!RequireOpen()) return RecordPosition();
  if (!cursor_.has_record) {
    file_.Fail(kRecordNotAvailable);
    return RecordPosition();
  }
  file_.Succeed();
  return EncodePosition(file_.layout_, Order::Key, cursor_.record_id, cursor_.record_key);
}

void View::Reset(const RecordPosition& position) {
  if (!RequireOpen()) return;
  DecodedPosition at;
  if (!file_.DecodeFor(position, at)) return;
  cursor_ = Cursor();
  RecordFile::PlaceAt(cursor_, Order::Key, at.id, at.key);
  file_.Succeed();
}

}  // namespace store
