// An in-process fake of the IDE behind the DdeClient interface, and a fake program starter, for fast
// native tests of the IDE connection and the batch operations. Time is read from a platform::Clock
// (a VirtualClock in tests), so nothing here sleeps; result files go to the real file system.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dde_client.h"
#include "platform/program_starter.h"

namespace doubles {

using platform::Clock;
using platform::DdeChannel;
using platform::DdeCommand;
using platform::DdeClient;
using platform::ProgramStarter;
using platform::StartResult;

// Records every command line it is asked to start. A command line installed with Install (compared
// ignoring letter case and surrounding blanks) runs its action and reports kOk; any other reports
// kFailed, as a program that is not installed would.
class FakeProgramStarter final : public ProgramStarter {
 public:
  StartResult Start(const std::string& command_line) override;

  void Install(const std::string& command_line, std::function<void()> on_start);
  const std::vector<std::string>& Started() const { return started_; }

 private:
  std::vector<std::pair<std::string, std::function<void()>>> installed_;
  std::vector<std::string> started_;
};

// What the fake IDE does instead of carrying a command out.
struct CommandFault {
  enum class Kind {
    kRefuse,   // negative acknowledgement (603); GetErrorNum/GetErrorMsg then answer the two below
    kTimeOut,  // no acknowledgement within the time-out (605); the command has no effect
    kBusy,     // "busy" acknowledgement (604); the command has no effect
    kEndConversation,  // no acknowledgement: the IDE ends that conversation instead (602)
  };
  Kind kind = Kind::kRefuse;
  std::uint16_t error_number = 0;
  std::string error_message;
};

// The IDE serving "ClarionWin". By default it is running, accepts every command and writes a
// command's result file as soon as it is accepted.
//
// Result files: "[ExecuteProject(P.app)]" writes P.EXE (P.DLL after SetMakesDll(true)); the other
// four commands write the file named by their second argument (ExportApp P.TXA, ImportApp P.APP,
// ImportDCT P.DCT, ExportDCT P.TXD), each ResultDelay after the acknowledgement, measured on the
// clock's Ticks. A result replaces the file's text, so its size changes. A result is written by the first call
// into the fake (any DdeClient call, or Pump) made once its time has come, so a test that moves a
// virtual clock decides exactly when the file appears: before or after a directory listing, say.
//
// Invariant: channels are numbered 1, 2, 3, ... in the order of successful connects; a channel is
// open until closed or until the IDE stops running.
class FakeIde final : public DdeClient {
 public:
  static constexpr const char* kService = "ClarionWin";

  explicit FakeIde(Clock& clock);

  // ---- arranging
  // Running: Connect to kService answers. Stopping ends every open conversation (the channels then
  // report kDdeChannelNotOpen), as an IDE that exits does.
  void SetRunning(bool running);
  // Not running now; the next `failed_attempts` connects fail and the one after comes up.
  void ComeUpAfterConnectAttempts(int failed_attempts);
  // Not running now; starting `command_line` through `starter` brings it up, after
  // `failed_attempts_after_start` further failed connects (an IDE that takes a while to start).
  void ComeUpWhenStarted(FakeProgramStarter& starter, const std::string& command_line = "CW20",
                         int failed_attempts_after_start = 0);
  // The `nth` command received (counting from 1 over the fake's life) meets `fault`; with
  // `from_then_on`, every later command as well.
  void FailCommand(int nth, CommandFault fault, bool from_then_on = false);
  void ClearFaults() { faults_.clear(); }
  // Hundredths of a second from a command to its acknowledgement (0: at once); with `commands`, for
  // the next that many commands only. The IDE is inside one command at a time: a command sent
  // meanwhile is taken up once the one before is answered. An IDE that makes inside the DDE call
  // acknowledges when its make is done: give it the make's time here and a result delay of 0.
  void SetAckDelay(std::int64_t hundredths, int commands = 0) {
    ack_delay_ = hundredths;
    ack_delay_until_ = commands == 0 ? INT32_MAX : static_cast<int>(commands_.size()) + commands;
  }
  // Hundredths of a second from acknowledgement to result file (0: written at once).
  void SetResultDelay(std::int64_t hundredths) { result_delay_ = hundredths; }
  void SetMakesDll(bool makes_dll) { makes_dll_ = makes_dll; }
  // true: like ide-standin, refuse commands that are not one of the five (kUnknownCommandError) and
  // commands whose input file does not exist (kInputMissingError), with the texts of ide_command.h.
  void SetChecksCommands(bool checks) { checks_commands_ = checks; }
  // false: commands are acknowledged but no result file is ever written.
  void SetWritesResults(bool writes) { writes_results_ = writes; }
  // Called with the time-out (hundredths) whenever a command times out, because a real client would
  // have waited that long: a test gives it its virtual clock's Advance.
  // A blocking Execute calls it too, with the acknowledgement's delay it waits for.
  void SetTimeOutWait(std::function<void(std::int64_t hundredths)> wait) { time_out_wait_ = std::move(wait); }
  // Called with the tick a result falls due as soon as it is scheduled, so that a test can have
  // Pump called then (the headless backend's alarm); and with each result's path once written, so
  // that it can tell the folder's watchers.
  void SetScheduler(std::function<void(std::int64_t due_ticks)> schedule) { schedule_ = std::move(schedule); }
  void SetOnWritten(std::function<void(const std::string& path)> written) { on_written_ = std::move(written); }

  // Ends every open conversation from the IDE's side while it keeps running (it closed them).
  void EndConversations();
  // The process this instance runs in and its program's path, as Servers and ServerProcess report
  // them; process 0 (the default) is one the client cannot tell apart, as DDEML cannot.
  void SetIdentity(std::uint32_t process_id, std::string program) {
    process_id_ = process_id;
    program_ = std::move(program);
  }
  std::uint32_t ProcessId() const { return process_id_; }
  const std::string& Program() const { return program_; }
  // Whether `channel` is one of this instance's, open or not.
  bool Owns(DdeChannel channel) const { return channels_.contains(channel); }

  // ---- observing
  const std::vector<std::string>& Commands() const { return commands_; }  // received, in order
  const std::vector<std::string>& Written() const { return written_; }    // result files, in order
  int ConnectAttempts() const { return connect_attempts_; }
  int OpenChannels() const;
  bool Running() const { return running_; }
  std::int32_t TimeOut() const { return time_out_; }
  int PendingResults() const { return static_cast<int>(pending_.size()); }
  // Writes every result whose time has come.
  void Pump();

  // ---- DdeClient
  std::vector<platform::DdeServer> Servers(const std::string& service) override;
  DdeChannel ConnectTo(const std::string& service, std::uint32_t process_id) override;
  std::uint32_t ServerProcess(DdeChannel channel) override;
  bool ProcessRunning(std::uint32_t process_id) override {
    return process_id == 0 || process_id != process_id_ || running_;
  }
  DdeChannel Connect(const std::string& service) override;
  DdeCommand Send(DdeChannel channel, const std::string& command) override;
  std::int32_t Answer(DdeCommand command) override;
  void Forget(DdeCommand command) override;
  void OnAnswer(std::function<void()> heard) override { heard_ = std::move(heard); }
  void Execute(DdeChannel channel, const std::string& command) override;
  bool Request(DdeChannel channel, const std::string& item, std::string& value) override;
  bool ServerAlive(DdeChannel channel) override;
  void Close(DdeChannel channel) override;
  void SetTimeOut(std::int32_t hundredths) override;
  std::int32_t LastError() override;
  std::string LastErrorText() override;

 private:
  enum class ChannelState { kOpen, kClosed, kServerGone };
  struct PendingResult {
    std::int64_t due_ticks;
    std::string path;
    std::string command;
  };
  struct PlannedFault {
    int nth;
    bool from_then_on;
    CommandFault fault;
  };
  // A command sent and not yet asked for once answered.
  struct Sent {
    DdeChannel channel = 0;
    std::string command;
    std::int64_t due = 0;  // when its answer comes; kNever for a command that times out
    std::optional<CommandFault> refusal;  // how it is answered; none: accepted
    std::int32_t code = platform::kDdePending;
  };
  static constexpr std::int64_t kNever = INT64_MAX;

  const CommandFault* FaultFor(int nth) const;
  // Answers the commands whose answer is due, and those whose conversation ended.
  void AnswerDue();
  void Refuse(std::uint16_t number, const std::string& message);
  void ScheduleResult(const std::string& command);

  Clock& clock_;
  bool running_ = true;
  int attempts_until_up_ = -1;  // -1: not coming up by itself
  std::map<DdeChannel, ChannelState> channels_;
  DdeChannel next_channel_ = 1;
  std::int32_t time_out_ = platform::kDdeDefaultTimeOut;
  std::int32_t last_error_ = platform::kDdeNoError;
  std::uint16_t refusal_number_ = 0;
  std::string refusal_message_;
  std::vector<PlannedFault> faults_;
  std::int64_t result_delay_ = 0;
  std::int64_t ack_delay_ = 0;
  int ack_delay_until_ = INT32_MAX;  // the last command delayed, counted from 1
  std::int64_t busy_until_ = 0;      // when the IDE is done with the last command it took up
  std::map<DdeCommand, Sent> sent_;
  DdeCommand next_command_ = 1;
  std::function<void()> heard_;
  bool makes_dll_ = false;
  bool writes_results_ = true;
  bool checks_commands_ = false;
  std::function<void(std::int64_t)> time_out_wait_;
  std::function<void(std::int64_t)> schedule_;
  std::function<void(const std::string&)> on_written_;
  std::vector<PendingResult> pending_;
  std::vector<std::string> commands_;
  std::vector<std::string> written_;
  int connect_attempts_ = 0;
  std::uint32_t process_id_ = 0;
  std::string program_;
};

// Several instances of the IDE behind one client, as one station sees them when several are
// running: each a FakeIde with its own process, program, delays, faults and death. Connect reaches
// the first instance that answers (one coming up counts the attempt), ConnectTo the one of a process; every call reaches all instances, so
// each writes its results when their time has come. Channels are the pool's own numbers (1, 2, ...),
// each routed to its instance's channel. The last error is the one of the instance the last command
// went to.
class FakeIdePool final : public DdeClient {
 public:
  explicit FakeIdePool(Clock& clock) : clock_(clock) {}

  // Adds an instance running `program` in process `process_id` (not 0), running unless told
  // otherwise; it takes the pool's scheduler and written-file callbacks.
  FakeIde& Add(std::uint32_t process_id, const std::string& program);
  FakeIde& Instance(std::size_t i) { return *ides_.at(i); }
  std::size_t Size() const { return ides_.size(); }
  // Starting `command_line` through `starter` brings up the first instance of `program` (letter
  // case ignored) that is not running, one per start; a start with none left changes nothing.
  void StartsWith(FakeProgramStarter& starter, const std::string& command_line, const std::string& program);
  // As FakeIde's, for every instance, present and added later.
  void SetScheduler(std::function<void(std::int64_t due_ticks)> schedule);
  void SetOnWritten(std::function<void(const std::string& path)> written);
  void SetTimeOutWait(std::function<void(std::int64_t hundredths)> wait);
  // Every command any instance received, in order, each as "process: command".
  const std::vector<std::string>& Commands() const { return commands_; }
  int OpenChannels() const;
  void Pump();

  std::vector<platform::DdeServer> Servers(const std::string& service) override;
  DdeChannel ConnectTo(const std::string& service, std::uint32_t process_id) override;
  std::uint32_t ServerProcess(DdeChannel channel) override;
  bool ProcessRunning(std::uint32_t process_id) override {
    for (auto& ide : ides_)
      if (!ide->ProcessRunning(process_id)) return false;
    return true;
  }
  DdeChannel Connect(const std::string& service) override;
  DdeCommand Send(DdeChannel channel, const std::string& command) override;
  std::int32_t Answer(DdeCommand command) override;
  void Forget(DdeCommand command) override;
  void OnAnswer(std::function<void()> heard) override;
  void Execute(DdeChannel channel, const std::string& command) override;
  bool Request(DdeChannel channel, const std::string& item, std::string& value) override;
  bool ServerAlive(DdeChannel channel) override;
  void Close(DdeChannel channel) override;
  void SetTimeOut(std::int32_t hundredths) override;
  std::int32_t LastError() override;
  std::string LastErrorText() override;

 private:
  struct SentRoute {
    FakeIde* ide;
    DdeCommand inner;
  };
  struct Route {
    FakeIde* ide;
    DdeChannel inner;
  };
  DdeChannel Routed(FakeIde& ide, DdeChannel inner);
  // The route of a command about to go on `channel`, its instance made the last one; none (and
  // kDdeInvalidChannel) for a channel no instance owns. NoteCommand then records what it received.
  const Route* Commanded(DdeChannel channel);
  void NoteCommand(const std::string& command);
  std::size_t commands_before_ = 0;
  const Route* Find(DdeChannel channel) const;

  Clock& clock_;
  std::vector<std::unique_ptr<FakeIde>> ides_;
  std::map<DdeChannel, Route> routes_;
  DdeChannel next_channel_ = 1;
  FakeIde* last_ = nullptr;
  std::int32_t last_error_ = platform::kDdeNoError;  // for channels no instance owns
  std::int32_t time_out_ = platform::kDdeDefaultTimeOut;
  std::function<void(std::int64_t)> schedule_;
  std::function<void(const std::string&)> on_written_;
  std::function<void(std::int64_t)> time_out_wait_;
  std::function<void()> heard_;
  std::map<DdeCommand, SentRoute> sent_;
  DdeCommand next_command_ = 1;
  std::vector<std::string> commands_;
};

}  // namespace doubles
