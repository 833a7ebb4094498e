// Fixed-width, blank-padded 8-bit text fields (the STRING(n) of records and procedures).
// Used by record buffers, procedure state and the runtime's bindings. Exactly N bytes, no terminator,
// so a record holding them keeps its byte image.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace platform {

template <std::size_t N>
struct FixedString {
  char data[N];

  FixedString() { Clear(); }
  FixedString(std::string_view text) { Assign(text); }  // NOLINT: assignment from text is the point

  static constexpr std::size_t size() { return N; }
  void Clear() { std::memset(data, ' ', N); }
  // Stores `text` cut to N bytes, padding the rest with blanks.
  void Assign(std::string_view text) {
    std::size_t n = text.size() < N ? text.size() : N;
    std::memcpy(data, text.data(), n);
    std::memset(data + n, ' ', N - n);
  }
  FixedString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  // The value with trailing blanks removed, as it is compared and joined.
  std::string_view Trimmed() const {
    std::size_t n = N;
    while (n > 0 && data[n - 1] == ' ') --n;
    return std::string_view(data, n);
  }
  std::string str() const { return std::string(Trimmed()); }
  bool IsBlank() const { return Trimmed().empty(); }
  bool operator==(const FixedString& other) const { return std::memcmp(data, other.data, N) == 0; }
};

// A string with trailing blanks removed (for std::string values of procedures).
inline std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace platform
