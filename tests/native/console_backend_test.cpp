// The console backend driven through its virtual waiter: timers at their virtual times, a folder
// change ahead of the next tick, boxes answered and written as lines, halt. Last, the system
// waiter on Linux against a real folder.
#include "runtime/console/console_backend.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace rt::console {
namespace {

ControlDef Button() {
  ControlDef c;
  c.name = "?Ok";
  c.kind = ControlKind::Button;
  return c;
}
const std::array kControls{Button()};
const WindowDef kTicking{.id = "TEST$TICKING", .title = "Ticking", .timer = 500, .controls = kControls};
const WindowDef kFast{.id = "TEST$FAST", .title = "Fast", .timer = 200, .controls = kControls};
const WindowDef kStill{.id = "TEST$STILL", .title = "Still", .controls = kControls};

// An event and the virtual tick it was taken at.
using Stamped = std::pair<Event, std::int64_t>;

class ConsoleBackendTest : public ::testing::Test {
 protected:
  // Takes events until `count` were taken or the window's loop ended.
  std::vector<Stamped> Take(Window& w, std::size_t count) {
    std::vector<Stamped> taken;
    while (taken.size() < count && w.Accept()) taken.push_back({w.event(), waiter_.virtual_clock().Ticks()});
    return taken;
  }
  VirtualWaiter waiter_;
  std::ostringstream messages_;
  ConsoleBackend backend_{waiter_, messages_, false};
  Runtime runtime_{backend_};
};

TEST_F(ConsoleBackendTest, TimersFireAtTheirVirtualTimesForEveryOpenWindow) {
  EXPECT_EQ(waiter_.virtual_clock().Today(), 81513);
  EXPECT_EQ(waiter_.virtual_clock().TimeOfDay(), 3240000);
  Window outer(runtime_, kTicking);
  EXPECT_EQ(Take(outer, 1), (std::vector<Stamped>{{{EventKind::OpenWindow, 0}, 0}}));
  {
    // The inner window takes the input; the outer one's timer still falls due (at 500) and its
    // event waits in the outer queue.
    Window inner(runtime_, kFast);
    std::vector<Stamped> expected{{{EventKind::OpenWindow, 0}, 0},
                                  {{EventKind::Timer, 0}, 200},
                                  {{EventKind::Timer, 0}, 400},
                                  {{EventKind::Timer, 0}, 600}};
    EXPECT_EQ(Take(inner, 4), expected);
    EXPECT_TRUE(outer.HasEvents());
  }
  // Back on top, the outer window takes its tick and then its next one at 1000.
  std::vector<Stamped> expected{{{EventKind::Timer, 0}, 600},
                                {{EventKind::GainFocus, 0}, 600},
                                {{EventKind::Timer, 0}, 1000}};
  EXPECT_EQ(Take(outer, 3), expected);
  outer.SetTimerPeriod(0);
  // With neither timer nor folder nothing could ever come: the window is closed.
  EXPECT_EQ(Take(outer, 5), (std::vector<Stamped>{{{EventKind::CloseWindow, 0}, 1000}}));
  EXPECT_TRUE(outer.IsClosed());
  Window still(runtime_, kStill);
  EXPECT_EQ(Take(still, 5), (std::vector<Stamped>{{{EventKind::OpenWindow, 0}, 1000},
                                                  {{EventKind::CloseWindow, 0}, 1000}}));
}

TEST_F(ConsoleBackendTest, ChangeInTheWatchedFolderComesBeforeTheNextTickAndOnlyForThatFolder) {
  const std::string folder = std::filesystem::temp_directory_path().string();
  Window w(runtime_, kTicking);
  EXPECT_FALSE(w.WatchDirectory("/no/such/folder/here"));
  ASSERT_TRUE(w.WatchDirectory(folder + "/"));
  waiter_.At(100, [&] { waiter_.Changed("/some/other/folder"); });
  waiter_.At(300, [&] { waiter_.Changed(folder); });
  waiter_.At(500, [&] { waiter_.Changed(folder + "//"); });  // at the tick: the change goes first
  std::vector<Stamped> expected{{{EventKind::OpenWindow, 0}, 0},
                                {{EventKind::DirectoryChanged, 0}, 300},
                                {{EventKind::DirectoryChanged, 0}, 500},
                                {{EventKind::Timer, 0}, 500},
                                {{EventKind::Timer, 0}, 1000}};
  EXPECT_EQ(Take(w, 5), expected);
  // A window that stops watching hears nothing of the folder any more.
  ASSERT_TRUE(w.WatchDirectory(""));
  waiter_.At(1200, [&] { waiter_.Changed(folder); });
  EXPECT_EQ(Take(w, 1), (std::vector<Stamped>{{{EventKind::Timer, 0}, 1500}}));
}

TEST(ConsoleBackendBoxes, AnsweredByTheRuleAndWrittenAsLines) {
  struct Case {
    int buttons;
    bool confirm;
    int answer;
  };
  const Case cases[] = {
      {ButtonYes | ButtonNo, false, ButtonNo},
      {ButtonYes | ButtonNo, true, ButtonYes},
      {ButtonYes | ButtonNo | ButtonCancel, false, ButtonNo},
      {ButtonOk | ButtonCancel, true, ButtonCancel},
      {ButtonOk, true, ButtonOk},
      {ButtonAbort | ButtonRetry | ButtonIgnore, false, ButtonAbort},
      {ButtonRetry | ButtonCancel, true, ButtonCancel},
  };
  for (const Case& c : cases) {
    VirtualWaiter waiter;
    std::ostringstream messages;
    ConsoleBackend backend(waiter, messages, c.confirm);
    EXPECT_EQ(backend.Message({.text = "Sure?", .buttons = c.buttons}), c.answer)
        << "buttons " << c.buttons << ", confirm " << c.confirm;
  }
  VirtualWaiter waiter;
  std::ostringstream messages;
  ConsoleBackend backend(waiter, messages, false);
  Runtime runtime(backend);
  runtime.Message("Record not found.\r\nTry again\nlater", "Warning", BoxIcon::Exclamation);
  runtime.Message("Done.");
  // Text another program wrote reaches the terminal with its control bytes shown, not obeyed.
  runtime.Message("Held by \x1B]0;owned\x07\x9D\tX");
  EXPECT_EQ(messages.str(), "Warning: Record not found. Try again later\nDone.\nHeld by \\x1B]0;owned\\x07\\x9D\\x09X\n");
  ASSERT_EQ(backend.boxes().size(), 3u);
  EXPECT_EQ(backend.boxes()[0].caption, "Warning");
  EXPECT_EQ(backend.boxes()[1].text, "Done.");
}

TEST(ConsoleBackendHalt, ThrowsWithTheTextAfterWritingIt) {
  VirtualWaiter waiter;
  std::ostringstream messages;
  ConsoleBackend backend(waiter, messages, true);
  Runtime runtime(backend);
  try {
    runtime.Halt("File APPS could not be opened");
    FAIL() << "Halt returned";
  } catch (const Halted& halted) {
    EXPECT_EQ(halted.text, "File APPS could not be opened");
  }
  EXPECT_EQ(messages.str(), "File APPS could not be opened\n");
}

#ifdef __linux__
// Real time and a real folder: bounded by a 10 s limit that a working watch beats by far; it
// never sleeps itself. Skipped where inotify is not available.
TEST(ConsoleSystemWaiter, FileWrittenFromAnotherThreadWakesTheWait_RealTime) {
  int probe = inotify_init1(IN_CLOEXEC);
  if (probe < 0) GTEST_SKIP() << "inotify is not available";
  close(probe);
  std::string pattern = (std::filesystem::temp_directory_path() / "nightjar-waiter-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::filesystem::path folder = pattern;

  std::unique_ptr<Waiter> waiter = MakeSystemWaiter();
  // Arms the watch; nothing has changed yet.
  EXPECT_FALSE(waiter->WaitUntil(waiter->clock().Ticks(), folder.string()));
  const std::int64_t limit = waiter->clock().Ticks() + 1000;
  std::thread writer([&] { std::ofstream(folder / "APP1.EXE") << "made"; });
  bool changed = false;
  while (!changed && waiter->clock().Ticks() < limit) changed = waiter->WaitUntil(limit, folder.string());
  writer.join();
  EXPECT_TRUE(changed);
  EXPECT_LT(waiter->clock().Ticks(), limit);
  std::filesystem::remove_all(folder);
}
#endif

}  // namespace
}  // namespace rt::console
