// Today's date, the time of day and a monotonic tick, behind one interface so that tests can move
// time without sleeping. Used by the window runtime (timers) and by everything that stamps records.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

// Day numbers count from 28 December 1800 (day 0; day 4 is 1 January 1801): 1 January 1970 is
// day 61,730. The one home of that count, and of the hundredths in a day.
inline constexpr std::int32_t kUnixEpochDay = 61730;
inline constexpr std::int32_t kHundredthsPerDay = 8640000;

// The day number of a date of the (proleptic Gregorian) calendar.
constexpr std::int32_t DayNumber(int year, unsigned month, unsigned day) {
  const auto days = std::chrono::sys_days(std::chrono::year(year) / std::chrono::month(month) / std::chrono::day(day));
  return static_cast<std::int32_t>(days.time_since_epoch().count()) + kUnixEpochDay;
}

// The calendar date of a day number: DayNumber's inverse.
struct CalendarDate {
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
};
constexpr CalendarDate DateOfDay(std::int32_t day_number) {
  const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(day_number - kUnixEpochDay))};
  return {static_cast<int>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day())};
}

// A moment as the program stamps it: the day number and the hundredths of a second since
// midnight, 0 .. kHundredthsPerDay - 1.
struct Moment {
  std::int32_t date = 0;
  std::int32_t time = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The date and the time of day from one reading of the clock, so that a stamp never joins one
  // day's date to the next day's time (or one second's time to the next second's hundredths).
  virtual Moment Now() = 0;
  std::int32_t Today() { return Now().date; }
  std::int32_t TimeOfDay() { return Now().time; }
  // Hundredths of a second from an arbitrary start, like every other time the program counts;
  // never goes backwards, not even across midnight.
  virtual std::int64_t Ticks() = 0;
};

// The computer's local clock.
Clock& SystemClock();

// A clock that moves only when told: the headless runtime's time. Starts at the given day and time.
class VirtualClock final : public Clock {
 public:
  VirtualClock(std::int32_t today, std::int32_t time_of_day) : today_(today), time_(time_of_day) {}
  Moment Now() override { return {today_, time_}; }
  std::int64_t Ticks() override { return ticks_; }
  // Moves time forward by `hundredths`, rolling the date over at midnight.
  void Advance(std::int64_t hundredths) {
    ticks_ += hundredths;
    std::int64_t t = time_ + hundredths;
    today_ += static_cast<std::int32_t>(t / kHundredthsPerDay);
    time_ = static_cast<std::int32_t>(t % kHundredthsPerDay);
  }
  void Set(std::int32_t today, std::int32_t time_of_day) {
    today_ = today;
    time_ = time_of_day;
  }

 private:
  std::int32_t today_;
  std::int32_t time_;
  std::int64_t ticks_ = 0;
};

}  // namespace platform
