// The in-process fake IDE and fake program starter: see fake_ide.h.
#include "fake_ide.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ide_command.h"
#include "platform/code_page.h"

namespace doubles {
using namespace platform;  // the DDE error codes
using ide_standin::EqualsIgnoringCase;
using ide_standin::FileExistsIgnoringCase;
using ide_standin::IdeCommand;
using ide_standin::IdeCommandKind;
using ide_standin::kInputMissingError;
using ide_standin::kUnknownCommandError;
using ide_standin::ParseIdeCommand;
using ide_standin::ReplaceExtension;
namespace {

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

// ---- FakeProgramStarter

StartResult FakeProgramStarter::Start(const std::string& command_line) {
  started_.push_back(command_line);
  for (auto& [installed, on_start] : installed_) {
    if (EqualsIgnoringCase(installed, Trimmed(command_line))) {
      if (on_start) on_start();
      return StartResult::kOk;
    }
  }
  return StartResult::kFailed;
}

void FakeProgramStarter::Install(const std::string& command_line, std::function<void()> on_start) {
  installed_.emplace_back(Trimmed(command_line), std::move(on_start));
}

// ---- FakeIde: arranging

FakeIde::FakeIde(Clock& clock) : clock_(clock) {}

void FakeIde::SetRunning(bool running) {
  running_ = running;
  attempts_until_up_ = -1;
  if (!running) {
    for (auto& [channel, state] : channels_) {
      if (state == ChannelState::kOpen) state = ChannelState::kServerGone;
    }
  }
}

void FakeIde::ComeUpAfterConnectAttempts(int failed_attempts) {
  SetRunning(false);
  attempts_until_up_ = std::max(failed_attempts, 0);
}

void FakeIde::ComeUpWhenStarted(FakeProgramStarter& starter, const std::string& command_line,
                                int failed_attempts_after_start) {
  SetRunning(false);
  starter.Install(command_line, [this, failed_attempts_after_start] {
    // A second start of a running IDE changes nothing, as the real one shows its window again.
    if (running_ || attempts_until_up_ >= 0) return;
    attempts_until_up_ = std::max(failed_attempts_after_start, 0);
  });
}

void FakeIde::FailCommand(int nth, CommandFault fault, bool from_then_on) {
  faults_.push_back(PlannedFault{nth, from_then_on, std::move(fault)});
}

const CommandFault* FakeIde::FaultFor(int nth) const {
  // The latest plan that covers the command wins, so a test can override an earlier "from then on".
  const CommandFault* found = nullptr;
  for (const PlannedFault& planned : faults_) {
    if (planned.nth == nth || (planned.from_then_on && nth >= planned.nth)) found = &planned.fault;
  }
  return found;
}

// ---- FakeIde: observing

int FakeIde::OpenChannels() const {
  return static_cast<int>(std::count_if(channels_.begin(), channels_.end(),
                                        [](const auto& entry) { return entry.second == ChannelState::kOpen; }));
}

void FakeIde::Pump() {
  AnswerDue();
  std::int64_t now = clock_.Ticks();
  // Due results are written in the order they were scheduled.
  auto due = std::stable_partition(pending_.begin(), pending_.end(),
                                   [now](const PendingResult& result) { return result.due_ticks <= now; });
  for (auto it = pending_.begin(); it != due; ++it) {
    // The command names the file in the records' code page, as the IDE takes it; the disk's names
    // here are UTF-8.
    std::ofstream file(std::filesystem::path(platform::ToUtf8(it->path)), std::ios::binary | std::ios::trunc);
    file << "Written by the fake IDE for " << it->command << "\n";
    file.close();
    written_.push_back(it->path);
    if (on_written_) on_written_(it->path);
  }
  pending_.erase(pending_.begin(), due);
}

void FakeIde::ScheduleResult(const std::string& command) {
  std::optional<IdeCommand> parsed = ParseIdeCommand(command);
  if (!parsed || !writes_results_) return;
  std::string path;
  switch (parsed->kind) {
    case IdeCommandKind::kExecuteProject:
      path = ReplaceExtension(parsed->input, makes_dll_ ? ".DLL" : ".EXE");
      break;
    default:
      path = parsed->output;
      break;
  }
  pending_.push_back(PendingResult{clock_.Ticks() + result_delay_, path, command});
  if (schedule_) schedule_(pending_.back().due_ticks);
}

// ---- FakeIde: DdeClient

std::vector<platform::DdeServer> FakeIde::Servers(const std::string& service) {
  Pump();
  if (!running_ || process_id_ == 0 || !EqualsIgnoringCase(service, kService)) return {};
  return {platform::DdeServer{process_id_, program_}};
}

DdeChannel FakeIde::ConnectTo(const std::string& service, std::uint32_t process_id) {
  if (process_id == 0 || process_id != process_id_) {
    Pump();
    return 0;
  }
  return Connect(service);
}

std::uint32_t FakeIde::ServerProcess(DdeChannel channel) {
  Pump();
  auto it = channels_.find(channel);
  return it == channels_.end() || it->second == ChannelState::kClosed ? 0 : process_id_;
}

DdeChannel FakeIde::Connect(const std::string& service) {
  Pump();
  ++connect_attempts_;
  if (!running_ && attempts_until_up_ >= 0) {
    if (attempts_until_up_ == 0) {
      running_ = true;
      attempts_until_up_ = -1;
    } else {
      --attempts_until_up_;
    }
  }
  if (!running_ || !EqualsIgnoringCase(service, kService)) return 0;
  DdeChannel channel = next_channel_++;
  channels_[channel] = ChannelState::kOpen;
  return channel;
}

DdeCommand FakeIde::Send(DdeChannel channel, const std::string& command) {
  Pump();
  auto it = channels_.find(channel);
  if (it == channels_.end()) {
    last_error_ = kDdeInvalidChannel;
    return 0;
  }
  if (it->second != ChannelState::kOpen) {
    last_error_ = kDdeChannelNotOpen;
    return 0;
  }
  commands_.push_back(command);
  last_error_ = kDdeNoError;
  const std::int64_t delay = static_cast<int>(commands_.size()) <= ack_delay_until_ ? ack_delay_ : 0;
  Sent sent{.channel = channel, .command = command, .due = std::max(clock_.Ticks(), busy_until_) + delay};
  const CommandFault* fault = FaultFor(static_cast<int>(commands_.size()));
  if (fault == nullptr && checks_commands_) {
    std::optional<IdeCommand> parsed = ParseIdeCommand(command);
    if (!parsed) {
      sent.refusal = CommandFault{CommandFault::Kind::kRefuse, kUnknownCommandError, "Unknown command: " + command};
    } else if (!FileExistsIgnoringCase(parsed->input)) {
      sent.refusal = CommandFault{CommandFault::Kind::kRefuse, kInputMissingError, "File not found: " + parsed->input};
    }
  } else if (fault != nullptr) {
    sent.refusal = *fault;
  }
  if (sent.refusal && sent.refusal->kind == CommandFault::Kind::kTimeOut) {
    sent.due = kNever;
  } else {
    busy_until_ = sent.due;
  }
  const DdeCommand id = next_command_++;
  sent_[id] = std::move(sent);
  if (sent_[id].due != kNever && schedule_) schedule_(sent_[id].due);
  Pump();
  return id;
}

void FakeIde::AnswerDue() {
  const std::int64_t now = clock_.Ticks();
  bool heard = false;
  for (auto& [id, sent] : sent_) {
    if (sent.code != kDdePending) continue;
    auto channel = channels_.find(sent.channel);
    if (channel->second != ChannelState::kOpen) {
      sent.code = kDdeChannelNotOpen;
    } else if (sent.due > now) {
      continue;
    } else if (!sent.refusal) {
      sent.code = kDdeNoError;
      ScheduleResult(sent.command);
    } else if (sent.refusal->kind == CommandFault::Kind::kBusy) {
      sent.code = kDdeServerBusy;
    } else if (sent.refusal->kind == CommandFault::Kind::kEndConversation) {
      channel->second = ChannelState::kServerGone;
      sent.code = kDdeChannelNotOpen;
    } else {
      // The refusal's number and text are what the next requests for them answer.
      Refuse(sent.refusal->error_number, sent.refusal->error_message);
      sent.code = kDdeNotProcessed;
    }
    heard = true;
  }
  if (heard && heard_) heard_();
}

std::int32_t FakeIde::Answer(DdeCommand command) {
  Pump();
  auto it = sent_.find(command);
  if (it == sent_.end()) return kDdeInvalidChannel;
  const std::int32_t code = it->second.code;
  if (code == kDdePending) return code;
  sent_.erase(it);
  last_error_ = code;
  return code;
}

void FakeIde::Forget(DdeCommand command) { sent_.erase(command); }

void FakeIde::Execute(DdeChannel channel, const std::string& command) {
  const DdeCommand id = Send(channel, command);
  if (id == 0) return;
  const std::int64_t due = sent_[id].due;
  // A real client would wait here for the answer, or for the time-out.
  const std::int64_t waited = due == kNever || due - clock_.Ticks() > time_out_ ? time_out_ : due - clock_.Ticks();
  if (waited > 0 && time_out_wait_) time_out_wait_(waited);
  if (Answer(id) != kDdePending) return;
  Forget(id);
  last_error_ = kDdeTimeOut;
}

void FakeIde::Refuse(std::uint16_t number, const std::string& message) {
  refusal_number_ = number;
  refusal_message_ = message;
  last_error_ = kDdeNotProcessed;
}

bool FakeIde::Request(DdeChannel channel, const std::string& item, std::string& value) {
  Pump();
  value.clear();
  auto it = channels_.find(channel);
  if (it == channels_.end() || it->second != ChannelState::kOpen) return false;
  if (EqualsIgnoringCase(item, "GetErrorNum")) {
    value = std::to_string(refusal_number_);
    return true;
  }
  if (EqualsIgnoringCase(item, "GetErrorMsg")) {
    value = refusal_message_;
    return true;
  }
  return false;
}

bool FakeIde::ServerAlive(DdeChannel channel) {
  Pump();
  auto it = channels_.find(channel);
  return it != channels_.end() && it->second == ChannelState::kOpen;
}

void FakeIde::EndConversations() {
  for (auto& [channel, state] : channels_)
    if (state == ChannelState::kOpen) state = ChannelState::kServerGone;
}

void FakeIde::Close(DdeChannel channel) {
  Pump();
  auto it = channels_.find(channel);
  if (it != channels_.end()) it->second = ChannelState::kClosed;
}

void FakeIde::SetTimeOut(std::int32_t hundredths) {
  Pump();
  time_out_ = std::max<std::int32_t>(hundredths, 1);
}

std::int32_t FakeIde::LastError() {
  Pump();
  return last_error_;
}

std::string FakeIde::LastErrorText() {
  Pump();
  return DdeErrorText(last_error_);
}

// ---- FakeIdePool

FakeIde& FakeIdePool::Add(std::uint32_t process_id, const std::string& program) {
  ides_.push_back(std::make_unique<FakeIde>(clock_));
  FakeIde& ide = *ides_.back();
  ide.SetIdentity(process_id, program);
  ide.SetTimeOut(time_out_);
  if (schedule_) ide.SetScheduler(schedule_);
  if (on_written_) ide.SetOnWritten(on_written_);
  if (time_out_wait_) ide.SetTimeOutWait(time_out_wait_);
  if (heard_) ide.OnAnswer(heard_);
  return ide;
}

void FakeIdePool::StartsWith(FakeProgramStarter& starter, const std::string& command_line, const std::string& program) {
  starter.Install(command_line, [this, program] {
    for (auto& ide : ides_) {
      if (!ide->Running() && EqualsIgnoringCase(ide->Program(), program)) {
        ide->SetRunning(true);
        return;
      }
    }
  });
}

void FakeIdePool::SetScheduler(std::function<void(std::int64_t)> schedule) {
  schedule_ = std::move(schedule);
  for (auto& ide : ides_) ide->SetScheduler(schedule_);
}

void FakeIdePool::SetOnWritten(std::function<void(const std::string&)> written) {
  on_written_ = std::move(written);
  for (auto& ide : ides_) ide->SetOnWritten(on_written_);
}

void FakeIdePool::SetTimeOutWait(std::function<void(std::int64_t)> wait) {
  time_out_wait_ = std::move(wait);
  for (auto& ide : ides_) ide->SetTimeOutWait(time_out_wait_);
}

int FakeIdePool::OpenChannels() const {
  int open = 0;
  for (const auto& ide : ides_) open += ide->OpenChannels();
  return open;
}

void FakeIdePool::Pump() {
  for (auto& ide : ides_) ide->Pump();
}

DdeChannel FakeIdePool::Routed(FakeIde& ide, DdeChannel inner) {
  if (inner == 0) return 0;
  DdeChannel channel = next_channel_++;
  routes_[channel] = Route{&ide, inner};
  return channel;
}

const FakeIdePool::Route* FakeIdePool::Find(DdeChannel channel) const {
  auto it = routes_.find(channel);
  return it == routes_.end() ? nullptr : &it->second;
}

std::vector<platform::DdeServer> FakeIdePool::Servers(const std::string& service) {
  std::vector<platform::DdeServer> servers;
  for (auto& ide : ides_)
    for (platform::DdeServer& server : ide->Servers(service)) servers.push_back(std::move(server));
  return servers;
}

DdeChannel FakeIdePool::ConnectTo(const std::string& service, std::uint32_t process_id) {
  Pump();
  for (auto& ide : ides_)
    if (ide->ProcessId() == process_id && process_id != 0) return Routed(*ide, ide->ConnectTo(service, process_id));
  return 0;
}

std::uint32_t FakeIdePool::ServerProcess(DdeChannel channel) {
  Pump();
  const Route* route = Find(channel);
  return route == nullptr ? 0 : route->ide->ServerProcess(route->inner);
}

DdeChannel FakeIdePool::Connect(const std::string& service) {
  Pump();
  for (auto& ide : ides_) {
    if (DdeChannel inner = ide->Connect(service); inner != 0) return Routed(*ide, inner);
  }
  return 0;
}

const FakeIdePool::Route* FakeIdePool::Commanded(DdeChannel channel) {
  Pump();
  const Route* route = Find(channel);
  last_ = route == nullptr ? nullptr : route->ide;
  if (route == nullptr) last_error_ = kDdeInvalidChannel;
  else commands_before_ = last_->Commands().size();
  return route;
}

void FakeIdePool::NoteCommand(const std::string& command) {
  if (last_->Commands().size() > commands_before_)
    commands_.push_back(std::to_string(last_->ProcessId()) + ": " + command);
}

DdeCommand FakeIdePool::Send(DdeChannel channel, const std::string& command) {
  const Route* route = Commanded(channel);
  if (route == nullptr) return 0;
  const DdeCommand inner = last_->Send(route->inner, command);
  NoteCommand(command);
  if (inner == 0) return 0;
  sent_[next_command_] = SentRoute{last_, inner};
  return next_command_++;
}

std::int32_t FakeIdePool::Answer(DdeCommand command) {
  Pump();
  auto it = sent_.find(command);
  if (it == sent_.end()) return kDdeInvalidChannel;
  const std::int32_t code = it->second.ide->Answer(it->second.inner);
  if (code == kDdePending) return code;
  last_ = it->second.ide;
  sent_.erase(it);
  return code;
}

void FakeIdePool::Forget(DdeCommand command) {
  auto it = sent_.find(command);
  if (it == sent_.end()) return;
  it->second.ide->Forget(it->second.inner);
  sent_.erase(it);
}

void FakeIdePool::OnAnswer(std::function<void()> heard) {
  heard_ = std::move(heard);
  for (auto& ide : ides_) ide->OnAnswer(heard_);
}

void FakeIdePool::Execute(DdeChannel channel, const std::string& command) {
  const Route* route = Commanded(channel);
  if (route == nullptr) return;
  last_->Execute(route->inner, command);
  NoteCommand(command);
}

bool FakeIdePool::Request(DdeChannel channel, const std::string& item, std::string& value) {
  Pump();
  const Route* route = Find(channel);
  if (route == nullptr) {
    value.clear();
    return false;
  }
  return route->ide->Request(route->inner, item, value);
}

bool FakeIdePool::ServerAlive(DdeChannel channel) {
  Pump();
  const Route* route = Find(channel);
  return route != nullptr && route->ide->ServerAlive(route->inner);
}

void FakeIdePool::Close(DdeChannel channel) {
  Pump();
  if (const Route* route = Find(channel)) route->ide->Close(route->inner);
}

void FakeIdePool::SetTimeOut(std::int32_t hundredths) {
  time_out_ = std::max<std::int32_t>(hundredths, 1);
  for (auto& ide : ides_) ide->SetTimeOut(time_out_);
}

std::int32_t FakeIdePool::LastError() {
  Pump();
  return last_ != nullptr ? last_->LastError() : last_error_;
}

std::string FakeIdePool::LastErrorText() {
  Pump();
  return DdeErrorText(LastError());
}

}  // namespace doubles
