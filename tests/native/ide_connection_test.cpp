// The IDE connection on the main window: the first attempt and its warning, Connect (with start-up,
// its bounded retries and its giving up), Disconnect, and CheckDDEError's reports.
#include <gtest/gtest.h>

#include "ide_test_support.h"
#include "runtime/window.h"
#include "procedures/main_def.h"

namespace ide_test {
namespace {

namespace f = procedures::main_field;
using doubles::CommandFault;
using Texts = std::vector<std::string>;

using ConnectionTest = IdeTest;

TEST_F(ConnectionTest, WithTheIdeRunningTheWindowOpensConnectedWithoutWarning) {
  script()
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW");
        EXPECT_TRUE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  EXPECT_TRUE(boxes().empty()) << Boxes();
  EXPECT_EQ(ide_.ConnectAttempts(), 1);
  EXPECT_TRUE(starter_.Started().empty());
}

TEST_F(ConnectionTest, WithoutTheIdeTheWindowOpensNotConnectedAndWarnsOnceWithoutStartingIt) {
  ide_.SetRunning(false);
  script()
      .Answer(rt::ButtonOk)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Not Connected");
        EXPECT_FALSE(w.state(f::ServerActive).checked);
        EXPECT_EQ(w.FocusField(), f::ConnectionGroup);
      })
      .Raise(rt::EventKind::GainFocus)
      .CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(boxes()[0].text,
            "Clarion for Windows is not currently running. For better control over your working environment, "
            "press \"Connect\" now.");
  EXPECT_EQ(boxes()[0].caption, "Warning");
  EXPECT_EQ(boxes()[0].icon, rt::BoxIcon::Stop);
  EXPECT_EQ(boxes()[0].buttons, rt::ButtonOk);
  EXPECT_TRUE(starter_.Started().empty());
  EXPECT_EQ(ide_.ConnectAttempts(), 1);
}

TEST_F(ConnectionTest, ConnectWhileConnectedOpensANewConversationInPlaceOfTheOld) {
  script()
      .Press(f::Connect)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW."); })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.ConnectAttempts(), 2);
  EXPECT_EQ(ide_.OpenChannels(), 1);
  EXPECT_EQ(state_.DDEChannel, 2);
  EXPECT_EQ(rereads_, 1);
}

TEST_F(ConnectionTest, ConnectStartsTheIdeOnceAndTriesAgainAtEachTickIgnoringButtons) {
  ide_.ComeUpWhenStarted(starter_, "CW20", 2);
  script()
      .Answer(rt::ButtonOk)
      .Press(f::Connect)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Waiting for CW to start"); })
      .Press(f::MakeExe)  // taken and ignored while the IDE starts
      .Wait(1000)
      .Wait(1000)
      .Wait(1000)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW.");
        EXPECT_TRUE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(starter_.Started(), Texts{"CW20"});
  EXPECT_EQ(ide_.ConnectAttempts(), 5);
  EXPECT_TRUE(ide_.Commands().empty());
  EXPECT_FALSE(std::filesystem::exists("TEMPFILE.db")) << "a batch ran";
  EXPECT_EQ(boxes().size(), 1u) << Boxes();
  EXPECT_EQ(rereads_, 1);
}

TEST_F(ConnectionTest, ConnectGivesUpAtOnceWhenCw20CannotBeStarted) {
  ide_.SetRunning(false);
  script()
      .Answer(rt::ButtonOk)
      .Press(f::Connect)
      .Answer(rt::ButtonOk, "\"CW20\" could not be started")
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Not Connected");
        EXPECT_FALSE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 2u) << Boxes();
  EXPECT_EQ(boxes()[1].caption, "Not Connected");
  EXPECT_EQ(starter_.Started(), (Texts{"CW20", "CW20"})) << "a failed start is tried once more";
  EXPECT_EQ(ide_.ConnectAttempts(), 2);
  EXPECT_EQ(rereads_, 1);
}

TEST_F(ConnectionTest, ConnectGivesUpAfterAMinuteOfAttempts) {
  ide_.ComeUpWhenStarted(starter_, "CW20", 1000);
  script().Answer(rt::ButtonOk).Press(f::Connect);
  for (int tick = 1; tick <= 6; ++tick) script().Wait(1000);
  script()
      .Answer(rt::ButtonOk, "did not answer within 60 seconds")
      .Wait(6000)  // no more attempts after giving up
      .CloseBox();
  RunWindow();
  // At open, at the press, then one every half second for a minute, and none after giving up.
  EXPECT_EQ(ide_.ConnectAttempts(), 2 + 120);
  EXPECT_EQ(starter_.Started(), Texts{"CW20"});
  EXPECT_EQ(state_.LastAction.str(), "Not Connected");
  EXPECT_EQ(state_.DDEChannel, 0);
}

TEST_F(ConnectionTest, ConnectShowsTheFullStopOnlyWhenNoDdeErrorIsPending) {
  AddApp(Dir(), "A.APP");
  Write(In("A.APP"));
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 7, "No"});
  script()
      .Check(f::StopOnFailure, true)
      .Press(f::MakeExe)
      .Answer(rt::ButtonOk, "Error 7 : No")
      .Press(f::Connect)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW"); })
      .CloseBox();
  RunWindow();
}

TEST_F(ConnectionTest, DisconnectWithoutTheIdeStillEndsDisconnected) {
  ide_.SetRunning(false);
  script()
      .Answer(rt::ButtonOk)
      .Press(f::Disconnect)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Disconnected");
        EXPECT_FALSE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(state_.DDEChannel, 0);
  EXPECT_EQ(rereads_, 1);
}

TEST_F(ConnectionTest, DisconnectEndsTheConversationItHolds) {
  script()
      .Press(f::Disconnect)
      .Inspect([](rt::Window& w) { EXPECT_FALSE(w.state(f::ServerActive).checked); })
      .CloseBox();
  RunWindow();
  EXPECT_EQ(ide_.OpenChannels(), 0);
  EXPECT_EQ(state_.DDEChannel, 0);
  EXPECT_EQ(state_.LastAction.str(), "Disconnected");
}

TEST_F(ConnectionTest, TheFieldSaysWhenTheIdeItNamesHasGone) {
  ide_.SetIdentity(1640, "C:\\CW21\\BIN\\CW21.EXE");
  script()
      .Inspect([](rt::Window& w) { w.SetTimerPeriod(100); })  // as Main's own loop sets it
      .Wait(100)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "Connected to CW21 (pid 1640)") << "still there";
        ide_.SetRunning(false);
      })
      .Wait(100)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(f::LastAction).text, "CW21 (pid 1640) has gone");
        EXPECT_FALSE(w.state(f::ServerActive).checked);
      })
      .CloseBox();
  RunWindow();
}

TEST_F(ConnectionTest, ARefusalsMessageIsCutToItsFieldAndShownWithoutTrailingBlanks) {
  AddApp(Dir(), "A.APP");
  Write(In("A.APP"));
  std::string long_message(400, 'm');
  ide_.FailCommand(1, {CommandFault::Kind::kRefuse, 65535, long_message});
  script().Check(f::StopOnFailure, true).Press(f::MakeExe).Answer(rt::ButtonOk).CloseBox();
  RunWindow();
  ASSERT_EQ(boxes().size(), 1u);
  EXPECT_EQ(boxes()[0].text, "A.APP: Error 65535 : " + std::string(299, 'm'));
  EXPECT_EQ(state_.IDEErrorText.size(), 299u);
  EXPECT_EQ(state_.LastErrorCode, 603);
}

}  // namespace
}  // namespace ide_test
