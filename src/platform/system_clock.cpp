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
  Moment Now() override {
    // One reading, split into whole seconds (for the local calendar) and the milliseconds after.
    const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const std::time_t seconds = static_cast<std::time_t>(since_epoch.count() / 1000);
    const auto hundredths = (since_epoch.count() % 1000) / 10;
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &seconds);
#else
    localtime_r(&seconds, &tm);
#endif
    // Days since 1970-01-01 of the local date, by the proleptic Gregorian calendar.
    auto days = std::chrono::sys_days(std::chrono::year(tm.tm_year + 1900) /
                                      std::chrono::month(static_cast<unsigned>(tm.tm_mon + 1)) /
                                      std::chrono::day(static_cast<unsigned>(tm.tm_mday)));
    return {static_cast<std::int32_t>(days.time_since_epoch().count()) + kUnixEpochDay,
            ((tm.tm_hour * 60 + tm.tm_min) * 60 + tm.tm_sec) * 100 + static_cast<std::int32_t>(hundredths)};
  }
  std::int64_t Ticks() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() /
           10;
  }
};

}  // namespace

Clock& SystemClock() {
  static LocalClock clock;
  return clock;
}

}  // namespace platform
