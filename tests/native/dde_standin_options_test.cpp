// ide-standin's settings: the settings file and the command line, which wins, and what is refused.
#include "standin_options.h"

#include <gtest/gtest.h>

namespace {

TEST(StandInOptions, SettingsFileThenCommandLine) {
  standin::Options options;
  std::vector<std::string> errors;
  standin::ReadSettings(
      "; CW20.ini for a test\r\n"
      "[ide-standin]\r\n"
      "write_delay_ms = 250\r\n"
      "refuse=1\r\n"
      "error_number=1234\r\n"
      "error_message = Project has 3 errors \r\n"
      "log=C:\\temp\\standin.log\r\n"
      "\r\n"
      "# the last line has no line break\n"
      "ack_delay_ms=4000",
      options, errors);
  EXPECT_TRUE(errors.empty()) << errors.front();
  standin::ReadArguments({"--write_delay_ms=10", "--never_write", "--refuse=0", "--ack_delay_commands=1", "--busy_commands=3",
                          "--refuse_containing=PAYROLL", "--die_at_command=2", "--die_after_ms=1500", "--write_at_ack",
                          "--end_at_command=3"},
                         options,
                         errors);
  EXPECT_TRUE(errors.empty()) << errors.front();

  EXPECT_EQ(options.write_delay_ms, 10);
  EXPECT_FALSE(options.refuse);
  EXPECT_EQ(options.refuse_containing, "PAYROLL");
  EXPECT_EQ(options.error_number, 1234);
  EXPECT_EQ(options.error_message, "Project has 3 errors");
  EXPECT_EQ(options.log, "C:\\temp\\standin.log");
  EXPECT_EQ(options.ack_delay_ms, 4000);
  EXPECT_EQ(options.ack_delay_commands, 1);
  EXPECT_EQ(options.busy_commands, 3);
  EXPECT_TRUE(options.never_write);
  EXPECT_FALSE(options.quit_command);
  EXPECT_EQ(options.startup_delay_ms, 0);
  EXPECT_EQ(options.die_at_command, 2);
  EXPECT_EQ(options.die_after_ms, 1500);
  EXPECT_TRUE(options.write_at_ack);
  EXPECT_EQ(options.end_at_command, 3);
}

TEST(StandInOptions, BadSettingsAreReportedAndLeaveTheDefaults) {
  standin::Options options;
  std::vector<std::string> errors;
  standin::ReadSettings("colour=blue\nwrite_delay_ms=-5\nerror_number=65536\nrefuse=yes\njust text\n", options, errors);
  standin::ReadArguments({"write_delay_ms=5", "--ack_delay_ms=1s"}, options, errors);
  ASSERT_EQ(errors.size(), 7u);
  EXPECT_NE(errors[0].find("line 1"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("colour"), std::string::npos) << errors[0];
  EXPECT_NE(errors[4].find("line 5"), std::string::npos) << errors[4];
  EXPECT_EQ(options.write_delay_ms, standin::Options{}.write_delay_ms);
  EXPECT_EQ(options.error_number, standin::Options{}.error_number);
  EXPECT_EQ(options.ack_delay_ms, 0);
  EXPECT_FALSE(options.refuse);
}

}  // namespace
