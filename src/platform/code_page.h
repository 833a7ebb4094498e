// The character set of the records, the IDE and the file names the program handles: 8-bit text in
// the Windows-1252 code page. Its upper-case fold is the one rule by which keys, thumb stops,
// type-ahead, file-name matching and the batch's name checks ignore letter case, so that they
// all agree on letters such as "é" and "É". Every way in (entries, arguments, the current folder,
// file lists) converts to the code page and every way out (file names given to the system, the
// console, UTF-8 reports) converts from it, through the conversions declared here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Code-page text as UTF-16 and as UTF-8. Every byte has its character: the five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, as Windows maps them, so that any record converts and converts back unchanged.
std::u16string ToUtf16(std::string_view text);
std::string ToUtf8(std::string_view text);

// UTF-16 or UTF-8 `text` in the code page. True when every character has its own place in it;
// false when one has none (a letter of another script, an emoji, a malformed sequence): a
// character is never replaced by a look-alike ("best fit") and never silently by "?". On false,
// `out` holds the text with "?" for each such character, fit only to be shown in a message.
bool FromUtf16(std::u16string_view text, std::string& out);
bool FromUtf8(std::string_view text, std::string& out);

// Appends the code point `c` (at most 0x10FFFF) to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The UTF-8 of UTF-16 text (a lone surrogate becomes U+FFFD), and the reverse (false for bytes
// that are not well-formed UTF-8, which become U+FFFD).
std::string Utf16ToUtf8(std::u16string_view text);
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

// A name (a path, or a pattern) given in UTF-16 by the system or the user, in the code page as every
// way in takes one: as it is where the code page holds it; otherwise, on Windows, the short (8.3)
// form of the path it names where the system has one (for a pattern, the short form of its folder).
// False when it can be held neither way; `out` then holds it with "?" for what the code page lacks,
// fit only to be shown or refused.
bool NameFromUtf16(std::u16string_view text, std::string& out);

// The program's arguments (without its own name) in the code page. On Windows they are read from
// the wide command line; an argument the code page cannot hold is replaced by the short (8.3) form
// of the path it names where the system has one (for a pattern, of its folder). False when an
// argument can be held neither way; `refused` then shows it (in UTF-8). On POSIX the arguments are
// taken as UTF-8.
bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments, std::string& refused);

// Writes code-page `text` to the standard output (`stream` 1) or error (2): to a console as its
// characters, to a file or a pipe as UTF-8 (on Windows with CR LF line ends). False when it could
// not be written.
bool WriteStandard(int stream, std::string_view text);

}  // namespace platform
