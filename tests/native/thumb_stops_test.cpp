// The scroll-thumb stop generators: the worked example, padding and prefixes, and the real stops.
#include "browse/thumb_stops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace browse {
namespace {

std::vector<std::string> AllStops(StringStops& g) {
  std::vector<std::string> stops;
  for (int k = 0; k < 100; ++k) stops.push_back(g.NextStringStop());
  return stops;
}

TEST(StringStops, EchoToGolfSpreadsOverBase27Numbers) {
  StringStops g;
  g.SetupStringStops(4, kStopLetters, false, "ECHO", "GOLF");
  EXPECT_EQ(g.Alphabet(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(g.CommonPrefix(), "");
  EXPECT_EQ(g.LowNumber(), 100833);
  EXPECT_EQ(g.HighNumber(), 149046);
  EXPECT_EQ(g.StopStep(), 487);
  auto stops = AllStops(g);
  EXPECT_EQ(stops[0], "ECHO");
  EXPECT_EQ(stops[1], "ECZP");
  EXPECT_EQ(stops[98], "GNUE");
  EXPECT_EQ(stops[99], "GOLF");
  // Stops rise with their numbers, so the thumb moves one way through the file.
  for (int k = 1; k < 100; ++k) EXPECT_LE(stops[k - 1], stops[k]) << k;
}

TEST(StringStops, SharedDirectoryBecomesThePrefix) {
  StringStops g;
  g.SetupStringStops(80, kStopLetters, false, "D:\\APPS\\ALPHA", "D:\\APPS\\OMEGA");
  EXPECT_EQ(g.CommonPrefix(), "D:\\APPS\\");
  EXPECT_EQ(g.LowSuffix(), "ALPH");
  EXPECT_EQ(g.HighSuffix(), "OMEG");
  EXPECT_EQ(g.NextStringStop(), "D:\\APPS\\ALPH");
}

TEST(StringStops, ShortHighValueIsPaddedWithTheLastAlphabetCharacter) {
  StringStops g;
  g.SetupStringStops(80, kStopLetters, false, "ABE", "ABF");
  EXPECT_EQ(g.CommonPrefix(), "AB");
  EXPECT_EQ(g.LowSuffix(), "E   ");
  EXPECT_EQ(g.HighSuffix(), "FZZZ");
}

TEST(StringStops, OneShortRecordGivesItsKeyAsPrefixAndTheWholeRangeAfterIt) {
  StringStops g;
  g.SetupStringStops(80, kStopLetters, false, "C:\\WORK\\", "C:\\WORK\\");
  EXPECT_EQ(g.CommonPrefix(), "C:\\WORK\\");
  EXPECT_EQ(g.LowSuffix(), "    ");
  EXPECT_EQ(g.LowNumber(), 0);
  EXPECT_EQ(g.HighSuffix(), "ZZZZ");
}

TEST(StringStops, EqualValuesFillingTheWidthGiveOneRepeatedStop) {
  StringStops g;
  g.SetupStringStops(4, kStopLetters, false, "ABCD", "ABCD");
  EXPECT_EQ(g.CommonPrefix(), "ABCD");
  EXPECT_EQ(g.LowSuffix(), "    ");
  EXPECT_EQ(g.HighSuffix(), "    ");
  EXPECT_EQ(g.StopStep(), 0);
  auto stops = AllStops(g);
  EXPECT_EQ(std::set<std::string>(stops.begin(), stops.end()).size(), 1u);
  EXPECT_EQ(stops[50], "ABCD    ");
}

TEST(StringStops, LowerCaseIsFoldedAndCharactersOutsideTheAlphabetCountZero) {
  StringStops lower, upper;
  lower.SetupStringStops(4, kStopLetters, false, "echo", "golf");
  upper.SetupStringStops(4, kStopLetters, false, "ECHO", "GOLF");
  EXPECT_EQ(lower.LowNumber(), upper.LowNumber());
  EXPECT_EQ(lower.HighNumber(), upper.HighNumber());

  StringStops g;
  g.SetupStringStops(4, kStopLetters, false, "A:1B", "Z:2C");
  // ':' and the digits are not letters: they add nothing to their place.
  EXPECT_EQ(g.LowNumber(), ((1 * 27 + 0) * 27 + 0) * 27 + 2);
}

TEST(StringStops, ClassMaskChoosesTheAlphabet) {
  StringStops g;
  g.SetupStringStops(4, kStopDigits | kStopPunctuation, false, "", "");
  EXPECT_EQ(g.AlphabetLength(), 40);
  EXPECT_EQ(g.Alphabet().front(), ' ');  // ascending character codes
  EXPECT_EQ(g.Alphabet().back(), '\xA3');
  g.SetupStringStops(4, kStopLetters | kStopLowerCase, false, "", "");
  EXPECT_EQ(g.AlphabetLength(), 52);
  g.SetupStringStops(4, kStopDigits | kStopLowerCase, true, "", "");  // letters only wins
  EXPECT_EQ(g.Alphabet(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

TEST(StringStops, EverySetupRestartsAtStopZero) {
  StringStops g;
  g.SetupStringStops(4, kStopLetters, false, "ECHO", "GOLF");
  g.NextStringStop();
  g.NextStringStop();
  g.SetupStringStops(4, kStopLetters, false, "ECHO", "GOLF");
  EXPECT_EQ(g.NextStringStop(), "ECHO");
}

TEST(RealStops, HundredDaysGiveEveryDayOnce) {
  RealStops g;
  g.SetupRealStops(70000, 70099);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(static_cast<std::int32_t>(g.NextRealStop()), 70000 + k) << k;
}

TEST(RealStops, TwoDaysGiveTheFirstUntilTheLastStop) {
  RealStops g;
  g.SetupRealStops(70000, 70001);
  for (int k = 0; k < 99; ++k) EXPECT_EQ(static_cast<std::int32_t>(g.NextRealStop()), 70000) << k;
  EXPECT_EQ(static_cast<std::int32_t>(g.NextRealStop()), 70001);
}

}  // namespace
}  // namespace browse
