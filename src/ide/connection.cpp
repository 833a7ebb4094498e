// The IDE connection: see connection.h.
#include "ide/connection.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "ide/dde_contract.h"
#include "store/path_key.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dde_client.h"
#include "platform/program_starter.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace ide {

Connection::Connection(rt::Window& window, ConnectionState& state, platform::DdeClient& dde,
                       platform::ProgramStarter& starter, platform::DirectoryLister* lister)
    : window_(window), state_(state), dde_(dde), starter_(starter), lister_(lister) {}

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

namespace {

// The program's name without its folder and extension: "CW20" for "C:\\CW\\BIN\\CW20.EXE".
std::string ProgramName(std::string_view path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace

bool SameProgram(std::string_view a, std::string_view b, platform::DirectoryLister* lister) {
  store::PathKeys keys(lister);
  return keys.Path(a) == keys.Path(b);
}

std::string ConnectedText(const PoolIde& ide) {
  if (ide.process == 0) return "Connected to CW";
  std::string name = ide.program.empty() ? std::string("IDE") : ProgramName(ide.program);
  const std::string pid = " (pid " + std::to_string(ide.process) + ")";
  constexpr std::size_t kRoom = 30 - (sizeof "Connected to " - 1);
  // The process tells instances apart; the name is what gives way.
  if (name.size() + pid.size() > kRoom) name.resize(kRoom > pid.size() + 1 ? kRoom - pid.size() : 1);
  return "Connected to " + name + pid;
}

std::string IdeName(const PoolIde& ide) {
  const std::size_t slash = ide.program.find_last_of("\\/");
  const std::string file = ide.program.empty()         ? std::string("an IDE")
                           : slash == std::string::npos ? ide.program
                                                        : ide.program.substr(slash + 1);
  return file + " (process " + std::to_string(ide.process) + ")";
}

std::string IdeDescription(const PoolIde& ide) {
  const std::size_t slash = ide.program.find_last_of("\\/");
  return IdeName(ide) + (slash == std::string::npos ? "" : " in " + ide.program.substr(0, slash));
}

void Connection::FirstAttempt() {
  pool_.clear();
  if (state_.IDEProgram.empty()) {
    TakeChannel(dde_.Connect(kService));
    if (state_.DDEChannel != 0) pool_.push_back({state_.DDEChannel, dde_.ServerProcess(state_.DDEChannel), ""});
  } else {
    AddServers(1);
    TakeChannel(pool_.empty() ? 0 : pool_.front().channel);
  }
  NamePool();
  if (state_.DDEChannel != 0) {
    state_.DDEConnected = 1;
    state_.LastAction = ConnectedText(pool_.front());
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

std::string Connection::StartCommand() const {
  // A path may hold blanks: quoted, the whole of it names the program.
  return state_.IDEProgram.empty() ? std::string(kStartCommand) : "\"" + state_.IDEProgram + "\"";
}

void Connection::NamePool() {
  bool unnamed = false;
  for (const PoolIde& ide : pool_) unnamed = unnamed || (ide.process != 0 && ide.program.empty());
  if (!unnamed) return;
  for (const platform::DdeServer& server : dde_.Servers(kService))
    for (PoolIde& ide : pool_)
      if (ide.process == server.process_id && ide.program.empty()) ide.program = server.program;
}

void Connection::AddServers(int wanted) {
  const std::vector<platform::DdeServer> servers = dde_.Servers(kService);
  for (const platform::DdeServer& server : servers) {
    if (static_cast<int>(pool_.size()) >= wanted) return;
    if (!state_.IDEProgram.empty() && !SameProgram(server.program, state_.IDEProgram, lister_)) continue;
    if (std::any_of(pool_.begin(), pool_.end(), [&](const PoolIde& ide) { return ide.process == server.process_id; }))
      continue;
    if (platform::DdeChannel channel = dde_.ConnectTo(kService, server.process_id); channel != 0)
      pool_.push_back({channel, server.process_id, server.program});
  }
  // A client that cannot tell servers apart lists none: it still reaches one, by the service alone.
  if (servers.empty() && pool_.empty() && state_.IDEProgram.empty()) {
    if (platform::DdeChannel channel = dde_.Connect(kService); channel != 0)
      pool_.push_back({channel, dde_.ServerProcess(channel), ""});
  }
}

ConnectOutcome Connection::GiveUp(const std::string& why, const std::string& told) {
  for (const PoolIde& ide : pool_)
    if (ide.channel != state_.DDEChannel) dde_.Close(ide.channel);
  pool_.clear();
  SetNotConnected();
  Display();
  gave_up_ = why;
  runtime().Message(told, kNotConnectedCaption, rt::BoxIcon::Stop, rt::ButtonOk);
  return ConnectOutcome::kGaveUp;
}

ConnectOutcome Connection::ConnectWithStartUp(int wanted) {
  gave_up_.clear();
  pool_.clear();
  ConnectOutcome outcome =
      state_.IDEProgram.empty() && wanted <= 1 ? ConnectAny() : ConnectChosen(std::max(wanted, 1));
  if (outcome == ConnectOutcome::kConnected) NamePool();
  return outcome;
}

ConnectOutcome Connection::ConnectAny() {
  TakeChannel(dde_.Connect(kService));
  auto connected = [&] {
    pool_.push_back({state_.DDEChannel, dde_.ServerProcess(state_.DDEChannel), ""});
    return ConnectOutcome::kConnected;
  };
  if (state_.DDEChannel != 0) return connected();

  // Started once only: a second start of an IDE that is still coming up would not make it faster.
  // A start that failed is tried once more at once: under wine a process start has been seen to
  // fail once while other programs were ending.
  if (starter_.Start(kStartCommand) != platform::StartResult::kOk &&
      starter_.Start(kStartCommand) != platform::StartResult::kOk) {
    return GiveUp(std::string("the IDE is not running and \"") + kStartCommand + "\" could not be started",
                  std::string("Clarion for Windows is not running, and \"") + kStartCommand +
                      "\" could not be started.");
  }
  state_.LastAction = "Waiting for CW to start";
  Display();
  // The IDE needs a while to offer its service. The window's own loop paces the attempts (one per
  // timer tick, the timer made short meanwhile) and keeps it painted; other input is taken and
  // ignored.
  return AwaitStart(
      [&] {
        TakeChannel(dde_.Connect(kService));
        return state_.DDEChannel != 0 ? std::optional(connected()) : std::nullopt;
      },
      [&] {
        return GiveUp(std::string("\"") + kStartCommand + "\" was started but the IDE did not answer within " +
                          std::to_string(kStartUpWait / 100) + " seconds",
                      std::string("Clarion for Windows was started with \"") + kStartCommand +
                          "\" but did not answer within " + std::to_string(kStartUpWait / 100) + " seconds.");
      });
}

ConnectOutcome Connection::ConnectChosen(int wanted) {
  auto connected = [&] {
    TakeChannel(pool_.front().channel);
    return ConnectOutcome::kConnected;
  };
  AddServers(wanted);
  if (static_cast<int>(pool_.size()) >= wanted) return connected();

  // One start for each IDE missing: each start of the program is an instance of its own.
  const std::string command = StartCommand();
  const std::string shown = state_.IDEProgram.empty() ? std::string(kStartCommand) : state_.IDEProgram;
  int started = 0;
  while (static_cast<int>(pool_.size()) + started < wanted &&
         starter_.Start(command) == platform::StartResult::kOk)
    ++started;
  if (started == 0) {
    if (!pool_.empty()) return connected();  // the batch makes do with those running
    return GiveUp("\"" + shown + "\" could not be started",
                  "The IDE is not running, and \"" + shown + "\" could not be started: it does not exist, or "
                  "cannot run. Nothing was sent.");
  }
  state_.LastAction = "Waiting for " + (state_.IDEProgram.empty() ? std::string("CW") : ProgramName(shown)) +
                      " to start";
  Display();
  return AwaitStart(
      [&] {
        AddServers(wanted);
        return static_cast<int>(pool_.size()) >= wanted ? std::optional(connected()) : std::nullopt;
      },
      [&] {
        if (!pool_.empty()) return connected();
        return GiveUp("\"" + shown + "\" started but not answering after " + std::to_string(kStartUpWait / 100) + " s",
                      "\"" + shown + "\" was started but did not answer as the IDE within " +
                          std::to_string(kStartUpWait / 100) + " seconds. Nothing was sent.");
      });
}

ConnectOutcome Connection::AwaitStart(const std::function<std::optional<ConnectOutcome>()>& attempt,
                                      const std::function<ConnectOutcome()>& at_bound) {
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
        return WindowClosedWhileStarting();
      case rt::EventKind::Timer:
        if (std::optional<ConnectOutcome> outcome = attempt()) return *outcome;
        if (clock.Ticks() - started >= kStartUpWait) return at_bound();
        break;
      default:
        break;
    }
  }
  return WindowClosedWhileStarting();
}

ConnectOutcome Connection::WindowClosedWhileStarting() {
  for (const PoolIde& ide : pool_)
    if (ide.channel != state_.DDEChannel) dde_.Close(ide.channel);
  pool_.clear();
  SetNotConnected();
  gave_up_ = "the window was closed while the IDE was starting";
  return ConnectOutcome::kWindowClosed;
}

bool Connection::Connect() {
  ConnectOutcome outcome = ConnectWithStartUp(1);
  if (outcome == ConnectOutcome::kWindowClosed) return false;
  if (outcome == ConnectOutcome::kConnected) {
    state_.DDEConnected = 1;
    std::string text = ConnectedText(pool_.front());
    state_.LastAction = text;
    if (dde_.LastError() == platform::kDdeNoError && text.size() < 30) state_.LastAction = text + ".";
  }
  Display();
  return true;
}

ConnectOutcome Connection::ConnectForBatch() {
  ConnectOutcome outcome = ConnectWithStartUp(state_.IDEs);
  if (outcome != ConnectOutcome::kConnected) return outcome;
  state_.DDEConnected = 1;
  if (dde_.LastError() == platform::kDdeNoError)
    state_.LastAction = pool_.size() > 1 ? "Connected to " + std::to_string(pool_.size()) + " IDEs"
                                         : ConnectedText(pool_.front());
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

void Connection::LookAlive() {
  if (state_.DDEConnected == 0 || pool_.empty() || pool_.front().process == 0) return;
  if (dde_.ProcessRunning(pool_.front().process)) return;
  state_.DDEConnected = 0;
  std::string name = ConnectedText(pool_.front()).substr(sizeof "Connected to " - 1);
  const std::string gone = " has gone";
  if (name.size() + gone.size() > decltype(state_.LastAction)::size()) name = "pid " + std::to_string(pool_.front().process);
  state_.LastAction = name + gone;
  Display();
}

void Connection::CloseChannel() {
  dde_.Close(state_.DDEChannel);
  for (const PoolIde& ide : pool_) dde_.Close(ide.channel);
}

void Connection::SetTimeOut() { dde_.SetTimeOut(static_cast<std::int32_t>(state_.DDETimeOut) * 6000); }

void Connection::CheckDDEError(std::int32_t code, std::int32_t channel, std::string_view application,
                               bool tell_refusal) {
  state_.IDEErrorText.clear();
  state_.LastErrorCode = code;
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
    dde_.Request(channel, kErrorNumberItem, number);
    unsigned long value = std::strtoul(number.c_str(), nullptr, 10);
    state_.IDEErrorNumber = static_cast<std::uint16_t>(value > 65535 ? 65535 : value);
    dde_.Request(channel, kErrorMessageItem, state_.IDEErrorText);
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
