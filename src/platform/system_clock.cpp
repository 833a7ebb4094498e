// The local clock on any platform, through the C++ standard library: local date and time of day for
// stamping records, and a steady tick for timers.
#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

// Days from 1970-01-01 to 28 December 1800 is -61730 (day 0 of the program's count).
constexpr std::int32_t kUnixEpochDay = 61730;

class LocalClock final : public Clock {
 public:
  std::int32_t Today() override {
    std::tm tm = Local();
    // Days since 1970-01-01 of the local date, by the proleptic Gregorian calendar.
    auto days = std::chrono::sys_days(std::chrono::year(tm.tm_year + 1900) /
                                      std::chrono::month(static_cast<unsigned>(tm.tm_mon + 1)) /
                                      std::chrono::day(static_cast<unsigned>(tm.tm_mday)));
    return static_cast<std::int32_t>(days.time_since_epoch().count()) + kUnixEpochDay;
  }
  std::int32_t TimeOfDay() override {
    auto now = std::chrono::system_clock::now();
    std::tm tm = Local();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 100 + static_cast<int>(ms % 1000) / 10;
  }
  std::int64_t Ticks() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  static std::tm Local() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return tm;
  }
};

}  // namespace

Clock& SystemClock() {
  static LocalClock clock;
  return clock;
}

}  // namespace platform
