// The code page on POSIX: a table of the 32 bytes 0x80-0x9F, whose characters differ from their
// byte values; every other byte is the character of the same number. Arguments come as UTF-8.
#include "platform/code_page.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace platform {
namespace {

constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    out += byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : static_cast<char16_t>(byte);
  }
  return out;
}

bool FromUtf16(std::u16string_view text, std::string& out) {
  out.clear();
  bool all = true;
  bool after_high = false;  // a surrogate pair is one character: one "?" for both halves
  for (char16_t c : text) {
    const bool low = c >= 0xDC00 && c <= 0xDFFF;
    const char16_t* found = std::find(std::begin(kHighControls), std::end(kHighControls), c);
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
    } else if (found != std::end(kHighControls)) {
      out += static_cast<char>(0x80 + (found - kHighControls));
    } else if (!(low && after_high)) {
      out += '?';
      all = false;
    }
    after_high = c >= 0xD800 && c <= 0xDBFF;
  }
  return all;
}

bool NameFromUtf16(std::u16string_view text, std::string& out) { return FromUtf16(text, out); }

bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments, std::string& refused) {
  arguments.clear();
  for (int i = 1; i < argc; ++i) {
    std::string converted;
    if (!FromUtf8(argv[i], converted)) {
      refused = argv[i];
      return false;
    }
    arguments.push_back(std::move(converted));
  }
  return true;
}

bool WriteStandard(int stream, std::string_view text) {
  std::string bytes = ToUtf8(text);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t wrote = ::write(stream, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

}  // namespace platform
