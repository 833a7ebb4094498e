// The record position: the opaque text by which a caller re-reads or repositions to a record
// later in this run of the program. Encoding and decoding only; the record file gives the texts out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fixed_string.h"
#include "store/field_codec.h"
#include "store/records.h"

namespace store {

// A record's place, as an opaque text that re-reads or repositions to the same record later in
// this run of the program, by any station: a record's id is never given to another record, so a
// position of a deleted record re-reads nothing. Two positions taken in the same order are equal
// exactly when they name the same record with the same key value.
inline constexpr std::size_t kPositionSize = 512;
using RecordPosition = platform::FixedString<kPositionSize>;

// The two orders a file can be read in: the order records were stored, or its key.
enum class Order { File, Key };

struct DecodedPosition {
  Order order = Order::Key;
  std::int64_t id = 0;
  KeyValue key;
  // A key component was longer than its field (written by another program) and is held cut: the
  // whole value is the record's own, to be read by id.
  bool key_cut = false;
};

// The order's letter, the id in 16 hex digits, then per key component a kind letter and the value:
// a number in 16 hex digits, or two hex digits of length and the bytes. A text or blob longer than
// its field is written cut to the field's width with its letter in lower case, so every position of
// a file fits.
RecordPosition EncodePosition(const FileLayout& layout, Order order, std::int64_t id, const KeyValue& key);
// False when `position` is not one of this layout's.
bool DecodePosition(const FileLayout& layout, const RecordPosition& position, DecodedPosition& out);

}  // namespace store
