// Moments and durations as people and machines read them, on their edges: midnight and the day's
// last hundredth, the calendar's ends, a minute's and an hour's turn, days, and int64's ends.
#include "platform/time_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace platform {
namespace {

TEST(TimeText, MomentsShortForPeopleIsoForMachinesNumbersOutOfRange) {
  const std::int32_t day = DayNumber(2026, 12, 8);
  const struct {
    Moment moment;
    const char* shown;  // the fixed forms: POSIX has no short forms of its own
    const char* iso;
  } cases[] = {
      {{day, 0}, "12/8/26 12:00AM", "2026-12-08T00:00:00"},
      {{day, kHundredthsPerDay - 1}, "12/8/26 11:59PM", "2026-12-08T23:59:59"},
      {{day, 12 * 360000 + 5 * 6000 + 1399}, "12/8/26 12:05PM", "2026-12-08T12:05:13"},
      {{4, 100}, "1/1/01 12:00AM", "1801-01-01T00:00:01"},
      {{DayNumber(9999, 12, 31), 0}, "12/31/99 12:00AM", "9999-12-31T00:00:00"},
      {{3, 0}, "(day 3) 12:00AM", ""},
      {{DayNumber(10000, 1, 1), 0}, "(day 2994627) 12:00AM", ""},
      {{day, kHundredthsPerDay}, "12/8/26 (time 8640000)", ""},
      {{day, -1}, "12/8/26 (time -1)", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "day " << c.moment.date << ", time " << c.moment.time);
    EXPECT_EQ(MomentText(c.moment), c.shown);
    EXPECT_EQ(IsoMomentText(c.moment), c.iso);
  }
}

TEST(TimeText, DurationsToWholeSecondsForPeopleIsoForMachines) {
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::int64_t hundredths;
    const char* shown;
    const char* iso;
  } cases[] = {
      {0, "0:00", "PT0.00S"},
      {99, "0:00", "PT0.99S"},
      {5999, "0:59", "PT59.99S"},
      {6000, "1:00", "PT60.00S"},
      {359999, "59:59", "PT3599.99S"},
      {360000, "1:00:00", "PT3600.00S"},
      {2 * 8640000 + 3790, "48:00:37", "PT172837.90S"},
      {-150, "-0:01", ""},
      {kMost, "25620477880152:09:18", "PT92233720368547758.07S"},
      {-kMost - 1, "-25620477880152:09:18", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hundredths << " hundredths");
    EXPECT_EQ(DurationText(c.hundredths), c.shown);
    EXPECT_EQ(IsoDurationText(c.hundredths), c.iso);
  }
}

}  // namespace
}  // namespace platform
