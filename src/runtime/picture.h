// Display pictures: how a bound value is shown in a control and read back from what the user typed.
// "@sN" text of up to N characters, "@nN" a whole number of up to N digits, "@d1" a day number as
// m/d/yy, "@t3" a time of day (hundredths since midnight) as h:mm with AM or PM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace rt {

// Day numbers count from 28 December 1800: day 4 is 1 January 1801.
inline constexpr std::int32_t kFirstDate = 4;            // 1/1/1801
inline constexpr std::int32_t kLastDate = 2994626;       // 12/31/9999
inline constexpr std::int32_t kHundredthsPerDay = platform::kHundredthsPerDay;

std::int32_t DateFromYmd(int year, int month, int day);  // 0 when the date does not exist
void YmdFromDate(std::int32_t date, int& year, int& month, int& day);

// Shows a numeric value through a numeric, date or time picture. Dates outside the calendar show
// blank, as does day 0 (no date); times outside one day show blank; a number too wide for "@nN"
// shows N '#' characters.
std::string FormatNumber(std::string_view picture, std::int64_t value);
// Shows text through "@sN": cut to N characters, trailing blanks removed.
std::string FormatText(std::string_view picture, std::string_view text);

// Reads typed text back through a numeric, date or time picture; nullopt when the text does not fit
// the picture (the control then rejects its input). Blank text reads as 0. A two-digit year means
// 1950..2049.
std::optional<std::int64_t> ParseNumber(std::string_view picture, std::string_view text);

// The most characters a picture shows: N for "@sN" and "@nN", 8 for a date ("12/31/99"), 7 for a
// time ("12:59PM"); 0 when the picture does not say. A control of natural size is made this wide.
int PictureWidth(std::string_view picture);

// True for "@s" pictures (and no picture): values are text.
bool IsTextPicture(std::string_view picture);

}  // namespace rt
