// Display pictures: formatting bound values for controls and reading typed text back.
#include "runtime/picture.h"

#include <cctype>
#include <chrono>
#include <cstdlib>

namespace rt {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The number after the picture's type letter: "@n3" -> 3, "@s80" -> 80; 0 when there is none.
int Width(std::string_view picture) {
  std::size_t i = 2;
  int n = 0;
  while (i < picture.size() && std::isdigit(static_cast<unsigned char>(picture[i])))
    n = n * 10 + (picture[i++] - '0');
  return n;
}

char Type(std::string_view picture) {
  if (picture.size() < 2 || picture[0] != '@') return 's';
  return static_cast<char>(std::tolower(static_cast<unsigned char>(picture[1])));
}

// Reads an unsigned decimal run at `pos`; false when there is none or it is too long.
bool ReadDigits(std::string_view s, std::size_t& pos, int max_digits, int& value) {
  std::size_t start = pos;
  value = 0;
  while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
    if (pos - start == static_cast<std::size_t>(max_digits)) return false;
    value = value * 10 + (s[pos++] - '0');
  }
  return pos > start;
}

}  // namespace

std::int32_t DateFromYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  const std::chrono::year_month_day ymd{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                        std::chrono::day(static_cast<unsigned>(day))};
  if (!ymd.ok()) return 0;
  const std::int32_t n = platform::DayNumber(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return n < kFirstDate || n > kLastDate ? 0 : n;
}

void YmdFromDate(std::int32_t date, int& year, int& month, int& day) {
  const platform::CalendarDate calendar = platform::DateOfDay(date);
  year = calendar.year;
  month = static_cast<int>(calendar.month);
  day = static_cast<int>(calendar.day);
}

bool IsTextPicture(std::string_view picture) { return Type(picture) == 's'; }

int PictureWidth(std::string_view picture) {
  if (picture.empty()) return 0;
  switch (Type(picture)) {
    case 'd': return 8;
    case 't': return 7;
    default: return Width(picture);
  }
}

std::string FormatText(std::string_view picture, std::string_view text) {
  int width = Width(picture);
  if (width > 0 && text.size() > static_cast<std::size_t>(width)) text = text.substr(0, width);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::string FormatNumber(std::string_view picture, std::int64_t value) {
  switch (Type(picture)) {
    case 'd': {
      if (value < kFirstDate || value > kLastDate) return "";
      int y, m, d;
      YmdFromDate(static_cast<std::int32_t>(value), y, m, d);
      return std::to_string(m) + "/" + std::to_string(d) + "/" + (y % 100 < 10 ? "0" : "") +
             std::to_string(y % 100);
    }
    case 't': {
      if (value < 0 || value >= kHundredthsPerDay) return "";
      std::int64_t minutes = value / 6000;
      int hour = static_cast<int>(minutes / 60);
      int minute = static_cast<int>(minutes % 60);
      int shown = hour % 12 == 0 ? 12 : hour % 12;
      return std::to_string(shown) + ":" + (minute < 10 ? "0" : "") + std::to_string(minute) +
             (hour < 12 ? "AM" : "PM");
    }
    case 'n': {
      int width = Width(picture);
      std::string text = std::to_string(value);
      if (width > 0 && (value < 0 || text.size() > static_cast<std::size_t>(width)))
        return std::string(static_cast<std::size_t>(width), '#');
      return text;
    }
    default:
      return FormatText(picture, std::to_string(value));
  }
}

std::optional<std::int64_t> ParseNumber(std::string_view picture, std::string_view text) {
  std::string_view s = Trim(text);
  if (s.empty()) return 0;
  std::size_t pos = 0;
  switch (Type(picture)) {
    case 'd': {
      int m, d, y;
      if (!ReadDigits(s, pos, 2, m) || pos >= s.size() || s[pos++] != '/') return std::nullopt;
      if (!ReadDigits(s, pos, 2, d) || pos >= s.size() || s[pos++] != '/') return std::nullopt;
      std::size_t year_start = pos;
      if (!ReadDigits(s, pos, 4, y) || pos != s.size()) return std::nullopt;
      if (pos - year_start == 2)
        y += y < 50 ? 2000 : 1900;
      else if (pos - year_start != 4)
        return std::nullopt;
      std::int32_t date = DateFromYmd(y, m, d);
      if (date == 0) return std::nullopt;
      return date;
    }
    case 't': {
      int h, m;
      if (!ReadDigits(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':') return std::nullopt;
      if (!ReadDigits(s, pos, 2, m) || m > 59) return std::nullopt;
      std::string_view rest = Trim(s.substr(pos));
      bool am = rest.size() == 2 && std::toupper(static_cast<unsigned char>(rest[0])) == 'A';
      bool pm = rest.size() == 2 && std::toupper(static_cast<unsigned char>(rest[0])) == 'P';
      if (rest.empty()) {
        if (h > 23) return std::nullopt;
      } else {
        if (!(am || pm) || std::toupper(static_cast<unsigned char>(rest[1])) != 'M' || h < 1 ||
            h > 12)
          return std::nullopt;
        h = h % 12 + (pm ? 12 : 0);
      }
      return (static_cast<std::int64_t>(h) * 60 + m) * 6000;
    }
    default: {
      int width = Width(picture);
      int value;
      if (!ReadDigits(s, pos, width > 0 ? width : 9, value) || pos != s.size()) return std::nullopt;
      return value;
    }
  }
}

}  // namespace rt
