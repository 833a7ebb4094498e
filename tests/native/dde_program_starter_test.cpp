// Splitting command lines and the POSIX program starter: a started program really runs, and one
// that cannot be found or executed reports kFailed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/program_starter.h"

namespace {

using platform::SplitCommandLine;
using platform::StartResult;

TEST(SearchFolders, SplitsThePathSkipsEmptyEntriesAndEndsEachWithItsSeparator) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SearchFolders("/usr/bin::/opt/x/", ':', '/'), (V{"/usr/bin/", "/opt/x/"}));
  EXPECT_EQ(platform::SearchFolders("C:\\WIN;;C:\\TOOLS\\;", ';', '\\'), (V{"C:\\WIN\\", "C:\\TOOLS\\"}));
  EXPECT_TRUE(platform::SearchFolders("", ':', '/').empty());
}

TEST(SplitCommandLine, SeparatesAtBlanksAndKeepsQuotedBlanks) {
  EXPECT_EQ(SplitCommandLine("CW20"), std::vector<std::string>{"CW20"});
  EXPECT_EQ(SplitCommandLine("  ide-standin  --log=a.log\t--refuse=1 "),
            (std::vector<std::string>{"ide-standin", "--log=a.log", "--refuse=1"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\CW20.exe\" --error_message=\"Not today\""),
            (std::vector<std::string>{"C:\\Program Files\\CW20.exe", "--error_message=Not today"}));
  EXPECT_EQ(SplitCommandLine("a \"\" b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(PosixProgramStarter, StartedProgramRunsWithItsArguments) {
  std::filesystem::path fifo = std::filesystem::temp_directory_path() / ("nj-starter-" + std::to_string(getpid()));
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto starter = platform::MakeProgramStarter();
  ASSERT_EQ(starter->Start("sh -c \"echo started with $0 > '" + fifo.string() + "'\" one"), StartResult::kOk);

  // Opening the pipe for reading waits for the started program to open it for writing.
  int fd = open(fifo.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char text[64] = {};
  ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  std::filesystem::remove(fifo);
  ASSERT_GT(got, 0);
  EXPECT_EQ(std::string(text, static_cast<std::size_t>(got)), "started with one\n");
}

TEST(PosixProgramStarter, ProgramsThatCannotRunReportFailure) {
  auto starter = platform::MakeProgramStarter();
  EXPECT_EQ(starter->Start("nj-no-such-program --flag"), StartResult::kFailed);
  EXPECT_EQ(starter->Start("/nonexistent/folder/program"), StartResult::kFailed);
  EXPECT_EQ(starter->Start("/etc/hostname"), StartResult::kFailed) << "not executable";
  EXPECT_EQ(starter->Start(""), StartResult::kFailed);
}

}  // namespace
