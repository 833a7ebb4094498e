// The one home of how moments and durations are written: for people, the system's short date and
// short time and one duration form; for machines (the JUnit report, the HTML report's data), ISO
// 8601. Used by the window's last results and tips, the console's lines and both reports. The
// pictures "@d1" and "@t3" stay the window's bound fields' and the activity log's columns' own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace platform {

// A day number of the calendar the program shows (1 January 1801 .. 31 December 9999), and a time
// of day (0 .. kHundredthsPerDay - 1). Anything else comes from a record another program wrote or a
// clock never set, and is never shown as a date or a time that never was.
constexpr bool InCalendar(std::int32_t date) {
  return date >= DayNumber(1801, 1, 1) && date <= DayNumber(9999, 12, 31);
}
constexpr bool InDay(std::int32_t time) { return time >= 0 && time < kHundredthsPerDay; }

// For people. The system's short date ("12/8/2026" for en-US on Windows) and its short time without
// seconds ("7:54 AM"), from the user's locale, in the code page; where the system gives none (POSIX)
// or gives one the code page cannot hold, the fixed forms below. A date out of the calendar is
// "(day N)", a time out of the day "(time N)".
std::string ShortDateText(std::int32_t date);
std::string ShortTimeText(std::int32_t time);
// The two with a space between: "12/8/26 7:54AM" on POSIX.
std::string MomentText(Moment moment);

// For machines: ISO 8601 local time to the second, "2026-12-08T07:40:13" (hundredths dropped);
// "" for a moment out of range, which a report then leaves out.
std::string IsoMomentText(Moment moment);

// A duration for machines: ISO 8601 in seconds, "PT37.90S" (as HTML's <time datetime> takes it);
// "" for a negative one, which ISO 8601 has no form for.
std::string IsoDurationText(std::int64_t hundredths);

// A duration for people, counted down to whole seconds as a stopwatch shows them: "M:SS" below an
// hour ("0:00" to "59:59"), "H:MM:SS" from an hour on, the hours running past a day ("50:00:00");
// a negative one with a "-" ahead. Any int64 value, none overflowing.
std::string DurationText(std::int64_t hundredths);

// The fixed forms, as the pictures "@d1" and "@t3" show them: "12/8/26" (m/d/yy, no zero-filling)
// and "7:54AM". Preconditions: InCalendar(date), InDay(time).
std::string FixedDateText(std::int32_t date);
std::string FixedTimeText(std::int32_t time);

// The system's own short forms of an in-range date and time; false where the system gives none
// (always on POSIX) or its text has a character the code page lacks. Behind ShortDateText and
// ShortTimeText only.
bool SystemDateText(CalendarDate day, std::string& out);
bool SystemTimeText(int hour, int minute, std::string& out);

}  // namespace platform
