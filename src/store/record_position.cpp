// The record-position codec.
#include "store/record_position.h"

#include <string>
#include <string_view>

namespace store {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint64_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[(value >> (4 * i)) & 0xF]);
}

bool ReadHex(std::string_view text, std::size_t& at, int digits, std::uint64_t& value) {
  if (at + digits > text.size()) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    char c = text[at + i];
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) return false;
    value = (value << 4) | static_cast<std::uint64_t>(v);
  }
  at += digits;
  return true;
}

constexpr char kKindLetters[] = "NRSBZ";  // by KeyPart::Kind

}  // namespace

RecordPosition EncodePosition(const FileLayout& layout, Order order, std::int64_t id, const KeyValue& key) {
  std::string text(1, order == Order::File ? 'F' : 'K');
  AppendHex(text, static_cast<std::uint64_t>(id), 16);
  for (int p = 0; p < layout.key.part_count && p < static_cast<int>(key.size()); ++p) {
    const KeyPart& part = key[p];
    const char letter = kKindLetters[static_cast<int>(part.kind)];
    if (part.kind == KeyPart::Kind::Text || part.kind == KeyPart::Kind::Blob) {
      const std::size_t width = layout.fields[layout.key.parts[p]].size;
      const bool cut = part.text.size() > width;
      text.push_back(cut ? static_cast<char>(letter - 'A' + 'a') : letter);
      const std::size_t n = cut ? width : part.text.size();
      AppendHex(text, n, 2);
      text.append(part.text, 0, n);
    } else {
      text.push_back(letter);
      AppendHex(text, static_cast<std::uint64_t>(part.number), 16);
    }
  }
  return RecordPosition(text);
}

bool DecodePosition(const FileLayout& layout, const RecordPosition& position, DecodedPosition& out) {
  std::string_view text(position.data, kPositionSize);
  if (text[0] != 'F' && text[0] != 'K') return false;
  out = DecodedPosition();
  out.order = text[0] == 'F' ? Order::File : Order::Key;
  std::size_t at = 1;
  std::uint64_t value = 0;
  if (!ReadHex(text, at, 16, value)) return false;
  out.id = static_cast<std::int64_t>(value);
  out.key.assign(static_cast<std::size_t>(layout.key.part_count), KeyPart());
  for (KeyPart& part : out.key) {
    if (at >= text.size()) return false;
    char letter = text[at++];
    const bool cut = letter >= 'a' && letter <= 'z';
    if (cut) letter = static_cast<char>(letter - 'a' + 'A');
    const std::string_view letters(kKindLetters);
    const std::size_t kind = letters.find(letter);
    if (kind == std::string_view::npos) return false;
    part.kind = static_cast<KeyPart::Kind>(kind);
    if (part.kind == KeyPart::Kind::Text || part.kind == KeyPart::Kind::Blob) {
      if (!ReadHex(text, at, 2, value) || at + value > text.size()) return false;
      part.text.assign(text.substr(at, value));
      at += value;
      out.key_cut = out.key_cut || cut;
    } else {
      if (cut || !ReadHex(text, at, 16, value)) return false;
      part.number = static_cast<std::int64_t>(value);
    }
  }
  return true;
}

}  // namespace store
