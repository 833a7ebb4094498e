// The IDE connection: see connection.h.
#include "ide/connection.h"

#include <cstdlib>

#include "ide/dde_contract.h"
#include "platform/clock.h"
#include "platform/dde_client.h"
#include "platform/program_starter.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace ide {

Connection::Connection(rt::Window& window, ConnectionState& state, platform::DdeClient& dde,
                       platform::ProgramStarter& starter)
    : window_(window), state_(state), dde_(dde), starter_(starter) {}

rt::Runtime& Connection::runtime() { return window_.runtime(); }

void Connection::Display() { window_.Display(); }

void Connection::TakeChannel(std::int32_t channel) {
  // A conversation left open would live as long as the program; closing one twice does nothing.
  if (state_.DDEChannel != 0 && state_.DDEChannel != channel) dde_.Close(state_.DDEChannel);
  state_.DDEChannel = channel;
}

void Connection::SetNotConnected() {
  TakeChannel(0);
  state_.DDEConnected = 0;
  state_.LastAction = "Not Connected";
}

void Connection::FirstAttempt() {
  TakeChannel(dde_.Connect(kService));
  if (state_.DDEChannel != 0) {
    state_.DDEConnected = 1;
    state_.LastAction = "Connected to CW";
  } else {
    state_.DDEConnected = 0;
    state_.LastAction = "Not Connected";
  }
  Display();
}

bool Connection::WarnIfNotConnected() {
  if (state_.DDEChannel != 0) return false;
  runtime().Message(kNotRunningWarning, "Warning", rt::BoxIcon::Stop, rt::ButtonOk);
  return true;
}

ConnectOutcome Connection::ConnectWithStartUp() {
  gave_up_.clear();
  TakeChannel(dde_.Connect(kService));
  if (state_.DDEChannel != 0) return ConnectOutcome::kConnected;

  // Started once only: a second start of an IDE that is still coming up would not make it faster.
  if (starter_.Start(kStartCommand) != platform::StartResult::kOk) {
    SetNotConnected();
    Display();
    gave_up_ = std::string("the IDE is not running and \"") + kStartCommand + "\" could not be started";
    runtime().Message(std::string("Clarion for Windows is not running, and \"") + kStartCommand +
                          "\" could not be started.",
                      kNotConnectedCaption, rt::BoxIcon::Stop, rt::ButtonOk);
    return ConnectOutcome::kGaveUp;
  }
  state_.LastAction = "Waiting for CW to start";
  Display();
  // The IDE needs a while to offer its service. The window's own loop paces the attempts (one per
  // timer tick, the timer made short meanwhile) and keeps it painted; other input is taken and
  // ignored.
  platform::Clock& clock = runtime().clock();
  const std::int64_t started = clock.Ticks();
  struct ShortTimer {
    rt::Window& window;
    int saved = window.TimerPeriod();
    explicit ShortTimer(rt::Window& w) : window(w) { window.SetTimerPeriod(kStartUpRetry); }
    ~ShortTimer() { window.SetTimerPeriod(saved); }
  } short_timer(window_);
  while (window_.Accept()) {
    switch (window_.Kind()) {
      case rt::EventKind::CloseWindow:
      case rt::EventKind::CloseDown:
        SetNotConnected();
        gave_up_ = "the window was closed while the IDE was starting";
        return ConnectOutcome::kWindowClosed;
      case rt::EventKind::Timer:
        TakeChannel(dde_.Connect(kService));
        if (state_.DDEChannel != 0) return ConnectOutcome::kConnected;
        if (clock.Ticks() - started >= kStartUpWait) {
          SetNotConnected();
          Display();
          gave_up_ = std::string("\"") + kStartCommand + "\" was started but the IDE did not answer within " +
                     std::to_string(kStartUpWait / 100) + " seconds";
          runtime().Message(std::string("Clarion for Windows was started with \"") + kStartCommand +
                                "\" but did not answer within " + std::to_string(kStartUpWait / 100) +
                                " seconds.",
                            kNotConnectedCaption, rt::BoxIcon::Stop, rt::ButtonOk);
          return ConnectOutcome::kGaveUp;
        }
        break;
      default:
        break;
    }
  }
  SetNotConnected();
  gave_up_ = "the window was closed while the IDE was starting";
  return ConnectOutcome::kWindowClosed;
}

bool Connection::Connect() {
  ConnectOutcome outcome = ConnectWithStartUp();
  if (outcome == ConnectOutcome::kWindowClosed) return false;
  if (outcome == ConnectOutcome::kConnected) {
    state_.DDEConnected = 1;
    state_.LastAction = "Connected to CW";
    if (dde_.LastError() == platform::kDdeNoError) state_.LastAction = "Connected to CW.";
  }
  Display();
  return true;
}

ConnectOutcome Connection::ConnectForBatch() {
  ConnectOutcome outcome = ConnectWithStartUp();
  if (outcome != ConnectOutcome::kConnected) return outcome;
  state_.DDEConnected = 1;
  if (dde_.LastError() == platform::kDdeNoError) state_.LastAction = "Connected to CW";
  Display();
  return outcome;
}

void Connection::Disconnect() {
  // The held conversation is ended too: a channel forgotten here would stay open until the end.
  dde_.Close(dde_.Connect(kService));
  TakeChannel(0);
  state_.DDEConnected = 0;
  state_.LastAction = "Disconnected";
  Display();
}

void Connection::CloseChannel() { dde_.Close(state_.DDEChannel); }

void Connection::SetTimeOut() { dde_.SetTimeOut(static_cast<std::int32_t>(state_.DDETimeOut) * 6000); }

void Connection::CheckDDEError(std::string_view application, bool tell_refusal) {
  state_.IDEErrorText.clear();
  state_.LastErrorCode = dde_.LastError();
  if (state_.LastErrorCode <= 600) return;
  // The IDE ended the conversation (it was closed, or crashed): the box no longer reads connected.
  if (state_.LastErrorCode == platform::kDdeChannelNotOpen && state_.DDEConnected != 0) {
    state_.DDEConnected = 0;
    Display();
  }
  std::string message;
  std::string caption = "DDE Error";
  if (state_.LastErrorCode == platform::kDdeNotProcessed) {
    caption = "Refused by the IDE";
    std::string number;
    dde_.Request(state_.DDEChannel, kErrorNumberItem, number);
    unsigned long value = std::strtoul(number.c_str(), nullptr, 10);
    state_.IDEErrorNumber = static_cast<std::uint16_t>(value > 65535 ? 65535 : value);
    dde_.Request(state_.DDEChannel, kErrorMessageItem, state_.IDEErrorText);
    if (state_.IDEErrorText.size() > ConnectionState::kMaxErrorText)
      state_.IDEErrorText.resize(ConnectionState::kMaxErrorText);
    message = "Error " + std::to_string(state_.IDEErrorNumber) + " : " +
              std::string(platform::TrimRight(state_.IDEErrorText));
  } else if (state_.LastErrorCode == platform::kDdeTimeOut) {
    message = "DDE timeout";
    caption = "DDE Time-out";
  } else if (state_.LastErrorCode == platform::kDdeServerBusy) {
    message = "The IDE stayed busy for the whole DDE time-out";
    caption = "IDE Busy";
  } else {
    message = "Unexpected Error: " + std::to_string(state_.LastErrorCode);
  }
  if (!application.empty()) message = std::string(application) + ": " + message;
  if (state_.LastErrorCode == platform::kDdeNotProcessed && !tell_refusal) return;
  runtime().Message(message, caption, rt::BoxIcon::None, rt::ButtonOk);
}

}  // namespace ide
