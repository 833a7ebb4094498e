// The two stop generators of the scroll thumb.
#include "browse/thumb_stops.h"

#include "platform/code_page.h"

namespace browse {
namespace {

constexpr int kSuffixLength = 4;
constexpr int kLastStop = 99;

// The punctuation class, in the order the alphabet is built from it (space last). 0xA3 is the
// pound sign of the program's 8-bit character set.
constexpr std::string_view kPunctuation = "`!\"\xA3$%^&*()'-=_+][#;~@:/.,?\\| ";

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }

// `count` characters of `text` from 0-based `pos`, blank beyond its end.
std::string Slice(std::string_view text, std::size_t pos, std::size_t count) {
  std::string out(count, ' ');
  for (std::size_t k = 0; k < count && pos + k < text.size(); ++k) out[k] = text[pos + k];
  return out;
}

std::size_t TrimmedLength(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

}  // namespace

void StringStops::AddAlphabetChar(char c) { alphabet_ += c; }

void StringStops::SetupStringStops(int width, int class_mask, bool letters_only, std::string_view low_value,
                                   std::string_view high_value) {
  if (letters_only) class_mask = kStopLetters;
  alphabet_.clear();
  for (int code = 1; code <= 255; ++code) {
    auto c = static_cast<unsigned char>(code);
    bool take;
    if (IsDigit(c))
      take = class_mask & kStopDigits;
    else if (kPunctuation.find(static_cast<char>(c)) != std::string_view::npos)
      take = class_mask & kStopPunctuation;
    else
      take = (IsUpper(c) || IsLower(c)) && (class_mask & kStopLetters) &&
             (IsUpper(c) || (class_mask & kStopLowerCase));
    if (take) AddAlphabetChar(static_cast<char>(c));
  }

  auto w = static_cast<std::size_t>(width > 0 ? width : 0);
  std::string low = Slice(low_value, 0, w);
  std::string high(high_value.substr(0, std::min(w, high_value.size())));
  // A short high value is stretched towards the top of the alphabet, so that the stops spread over
  // everything that could follow it rather than collapsing onto the value itself.
  if (TrimmedLength(high) < w && !alphabet_.empty()) {
    high.resize(TrimmedLength(high));
    high.append(w + 1 - high.size(), alphabet_.back());
  }

  std::size_t i = 0;  // 0-based position of the first difference
  while (i < w && low[i] == (i < high.size() ? high[i] : ' ')) ++i;
  prefix_ = low.substr(0, i);
  low_suffix_ = Slice(low, i, kSuffixLength);
  high_suffix_ = Slice(high, i, kSuffixLength);
  if ((class_mask & kStopLetters) && !(class_mask & kStopLowerCase)) {
    low_suffix_ = platform::FoldUpper(low_suffix_);
    high_suffix_ = platform::FoldUpper(high_suffix_);
  }
  low_number_ = SuffixNumber(low_suffix_);
  high_number_ = SuffixNumber(high_suffix_);
  stop_step_ = (high_number_ - low_number_) / kLastStop;
  stop_counter_ = 0;
}

std::int32_t StringStops::SuffixNumber(std::string_view suffix) const {
  const std::int32_t base = AlphabetLength() + 1;
  const std::size_t used = TrimmedLength(suffix);
  std::int32_t number = 0;
  for (std::size_t j = 0; j < kSuffixLength; ++j) {
    number *= base;
    if (j < used) {
      std::size_t at = alphabet_.find(suffix[j]);
      if (at != std::string::npos) number += static_cast<std::int32_t>(at) + 1;
    }
  }
  return number;
}

std::string StringStops::NextStringStop() {
  const std::int32_t k = stop_counter_++;
  std::string suffix;
  if (k == 0) {
    suffix = low_suffix_;
  } else if (k == kLastStop) {
    suffix = high_suffix_;
  } else {
    const std::int32_t base = AlphabetLength() + 1;
    std::int32_t n = low_number_ + stop_step_ * k;
    suffix.assign(kSuffixLength, ' ');
    // Least significant digit first, written from the right; digit 0 (no character) is a blank,
    // which sorts before every letter and so keeps the stops in number order.
    for (int pos = kSuffixLength - 1; pos >= 0; --pos) {
      std::int32_t d = n % base;
      n = (n - d) / base;
      suffix[static_cast<std::size_t>(pos)] = d == 0 ? ' ' : alphabet_[static_cast<std::size_t>(d - 1)];
    }
  }
  return prefix_ + suffix;
}

void RealStops::SetupRealStops(double low, double high) {
  low_ = low;
  high_ = high;
  step_ = (high - low) / 99.0;
  counter_ = 0;
}

double RealStops::NextRealStop() {
  const std::int32_t k = counter_++;
  if (k == 0) return low_;
  if (k == kLastStop) return high_;
  return low_ + step_ * k;
}

}  // namespace browse
