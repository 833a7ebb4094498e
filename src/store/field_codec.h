// The one place that knows how a record field's bytes meet the database: a field read from the
// record buffer as a stored value, a stored value of any type written into a field, and the binding
// and reading of values in statements. The record file's reads, writes and key values all go
// through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/records.h"

struct sqlite3_stmt;

namespace store {

// One value as the database holds and compares it. A field of ours is stored as an integer or as a
// text; another program may have stored any kind, and a bound value must keep that kind exactly so
// that comparisons in the database find the same record again (a blob sorts after every text).
struct KeyPart {
  enum class Kind : std::uint8_t { Integer, Real, Text, Blob, Null };
  Kind kind = Kind::Integer;
  std::int64_t number = 0;  // Integer; a Real's bits
  std::string text;         // Text and Blob
  bool operator==(const KeyPart&) const = default;
};
// One value of a file's key, most significant component first.
using KeyValue = std::vector<KeyPart>;

// The field's value in `record`: a number, or the text without trailing blanks (letters folded to
// upper case when `fold`).
KeyPart ReadField(const FieldLayout& field, const unsigned char* record, bool fold = false);

// Writes `value` into the field of `record`. A text is cut to the field and padded with blanks; a
// number is clamped into the field's range, so that a value too large for it never wraps round to
// a small one (65537 in a SHORT reads 32767, not 1). Values of another kind are converted as the
// database converts them: a number into a text field as its digits, a blob as its bytes, a text
// into a number field as the number it starts with, a real truncated. False when the value did not
// fit and was cut, clamped or truncated.
bool WriteField(const FieldLayout& field, unsigned char* record, const KeyPart& value);

// Statement parameters and result columns, kind for kind.
void BindValue(sqlite3_stmt* stmt, int param, const KeyPart& value);
KeyPart ColumnValue(sqlite3_stmt* stmt, int column);

}  // namespace store
