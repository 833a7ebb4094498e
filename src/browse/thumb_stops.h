// Scroll-thumb stops: 100 key values spread evenly between the first and the last key of a file, so
// that a page-loaded list can place its thumb, and seek from a dragged thumb, without counting
// records. One generator for string keys, one for numeric keys; the browse engine uses them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace browse {

// Character classes of the string-stop alphabet, as bits of a class mask.
inline constexpr int kStopLetters = 1;
inline constexpr int kStopPunctuation = 2;
inline constexpr int kStopDigits = 4;
inline constexpr int kStopLowerCase = 8;  // admits lower-case letters; keeps suffixes as they are

class StringStops {
 public:
  // Prepares stops 0..99 between `low` and `high` (the first and last key values) for a key field
  // `width` characters wide. `letters_only` replaces the class mask by kStopLetters.
  void SetupStringStops(int width, int class_mask, bool letters_only, std::string_view low,
                        std::string_view high);
  // The next stop: the common prefix followed by 4 suffix characters. The 100 calls after a setup
  // return stops 0 to 99.
  std::string NextStringStop();
  void AddAlphabetChar(char c);

  // State, readable for tests and diagnostics.
  const std::string& Alphabet() const { return alphabet_; }
  std::int32_t AlphabetLength() const { return static_cast<std::int32_t>(alphabet_.size()); }
  const std::string& CommonPrefix() const { return prefix_; }
  const std::string& LowSuffix() const { return low_suffix_; }
  const std::string& HighSuffix() const { return high_suffix_; }
  std::int32_t LowNumber() const { return low_number_; }
  std::int32_t HighNumber() const { return high_number_; }
  std::int32_t StopStep() const { return stop_step_; }

 private:
  std::int32_t SuffixNumber(std::string_view suffix) const;

  std::string alphabet_;
  std::string prefix_;
  std::string low_suffix_ = "    ";
  std::string high_suffix_ = "    ";
  std::int32_t low_number_ = 0;
  std::int32_t high_number_ = 0;
  std::int32_t stop_step_ = 0;
  std::int32_t stop_counter_ = 0;
};

class RealStops {
 public:
  void SetupRealStops(double low, double high);
  double NextRealStop();

 private:
  double low_ = 0;
  double high_ = 0;
  double step_ = 0;
  std::int32_t counter_ = 0;
};

}  // namespace browse
