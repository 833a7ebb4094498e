// Main under the headless runtime: it opens its window, dispatches by event kind before control,
// and ends with the window.
#include "windows/main.h"

#include <gtest/gtest.h>

#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "shell/program.h"
#include "shell/startup.h"
#include "windows/main_def.h"

namespace windows {
namespace {

namespace f = main_field;
using rt::EventKind;

class MainTest : public ::testing::Test {
 protected:
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  shell::Program program_{runtime_};
};

TEST_F(MainTest, CloseButtonEndsTheProgramWithExitCodeZero) {
  backend_.script().In("MAIN$WINDOW").Press(f::Close);
  EXPECT_EQ(shell::RunProgram(runtime_), 0);
  EXPECT_TRUE(backend_.script().Done());
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_STREQ(backend_.program_icon(), "RUZOZIZ.ICO");
}

TEST_F(MainTest, ClosingTheWindowReturnsCancelledAndClearsTheRequest) {
  program_.GlobalRequest = shell::ChangeRecord;
  backend_.script().CloseBox();
  Main(program_);
  EXPECT_EQ(program_.GlobalRequest, 0);
  EXPECT_EQ(program_.GlobalResponse, shell::RequestCancelled);
}

TEST_F(MainTest, OpensWithFifteenMinutesAndTheListFocusedAtEveryStart) {
  for (int start = 0; start < 2; ++start) {
    SCOPED_TRACE(start);
    backend_.script()
        .Inspect([](rt::Window& w) {
          EXPECT_EQ(w.definition().title, std::string("Nightjar (Batchwright)"));
          EXPECT_EQ(w.state(f::TimeOut).text, "15");
          EXPECT_FALSE(w.state(f::ServerActive).checked);
          EXPECT_EQ(w.state(f::LastAction).text, "");
          EXPECT_EQ(w.FocusField(), f::Browse_1);
        })
        .Spin(f::TimeOut, 1)
        .Spin(f::TimeOut, 1)
        .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::TimeOut).text, "17"); })
        .CloseBox();
    Main(program_);
    EXPECT_TRUE(backend_.script().Done());
  }
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

TEST_F(MainTest, ButtonsWithoutActionsYetLeaveTheWindowOpen) {
  backend_.script();
  for (int field : {f::MakeExe, f::MakeDll, f::ExportTxa, f::ImportTxa, f::ImportDct, f::ExportDct,
                    f::Connect, f::Disconnect, f::Tag, f::Insert, f::Change, f::Delete, f::Log})
    backend_.script().Press(field);
  backend_.script().Inspect([](rt::Window& w) { EXPECT_FALSE(w.IsClosed()); }).Press(f::Close);
  Main(program_);
  EXPECT_TRUE(backend_.script().Done());
}

}  // namespace
}  // namespace windows
