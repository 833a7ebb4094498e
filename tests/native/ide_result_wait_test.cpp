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
using std::chrono::hours;
using std::chrono::seconds;

TEST(ResultWaitTest, AnImportsFileCountsOnlyWhenItsStampOrSizeChangedSinceTheCommand) {
  struct Rewrite {
    const char* text;                    // written in place of "old"
    fs::file_time_type::duration shift;  // of the stamp, from the one it had
    ResultWait::Verdict verdict;
  };
  const Rewrite rewrites[] = {
      {"old", seconds(0), ResultWait::Verdict::kWaiting},
      {"imported", seconds(0), ResultWait::Verdict::kWritten},  // within one stamp (FAT's 2 s): its size tells
      {"old", -hours(1), ResultWait::Verdict::kWritten},        // a file server whose clock is behind ours
      {"old", seconds(2), ResultWait::Verdict::kWritten},
  };
  const store_test::InFreshDirectory in_folder;
  const fs::path& folder = in_folder.path();
  platform::VirtualClock clock(81513, 0);
  doubles::FakeIde ide(clock);
  auto lister = platform::MakeDirectoryLister();
  for (const Rewrite& rewrite : rewrites) {
    std::ofstream(folder / "INV.APP", std::ios::binary | std::ios::trunc) << "old";
    const fs::file_time_type before = fs::last_write_time(folder / "INV.APP") - hours(2);
    fs::last_write_time(folder / "INV.APP", before);
    ResultWait wait(*lister, ide, ide.Connect("ClarionWin"), ide::RowOf(ide::Operation::ImportTxa),
                    folder.string() + "/", "INV");
    wait.NoteBefore();
    wait.Start(0, 6000, 1000);
    std::ofstream(folder / "INV.APP", std::ios::binary | std::ios::trunc) << rewrite.text;
    fs::last_write_time(folder / "INV.APP", before + rewrite.shift);
    EXPECT_EQ(wait.Poll(10, ResultWait::Trigger::kFolderChanged), rewrite.verdict)
        << "\"" << rewrite.text << "\", stamp moved by " << std::chrono::duration_cast<seconds>(rewrite.shift).count()
        << " s";
  }
}

}  // namespace
