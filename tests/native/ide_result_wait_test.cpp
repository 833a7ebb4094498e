// The wait's view of an application's folder: which changes to an awaited file that was there
// before the command count as the IDE's writing, whatever its clock or its file system's stamps.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "fake_ide.h"
#include "ide/result_wait.h"
#include "platform/clock.h"
#include "store/store_test_support.h"

namespace {

namespace fs = std::filesystem;
using ide::ResultWait;

struct Rewrite {
  const char* name;
  const char* text;           // written in place of "old"
  fs::file_time_type::duration shift;  // of the stamp, from the one it had
  ResultWait::Verdict verdict;
};

void PrintTo(const Rewrite& rewrite, std::ostream* out) { *out << rewrite.name; }

class ResultWaitTest : public ::testing::TestWithParam<Rewrite> {};

TEST_P(ResultWaitTest, AnImportsFileCountsOnlyWhenItsStampOrSizeChangedSinceTheCommand) {
  const Rewrite& rewrite = GetParam();
  const fs::path folder = store_test::FreshDirectory();
  const fs::path app = folder / "INV.APP";
  std::ofstream(app, std::ios::binary) << "old";
  const fs::file_time_type before = fs::last_write_time(app) - std::chrono::hours(2);
  fs::last_write_time(app, before);
  platform::VirtualClock clock(81513, 0);
  doubles::FakeIde ide(clock);
  auto lister = platform::MakeDirectoryLister();
  ResultWait wait(*lister, ide, ide.Connect("ClarionWin"), ide::RowOf(ide::Operation::ImportTxa),
                  folder.string() + "/", "INV");
  wait.NoteBefore();
  wait.Start(0, 6000, 1000);

  std::ofstream(app, std::ios::binary | std::ios::trunc) << rewrite.text;
  fs::last_write_time(app, before + rewrite.shift);
  EXPECT_EQ(wait.Poll(10, ResultWait::Trigger::kFolderChanged), rewrite.verdict);
  std::error_code error;
  fs::remove_all(folder, error);
}

using std::chrono::hours;
using std::chrono::seconds;
INSTANTIATE_TEST_SUITE_P(
    , ResultWaitTest,
    ::testing::Values(
        Rewrite{"AsItWas", "old", seconds(0), ResultWait::Verdict::kWaiting},
        // Written within one stamp of the last writing (FAT's two seconds): its size tells.
        Rewrite{"SameStampOtherSize", "imported", seconds(0), ResultWait::Verdict::kWritten},
        // A file server whose clock is behind ours stamps the new file earlier than the old.
        Rewrite{"EarlierStamp", "old", -hours(1), ResultWait::Verdict::kWritten},
        Rewrite{"LaterStamp", "old", seconds(2), ResultWait::Verdict::kWritten}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
