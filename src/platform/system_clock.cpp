// The local clock on any platform, through the C++ standard library: local date and time of day for
// stamping records, and a steady tick for timers.
#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace platform {
namespace {

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
    return {DayNumber(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)),
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
