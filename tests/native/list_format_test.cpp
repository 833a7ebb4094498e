// Parsing list column formats into the columns a backend lays out.
#include "runtime/list_format.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(ListFormat, ReadsWidthsAlignmentIndentsHeadersAndPictures) {
  auto columns = ParseListFormat("97L~Application~@s40@36R~Date~L@d1@34L(2)~Time~L(0)@t3@240L~Event~@s80@");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), 4u);
  const ColumnFormat& date = (*columns)[1];
  EXPECT_EQ(date.width, 36);
  EXPECT_EQ(date.align, Align::Right);
  EXPECT_EQ(date.header, "Date");
  EXPECT_EQ(date.header_align, Align::Left);
  EXPECT_EQ(date.picture, "@d1");
  const ColumnFormat& time = (*columns)[2];
  EXPECT_EQ(time.indent, 2);
  EXPECT_EQ(time.header_indent, 0);
  EXPECT_EQ((*columns)[3].width, 240);
  EXPECT_EQ((*columns)[3].picture, "@s80");
}

TEST(ListFormat, ReadsIconColourBorderAndScrollColumns) {
  auto columns = ParseListFormat("8C*I@s1@88L|~Drive & Path~S(88)@s80@48L(1)~Application~L(2)@s12@");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), 3u);
  EXPECT_TRUE((*columns)[0].icon);
  EXPECT_TRUE((*columns)[0].colours);
  EXPECT_EQ((*columns)[0].align, Align::Center);
  EXPECT_TRUE((*columns)[0].header.empty());
  EXPECT_TRUE((*columns)[1].right_border);
  EXPECT_EQ((*columns)[1].scroll_width, 88);
  EXPECT_EQ((*columns)[1].header, "Drive & Path");
  EXPECT_EQ((*columns)[2].indent, 1);
  EXPECT_EQ((*columns)[2].header_indent, 2);
}

TEST(ListFormat, RejectsMalformedText) {
  for (const char* bad : {"L@s1@", "8X@s1@", "8L~open@s1@", "8L@s1", "8L(2@s1@", "8LS(x)@s1@"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseListFormat(bad));
  }
  EXPECT_TRUE(ParseListFormat(""));
}

}  // namespace
}  // namespace rt
