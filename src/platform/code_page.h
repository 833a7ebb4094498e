// The character set of the records, the IDE and the file names the program handles: 8-bit text in
// the Windows-1252 code page. Its upper-case fold is the one rule by which keys, thumb stops,
// type-ahead, file-name matching and the batch's name checks ignore letter case, so that they
// all agree on letters such as "é" and "É".
#pragma once

#include <string>
#include <string_view>

namespace platform {

struct CodePageFold {
  unsigned char map[256];
  constexpr CodePageFold() : map() {
    for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
    for (int c = 'a'; c <= 'z'; ++c) map[c] = static_cast<unsigned char>(c - 32);
    for (int c = 0xE0; c <= 0xFE; ++c)
      if (c != 0xF7) map[c] = static_cast<unsigned char>(c - 32);  // 0xF7 is the division sign
    map[0x9A] = 0x8A;  // s caron
    map[0x9C] = 0x8C;  // oe
    map[0x9E] = 0x8E;  // z caron
    map[0xFF] = 0x9F;  // y diaeresis
  }
};
inline constexpr CodePageFold kCodePageFold;

// `c` in upper case (letters of the code page; everything else unchanged).
constexpr char FoldUpper(char c) {
  return static_cast<char>(kCodePageFold.map[static_cast<unsigned char>(c)]);
}
inline std::string FoldUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldUpper(c);
  return out;
}

}  // namespace platform
