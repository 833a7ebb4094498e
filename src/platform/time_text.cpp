// Moments and durations as text: see time_text.h. The system's short forms are in win32/ and posix/.
#include "platform/time_text.h"

#include <cstdio>

namespace platform {

std::string ShortDateText(std::int32_t date) {
  if (!InCalendar(date)) return "(day " + std::to_string(date) + ")";
  std::string text;
  return SystemDateText(DateOfDay(date), text) ? text : FixedDateText(date);
}

std::string ShortTimeText(std::int32_t time) {
  if (!InDay(time)) return "(time " + std::to_string(time) + ")";
  std::string text;
  const int minutes = time / 6000;
  return SystemTimeText(minutes / 60, minutes % 60, text) ? text : FixedTimeText(time);
}

std::string MomentText(Moment moment) { return ShortDateText(moment.date) + " " + ShortTimeText(moment.time); }

std::string IsoMomentText(Moment moment) {
  if (!InCalendar(moment.date) || !InDay(moment.time)) return "";
  const CalendarDate day = DateOfDay(moment.date);
  const int seconds = moment.time / 100;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", day.year, day.month, day.day, seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return text;
}

std::string IsoDurationText(std::int64_t hundredths) {
  if (hundredths < 0) return "";
  char text[48];
  std::snprintf(text, sizeof text, "PT%lld.%02lldS", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
  return text;
}

std::string DurationText(std::int64_t hundredths) {
  // In unsigned, so that the most negative value has its magnitude too.
  const std::uint64_t magnitude =
      hundredths < 0 ? 0 - static_cast<std::uint64_t>(hundredths) : static_cast<std::uint64_t>(hundredths);
  const unsigned long long seconds = magnitude / 100;
  const char* sign = hundredths < 0 ? "-" : "";
  char text[48];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%s%llu:%02llu:%02llu", sign, seconds / 3600, seconds / 60 % 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%s%llu:%02llu", sign, seconds / 60, seconds % 60);
  return text;
}

std::string FixedDateText(std::int32_t date) {
  const CalendarDate day = DateOfDay(date);
  char text[32];
  std::snprintf(text, sizeof text, "%u/%u/%02d", day.month, day.day, day.year % 100);
  return text;
}

std::string FixedTimeText(std::int32_t time) {
  const int minutes = time / 6000, hour = minutes / 60;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d%s", hour % 12 == 0 ? 12 : hour % 12, minutes % 60, hour < 12 ? "AM" : "PM");
  return text;
}

}  // namespace platform
