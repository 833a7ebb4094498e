// Main under the headless runtime: it opens its window, dispatches by event kind before control,
// reaches the IDE when it opens (warning when it is not running), runs a batch operation through
// its buttons, and ends with the window.
#include "procedures/main.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ide_fake_services.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/program.h"
#include "shell/startup.h"
#include "files/open_record_file.h"
#include "store/store_test_support.h"
#include "procedures/main_def.h"

namespace procedures {
namespace {

namespace f = main_field;
using rt::EventKind;

class MainTest : public ::testing::Test {
 protected:
  // Each test in a folder of its own: what one run keeps (the settings beside the records) must
  // not reach another test.
  store_test::InFreshDirectory folder_;
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices services_{backend_.virtual_clock()};  // the IDE is running
  procedures::Program program_{runtime_, services_.services};
};

TEST_F(MainTest, CloseButtonEndsTheProgramWithExitCodeZero) {
  backend_.script().In("MAIN$WINDOW").Press(f::Close);
  EXPECT_EQ(shell::RunProgram(runtime_, services_.services), 0);
  EXPECT_TRUE(backend_.script().Done());
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_STREQ(backend_.program_icon(), "RUZOZIZ.ICO");
  EXPECT_EQ(backend_.program_name(), "Nightjar");
}

TEST_F(MainTest, ClosingTheWindowReturnsCancelledAndClearsTheRequest) {
  program_.GlobalRequest = procedures::ChangeRecord;
  backend_.script().CloseBox();
  Main(program_);
  EXPECT_EQ(program_.GlobalRequest, 0);
  EXPECT_EQ(program_.GlobalResponse, procedures::RequestCancelled);
}

TEST_F(MainTest, OpensConnectedWithFifteenMinutesThenTheKeptTimeOutAndTheListFocused) {
  for (int start = 0; start < 2; ++start) {
    SCOPED_TRACE(start);
    auto& script = backend_.script().Inspect([start](rt::Window& w) {
      EXPECT_EQ(w.definition().title, std::string("Nightjar (Batchwright)"));
      EXPECT_EQ(w.state(f::TimeOut).text, start == 0 ? "15" : "17");
      EXPECT_TRUE(w.state(f::ServerActive).checked);
      EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW");
      EXPECT_EQ(w.FocusField(), f::Browse_1);
    });
    if (start == 0) script.Spin(f::TimeOut, 1).Spin(f::TimeOut, 1);
    script.Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::TimeOut).text, "17"); }).CloseBox();
    Main(program_);
    EXPECT_TRUE(backend_.script().Done());
  }
  EXPECT_TRUE(backend_.boxes().empty());
}

TEST_F(MainTest, WithoutTheIdeMainWarnsOnceShowsNotConnectedAndStaysUsable) {
  services_.ide.SetRunning(false);
  backend_.script()
      .Answer(rt::ButtonOk, "is not currently running")
      .Inspect([](rt::Window& w) {
        EXPECT_FALSE(w.state(f::ServerActive).checked);
        EXPECT_EQ(w.state(f::LastAction).text, "Not Connected");
        EXPECT_EQ(w.FocusField(), f::Browse_1);
      })
      .Press(f::Disconnect)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Disconnected"); })
      .Check(f::ServerActive, true)  // only the connection ticks the box
      .Inspect([](rt::Window& w) { EXPECT_FALSE(w.state(f::ServerActive).checked); })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(backend_.script().Done());
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Warning");
  EXPECT_TRUE(services_.starter.Started().empty());
}

TEST_F(MainTest, ConnectAndDisconnectShowTheirStateInTheWindow) {
  backend_.script()
      .Press(f::Disconnect)
      .Inspect([](rt::Window& w) {
        EXPECT_FALSE(w.state(f::ServerActive).checked);
        EXPECT_EQ(w.state(f::LastAction).text, "Disconnected");
      })
      .Press(f::Connect)
      .Inspect([](rt::Window& w) {
        EXPECT_TRUE(w.state(f::ServerActive).checked);
        EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW.");
      })
      .Press(f::Close);
  Main(program_);
  EXPECT_EQ(services_.ide.OpenChannels(), 1);
}

// A batch through Main's button, in a folder of its own: the list still moves its highlight while
// the batch waits, the batch goes on with its own applications, and afterwards the highlighted
// record is back in the record buffer although the batch and the list both read the file.
TEST_F(MainTest, TheMakeExeButtonRunsTheBatchAndRereadsTheHighlightedApplication) {
  namespace fs = std::filesystem;
  fs::path previous = fs::current_path();
  fs::path folder = store_test::FreshDirectory();
  fs::current_path(folder);
  std::string dir = folder.string() + "/";
  files::OpenRecordFile(runtime_, program_.files, program_.files.Apps);
  for (const char* name : {"A.APP", "B.APP"}) {  // stored A then B; the list shows A first
    program_.files.APP.DriveNPath = dir;
    program_.files.APP.Application = name;
    program_.files.APP.Tag = 1;
    program_.files.Apps.Add();
    std::ofstream(folder / name) << "application";
  }
  program_.files.Apps.Close();
  services_.ide.SetResultDelay(500);
  backend_.set_visible_rows(1);  // a page of one row: moving down loads the next page
  backend_.script()
      .Press(f::MakeExe)
      .Key(f::Browse_1, rt::key::kDown)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "A.APP DDE Ack.");
        EXPECT_EQ(w.state(f::Browse_1).source->CellAt(w.SelectedRow(f::Browse_1), 3).text, "B.APP");
      })
      .Wait(4000)  // no folder notifications here: the timer finds each result
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Processing Complete");
        EXPECT_EQ(program_.files.APP.Application.str(), "B.APP");
      })
      .Press(f::Close);
  Main(program_);
  EXPECT_EQ(services_.ide.Commands(),
            (std::vector<std::string>{"[ExecuteProject(" + dir + "A.app)]", "[ExecuteProject(" + dir + "B.app)]"}));
  program_.files.TempFile.Open();
  EXPECT_EQ(program_.files.TempFile.Records(), 4 + 1);  // and the batch's summary
  program_.files.TempFile.Close();
  fs::current_path(previous);
  fs::remove_all(folder);
}

TEST_F(MainTest, RejectedInputIsHandledByKindBeforeAnyControlAction) {
  // A control that refuses its input: beep, show its value again, keep the user on it.
  backend_.script()
      .Raise(EventKind::Rejected, f::TimeOut)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(backend_.beeps(), 1);
        EXPECT_EQ(w.FocusField(), f::TimeOut);
        EXPECT_EQ(w.state(f::TimeOut).text, "15");
      })
      // Rejected on a button is not a press: nothing but the beep happens, the window stays.
      .Raise(EventKind::Rejected, f::Close)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(backend_.beeps(), 2);
        EXPECT_FALSE(w.IsClosed());
      })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(backend_.script().Done());
}

TEST_F(MainTest, GainingFocusRedisplaysTheWindow) {
  backend_.script()
      .Raise(EventKind::GainFocus)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::TimeOut).text, "15"); })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(backend_.script().Done());
}

}  // namespace
}  // namespace procedures
