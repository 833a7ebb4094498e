// Today's date, the time of day and a monotonic tick, behind one interface so that tests can move
// time without sleeping. Used by the window runtime (timers) and by everything that stamps records.
#pragma once

#include <cstdint>

namespace platform {

// A moment as the program stamps it: the day number (counted from 28 December 1800; day 4 is
// 1 January 1801) and the hundredths of a second since midnight, 0 .. 8,639,999.
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
    today_ += static_cast<std::int32_t>(t / kDay);
    time_ = static_cast<std::int32_t>(t % kDay);
  }
  void Set(std::int32_t today, std::int32_t time_of_day) {
    today_ = today;
    time_ = time_of_day;
  }

 private:
  static constexpr std::int64_t kDay = 8640000;
  std::int32_t today_;
  std::int32_t time_;
  std::int64_t ticks_ = 0;
};

}  // namespace platform
