// Field values between record bytes and the database.
#include "store/field_codec.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/code_page.h"

namespace store {

namespace {

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
  return value < low ? low : value > high ? high : value;
}

// A real as a whole number: truncated toward zero, held within 64 bits (NaN reads 0).
std::int64_t WholeOf(double value) {
  if (std::isnan(value)) return 0;
  if (value <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
  if (value >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(value);
}

double RealOf(const KeyPart& value) {
  double real;
  std::memcpy(&real, &value.number, sizeof real);
  return real;
}

// The number a text starts with, as the database reads one: blanks, a sign, digits.
std::int64_t NumberOf(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 1;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    if (value <= kLimit) value = value * 10 + (text[at] - '0');
  return negative ? -value : value;
}

}  // namespace

KeyPart ReadField(const FieldLayout& field, const unsigned char* record, bool fold) {
  const unsigned char* at = record + field.offset;
  KeyPart value;
  switch (field.type) {
    case FieldType::String: {
      std::size_t size = field.size;
      while (size > 0 && at[size - 1] == ' ') --size;
      value.kind = KeyPart::Kind::Text;
      value.text.assign(reinterpret_cast<const char*>(at), size);
      if (fold) value.text = platform::FoldUpper(value.text);
      break;
    }
    case FieldType::Short: {
      std::int16_t v;
      std::memcpy(&v, at, sizeof v);
      value.number = v;
      break;
    }
    case FieldType::Long: {
      std::int32_t v;
      std::memcpy(&v, at, sizeof v);
      value.number = v;
      break;
    }
  }
  return value;
}

bool WriteField(const FieldLayout& field, unsigned char* record, const KeyPart& value) {
  unsigned char* at = record + field.offset;
  if (field.type == FieldType::String) {
    std::string text;
    switch (value.kind) {
      case KeyPart::Kind::Text:
      case KeyPart::Kind::Blob: text = value.text; break;
      case KeyPart::Kind::Integer: text = std::to_string(value.number); break;
      case KeyPart::Kind::Real: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", RealOf(value));
        text = buffer;
        break;
      }
      case KeyPart::Kind::Null: break;
    }
    const std::size_t n = std::min<std::size_t>(text.size(), field.size);
    std::memcpy(at, text.data(), n);
    std::memset(at + n, ' ', field.size - n);
    return n == text.size();
  }
  std::int64_t number = 0;
  bool whole = true;
  switch (value.kind) {
    case KeyPart::Kind::Integer: number = value.number; break;
    case KeyPart::Kind::Real:
      number = WholeOf(RealOf(value));
      whole = static_cast<double>(number) == RealOf(value);
      break;
    case KeyPart::Kind::Text:
    case KeyPart::Kind::Blob: number = NumberOf(value.text); break;
    case KeyPart::Kind::Null: break;
  }
  if (field.type == FieldType::Short) {
    auto v = static_cast<std::int16_t>(Clamp(number, INT16_MIN, INT16_MAX));
    std::memcpy(at, &v, sizeof v);
    return whole && v == number;
  }
  auto v = static_cast<std::int32_t>(Clamp(number, INT32_MIN, INT32_MAX));
  std::memcpy(at, &v, sizeof v);
  return whole && v == number;
}

void BindValue(sqlite3_stmt* stmt, int param, const KeyPart& value) {
  switch (value.kind) {
    case KeyPart::Kind::Integer: sqlite3_bind_int64(stmt, param, value.number); break;
    case KeyPart::Kind::Real: sqlite3_bind_double(stmt, param, RealOf(value)); break;
    case KeyPart::Kind::Text:
      sqlite3_bind_text(stmt, param, value.text.data(), static_cast<int>(value.text.size()), SQLITE_TRANSIENT);
      break;
    case KeyPart::Kind::Blob:
      sqlite3_bind_blob(stmt, param, value.text.data(), static_cast<int>(value.text.size()), SQLITE_TRANSIENT);
      break;
    case KeyPart::Kind::Null: sqlite3_bind_null(stmt, param); break;
  }
}

KeyPart ColumnValue(sqlite3_stmt* stmt, int column) {
  KeyPart value;
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: value.number = sqlite3_column_int64(stmt, column); break;
    case SQLITE_FLOAT: {
      value.kind = KeyPart::Kind::Real;
      const double real = sqlite3_column_double(stmt, column);
      std::memcpy(&value.number, &real, sizeof real);
      break;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const bool blob = sqlite3_column_type(stmt, column) == SQLITE_BLOB;
      value.kind = blob ? KeyPart::Kind::Blob : KeyPart::Kind::Text;
      const void* bytes = blob ? sqlite3_column_blob(stmt, column) : sqlite3_column_text(stmt, column);
      if (bytes != nullptr)
        value.text.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
      break;
    }
    default: value.kind = KeyPart::Kind::Null; break;
  }
  return value;
}

}  // namespace store
