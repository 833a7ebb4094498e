// Display pictures on their edge values, both ways.
#include "runtime/picture.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(DatePicture, ShowsMonthDayAndTwoDigitYearWithoutZeroFill) {
  EXPECT_EQ(FormatNumber("@d1", 4), "1/1/01");  // the first day of the calendar
  EXPECT_EQ(FormatNumber("@d1", DateFromYmd(2024, 3, 1)), "3/1/24");
  EXPECT_EQ(FormatNumber("@d1", DateFromYmd(2000, 12, 31)), "12/31/00");
  EXPECT_EQ(FormatNumber("@d1", DateFromYmd(2024, 2, 29)), "2/29/24");
  EXPECT_EQ(FormatNumber("@d1", kLastDate), "12/31/99");
}

TEST(DatePicture, ShowsBlankOutsideTheCalendar) {
  EXPECT_EQ(FormatNumber("@d1", 0), "");
  EXPECT_EQ(FormatNumber("@d1", 3), "");
  EXPECT_EQ(FormatNumber("@d1", -5), "");
  EXPECT_EQ(FormatNumber("@d1", kLastDate + 1), "");
}

TEST(DatePicture, DayNumbersCountFromTheLastDaysOf1800) {
  EXPECT_EQ(DateFromYmd(1801, 1, 1), 4);
  EXPECT_EQ(DateFromYmd(1800, 12, 31), 0);  // before the calendar: no such date
  EXPECT_EQ(DateFromYmd(2023, 2, 29), 0);
  EXPECT_EQ(DateFromYmd(2024, 13, 1), 0);
  int y, m, d;
  YmdFromDate(DateFromYmd(1999, 12, 31) + 1, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
}

TEST(DatePicture, ReadsTypedDatesBackAndRejectsImpossibleOnes) {
  EXPECT_EQ(ParseNumber("@d1", "3/1/24"), DateFromYmd(2024, 3, 1));
  EXPECT_EQ(ParseNumber("@d1", "12/31/49"), DateFromYmd(2049, 12, 31));
  EXPECT_EQ(ParseNumber("@d1", "1/1/50"), DateFromYmd(1950, 1, 1));
  EXPECT_EQ(ParseNumber("@d1", "1/1/1801"), 4);
  EXPECT_EQ(ParseNumber("@d1", "  "), 0);
  EXPECT_EQ(ParseNumber("@d1", "2/30/24"), std::nullopt);
  EXPECT_EQ(ParseNumber("@d1", "13/1/24"), std::nullopt);
  EXPECT_EQ(ParseNumber("@d1", "3-1-24"), std::nullopt);
  EXPECT_EQ(ParseNumber("@d1", "3/1/"), std::nullopt);
  EXPECT_EQ(ParseNumber("@d1", "3/1/124"), std::nullopt);
}

TEST(TimePicture, ShowsTwelveHourClockWithAmPm) {
  EXPECT_EQ(FormatNumber("@t3", 0), "12:00AM");
  EXPECT_EQ(FormatNumber("@t3", 5999), "12:00AM");  // hundredths below a minute are not shown
  EXPECT_EQ(FormatNumber("@t3", 6000), "12:01AM");
  EXPECT_EQ(FormatNumber("@t3", 9 * 360000 + 5 * 6000), "9:05AM");
  EXPECT_EQ(FormatNumber("@t3", 12 * 360000), "12:00PM");
  EXPECT_EQ(FormatNumber("@t3", 13 * 360000 + 30 * 6000), "1:30PM");
  EXPECT_EQ(FormatNumber("@t3", kHundredthsPerDay - 1), "11:59PM");
  EXPECT_EQ(FormatNumber("@t3", kHundredthsPerDay), "");
  EXPECT_EQ(FormatNumber("@t3", -1), "");
}

TEST(TimePicture, ReadsTypedTimesBack) {
  EXPECT_EQ(ParseNumber("@t3", "12:00AM"), 0);
  EXPECT_EQ(ParseNumber("@t3", "12:00pm"), 12 * 360000);
  EXPECT_EQ(ParseNumber("@t3", "1:30PM"), 13 * 360000 + 30 * 6000);
  EXPECT_EQ(ParseNumber("@t3", "23:59"), 23 * 360000 + 59 * 6000);
  EXPECT_EQ(ParseNumber("@t3", "13:00PM"), std::nullopt);
  EXPECT_EQ(ParseNumber("@t3", "0:00AM"), std::nullopt);
  EXPECT_EQ(ParseNumber("@t3", "9:60AM"), std::nullopt);
  EXPECT_EQ(ParseNumber("@t3", "24:00"), std::nullopt);
}

TEST(NumberPicture, ShowsUpToItsDigitsAndMarksOverflow) {
  EXPECT_EQ(FormatNumber("@n3", 0), "0");
  EXPECT_EQ(FormatNumber("@n3", 15), "15");
  EXPECT_EQ(FormatNumber("@n3", 999), "999");
  EXPECT_EQ(FormatNumber("@n3", 1000), "###");
  EXPECT_EQ(FormatNumber("@n3", -1), "###");
  EXPECT_EQ(ParseNumber("@n3", "099"), 99);
  EXPECT_EQ(ParseNumber("@n3", " 7 "), 7);
  EXPECT_EQ(ParseNumber("@n3", "1000"), std::nullopt);
  EXPECT_EQ(ParseNumber("@n3", "1a"), std::nullopt);
  EXPECT_EQ(ParseNumber("@n3", "-1"), std::nullopt);
}

TEST(TextPicture, CutsToItsWidthAndDropsTrailingBlanks) {
  EXPECT_EQ(FormatText("@s5", "ABCDEFG"), "ABCDE");
  EXPECT_EQ(FormatText("@s5", "AB   "), "AB");
  EXPECT_EQ(FormatText("@s30", ""), "");
  EXPECT_TRUE(IsTextPicture("@s80"));
  EXPECT_FALSE(IsTextPicture("@d1"));
}

// The widest text each picture shows fits the width a control of natural size is given.
TEST(PictureWidth, HoldsTheLongestValueThePictureShows) {
  EXPECT_EQ(PictureWidth("@s40"), 40);
  EXPECT_EQ(PictureWidth("@n3"), 3);
  EXPECT_EQ(PictureWidth("@d1"), static_cast<int>(FormatNumber("@d1", DateFromYmd(1999, 12, 31)).size()));
  EXPECT_EQ(PictureWidth("@t3"), static_cast<int>(FormatNumber("@t3", (12 * 60 + 59) * 6000).size()));
  EXPECT_EQ(PictureWidth(""), 0);
}

}  // namespace
}  // namespace rt
