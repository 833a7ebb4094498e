// The batch operations: see batch_operations.h.
#include "ide/batch_operations.h"

#include <algorithm>
#include <cstdio>

#include "files/app_path.h"
#include "files/files.h"
#include "files/open_record_file.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dde_client.h"
#include "platform/file_claim.h"
#include "runtime/picture.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace ide {
namespace {

std::string Minutes(std::int64_t hundredths) {
  std::int64_t minutes = hundredths / 6000;
  return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

// The store's reason for the last failure: the system's own where it gave one.
std::string StoreReason(const store::StoreErrorState& error) {
  return error.file_message.empty() ? error.text : error.file_message;
}

}  // namespace

BatchOperations::BatchOperations(rt::Window& window, platform::DdeClient& dde, platform::Clock& clock,
                                 Connection& connection, files::Files& files, platform::DirectoryLister& lister)
    : window_(window), dde_(dde), clock_(clock), connection_(connection), state_(connection.state()),
      files_(files), lister_(lister) {}

BatchOperations::~BatchOperations() = default;

BatchEnd BatchOperations::Run(Operation operation, const std::function<void(rt::Window&)>& other_events) {
  other_events_ = &other_events;
  BatchEnd end = RunBatch(operation);
  claim_.reset();
  other_events_ = nullptr;
  return end;
}

BatchEnd BatchOperations::RunBatch(Operation operation) {
  const OperationRow& row = RowOf(operation);
  rt::Runtime& runtime = window_.runtime();
  log_failure_.clear();
  if (operation == Operation::ImportTxa &&
      runtime.Message(kConfirmImportText, "Confirm", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo,
                      rt::ButtonNo) != rt::ButtonYes)
    return BatchEnd::kNotRun;

  // The log is this batch's until it ends: a second batch on this folder, from this station or
  // another, would empty it under the first and mix its records in. The system drops the claim of
  // a batch whose program was killed.
  const platform::Moment now = clock_.Now();
  std::string holder = std::string(row.label) + " on station " + platform::StationName() + " (process " +
                       std::to_string(platform::ProcessId()) + "), since " + rt::FormatNumber("@d1", now.date) +
                       " " + rt::FormatNumber("@t3", now.time);
  std::string held_by;
  claim_ = platform::ClaimFile(kLogClaimFile, holder, held_by);
  if (!claim_) {
    std::string who = held_by.empty() ? std::string("another batch") : "this batch: " + held_by;
    if (!held_by.empty() && held_by.front() == '(') who = "a batch, or it cannot be claimed " + held_by;
    runtime.Message("The activity log is held by " + who + ". This batch was not run; nothing was sent.",
                    "Batch Not Run", rt::BoxIcon::Exclamation, rt::ButtonOk);
    return BatchEnd::kNotRun;
  }

  // A new log: the records of earlier batches go. A log that cannot be emptied (another program
  // holds it) must not take this batch's records among the old ones: nothing is sent.
  files_.TempFile.Create();
  if (files_.store.error.code != 0) {
    const store::StoreErrorState& error = files_.store.error;
    std::string reason = error.file_message.empty() ? error.text : error.text + ": " + error.file_message;
    runtime.Message("The activity log could not be started afresh (" + reason + "), so the batch was not run." +
                        (error.code == store::kFileLocked ? " Try again when the other station has finished with it."
                                                          : ""),
                    "Activity Log", rt::BoxIcon::Exclamation, rt::ButtonOk);
    return BatchEnd::kNotRun;
  }
  files::OpenRecordFile(runtime, files_, files_.TempFile);

  connection_.SetTimeOut();
  ConnectOutcome connected = connection_.ConnectForBatch();
  if (connected != ConnectOutcome::kConnected) {
    // Nothing was sent, and the log says why instead of lying empty; "Not Connected" stays on show.
    app_.Application.Clear();
    Log("Nothing sent: " + connection_.GaveUpReason());
    files_.TMP.Clear();
    files_.TempFile.Close();
    return connected == ConnectOutcome::kWindowClosed ? BatchEnd::kWindowClosed : BatchEnd::kNotRun;
  }
  return ProcessAll(row);
}

std::vector<BatchOperations::Tagged> BatchOperations::TaggedApplications() {
  // Apps in the order its records are stored; the file is open while Main runs. Another station
  // may delete records after they were counted: the read then fails, and the buffer would still
  // hold the previous record.
  std::vector<Tagged> tagged;
  std::int32_t records = files_.Apps.Records();
  files_.Apps.Set(store::Order::File);
  for (std::int32_t i = 0; i < records; ++i) {
    files_.Apps.Next();
    if (files_.store.error.code != 0) break;
    if (!Chosen(files_.APP)) continue;
    tagged.push_back({files_.Apps.Position(store::Order::File), std::string(files_.APP.Application.Trimmed()),
                      std::string(files_.APP.DriveNPath.Trimmed())});
  }
  return tagged;
}

bool IsChosen(const Selection& selection, const store::AppsRecord& app, platform::DirectoryLister* lister) {
  if (selection.keys &&
      !selection.keys->contains(store::LastResultKey(std::string(app.DriveNPath.Trimmed()),
                                                     std::string(app.Application.Trimmed()))))
    return false;
  if (selection.all) return true;
  if (selection.names.empty()) return app.Tag == 1;
  for (const std::string& wanted : selection.names)
    if (files::NamesApplication(wanted, app.DriveNPath.Trimmed(), app.Application.Trimmed(), lister)) return true;
  return false;
}

BatchEnd BatchOperations::ProcessAll(const OperationRow& row) {
  // The applications are taken as they are tagged now; each is read again when its turn comes, so
  // that what another station changed meanwhile counts, and the list may move the record buffer
  // while the batch waits.
  row_ = &row;
  slots_.clear();
  jobs_.clear();
  for (const PoolIde& ide : connection_.Pool()) slots_.push_back(Slot{ide});
  if (slots_.empty()) slots_.push_back(Slot{PoolIde{state_.DDEChannel}});
  pooled_ = slots_.size() > 1;
  LogIdes();
  std::vector<Tagged> tagged = TaggedApplications();
  Arrange(tagged);
  tally_ = BatchTally{.chosen = static_cast<int>(tagged.size())};
  batch_start_ = clock_.Ticks();
  stop_requested_ = false;
  stop_now_ = false;
  started_ = 0;
  ended_count_ = 0;
  told_count_.clear();
  expected_.clear();
  ended_.assign(tagged.size(), false);
  std::vector<PoolSchedule::Item> items;
  for (const Tagged& app : tagged) {
    items.push_back({app.folder, app.order});
    expected_.push_back(app.expected);
  }
  PoolSchedule schedule(items);
  title_ = window_.Title();
  window_.runtime().SetWorkingCursor(true);
  const int period = window_.TimerPeriod();

  Next next = Next::kNextApplication;  // kEndBatch or kWindowClosed once the batch ends early
  bool starting = true;                // new applications may start
  // After an application ended: whether the batch takes more.
  // `went_on`: the application ended as one the batch goes past (not one that ends it).
  auto ended = [&](Job& job, bool went_on) {
    schedule.Ended(job.index);
    ended_[job.index] = true;
    ++ended_count_;
    slots_[job.slot].busy = false;
    // A log that can no longer be written would leave the next applications' steps untold.
    if (!log_failure_.empty() || stop_requested_) starting = false;
    if (starting && went_on && EndsAtFailure()) starting = false;
  };
  // Where an application goes once a step of it is done: to its wait, back to the busy IDE's
  // queue, or to its end, which may end the batch or take its IDE out of the pool.
  auto take = [&](std::unique_ptr<Job> job, Next result) {
    if (result == Next::kWaiting || result == Next::kBusy) {
      if (result == Next::kWaiting) StartWait(row, *job);
      jobs_.push_back(std::move(job));
      if (pooled_) {
        ShowAtWork();
        ShowProgress();
      }
      return;
    }
    const int slot = job->slot;
    ended(*job, result == Next::kNextApplication);
    if (pooled_) ShowProgress();
    if (result == Next::kWindowClosed) {
      next = Next::kWindowClosed;
      AbandonAll(Outcome::kStopped, "Window closed while waiting for ", "", "Window closed while the IDE was busy, not sent");
    } else if (result == Next::kEndBatch && stop_now_) {
      next = Next::kEndBatch;
      AbandonAll(Outcome::kStopped, "Stopped by the user; the wait for ", " was abandoned",
                 "Stopped by the user while the IDE was busy, not sent");
    } else if (result == Next::kEndBatch && job->outcome.error_code == platform::kDdeNotProcessed) {
      // A refusal that stops at the first failure: the applications at work end, no more start.
      starting = false;
    } else if (result == Next::kEndBatch && !Retire(slot)) {
      next = Next::kEndBatch;
    }
  };
  for (;;) {
    // Every free IDE takes the next application that may start.
    while (starting && !stop_requested_ && next == Next::kNextApplication) {
      const int slot = FreeSlot();
      if (slot < 0) break;
      std::optional<std::size_t> chosen = schedule.Next();
      if (!chosen) break;
      const std::size_t i = *chosen;
      schedule.Started(i);
      ++started_;
      auto job = std::make_unique<Job>();
      job->index = i;
      job->slot = slot;
      if (!pooled_) ShowProgress();
      files_.Apps.Reread(tagged[i].position);
      bool gone = files_.store.error.code != 0;
      job->app = files_.APP;
      if (gone) {
        job->app.Application = tagged[i].application;
        job->app.DriveNPath = tagged[i].folder;
      }
      job->outcome = ApplicationOutcome{.position = static_cast<int>(i) + 1,
                                        .application = std::string(job->app.Application.Trimmed()),
                                        .folder = std::string(job->app.DriveNPath.Trimmed()),
                                        .start = clock_.Now(),
                                        .ide_process = slots_[slot].ide.process};
      job->start_ticks = clock_.Ticks();
      job->outcome.offset = job->start_ticks - batch_start_;
      Enter(*job);
      Next result = Next::kNextApplication;
      if (gone || !Chosen(app_)) {
        current_.ide_process = 0;
        Finish(Outcome::kSkipped, gone ? "Removed from the list meanwhile, not sent" : "Untagged meanwhile, not sent");
      } else {
        slots_[slot].busy = true;
        result = Process(row, *job);
      }
      Leave(*job);
      take(std::move(job), result);
    }
    if (pooled_ && !jobs_.empty()) SetPoolTimer();
    if (jobs_.empty()) break;

    // The applications at work wait for their results side by side.
    const WaitEvent event = NextWaitEvent();
    if (event == WaitEvent::kClosed) {
      next = Next::kWindowClosed;
      AbandonAll(Outcome::kStopped, "Window closed while waiting for ", "", "Window closed while the IDE was busy, not sent");
      break;
    }
    if (event == WaitEvent::kStopNow) {
      next = Next::kEndBatch;
      AbandonAll(Outcome::kStopped, "Stopped by the user; the wait for ", " was abandoned",
                 "Stopped by the user while the IDE was busy, not sent");
      break;
    }
    // A busy IDE is asked again when its pause is over; the others' waits go on meanwhile.
    for (std::size_t j = 0; j < jobs_.size() && next == Next::kNextApplication;) {
      if (jobs_[j]->command.empty() || jobs_[j]->next_try > clock_.Ticks()) {
        ++j;
        continue;
      }
      std::unique_ptr<Job> job = std::move(jobs_[j]);
      jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(j));
      Enter(*job);
      const Next result = SendAgain(row, *job);
      Leave(*job);
      take(std::move(job), result);
    }
    if (next != Next::kNextApplication) break;
    const std::int64_t now = clock_.Ticks();
    const auto trigger = event == WaitEvent::kTimer ? ResultWait::Trigger::kTimer : ResultWait::Trigger::kFolderChanged;
    for (std::size_t j = 0; j < jobs_.size();) {
      Job& job = *jobs_[j];
      if (!job.command.empty() || !Settle(row, job, job.wait->Poll(now, trigger))) {
        ++j;
        continue;
      }
      const bool ide_gone = job.outcome.error_code == platform::kDdeChannelNotOpen;
      ended(job, !ide_gone);
      const int slot = job.slot;
      jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(j));
      // Its result will not come, and the next applications' commands would find nobody there.
      if (ide_gone && !Retire(slot)) {
        next = Next::kEndBatch;
        state_.DDEConnected = 0;
        window_.Display();
      }
      if (pooled_) ShowAtWork();
    }
    ShowProgress();
    if (jobs_.empty()) {
      if (!window_.IsClosed()) {
        window_.WatchDirectory("");
        window_.SetTimerPeriod(period);
      }
    } else if (pooled_) {
      SetPoolTimer();
    } else if (window_.TimerPeriod() != jobs_.front()->wait->TimerPeriod()) {
      // Set only when it changes: setting the timer starts its period afresh, and a folder that
      // keeps changing would otherwise keep the timer from ever firing.
      window_.SetTimerPeriod(jobs_.front()->wait->TimerPeriod());
    }
  }
  if (!window_.IsClosed()) {
    window_.WatchDirectory("");
    window_.SetTimerPeriod(period);
  }

  // The display goes on naming the batch's first conversation, as with one IDE.
  state_.DDEChannel = slots_.front().ide.channel;
  std::vector<std::size_t> left;
  for (std::size_t i = 0; i < tagged.size(); ++i)
    if (!ended_[i]) left.push_back(i);
  if ((stop_requested_ || stop_now_) && !left.empty() && next != Next::kWindowClosed) {
    app_.Application.Clear();
    Log("Batch stopped by the user");
  }
  // Every chosen application is accounted for, those the batch never came to included.
  for (std::size_t i : left) {
    const platform::Moment now = clock_.Now();
    current_ = ApplicationOutcome{.position = static_cast<int>(i) + 1,
                                  .application = tagged[i].application,
                                  .folder = tagged[i].folder,
                                  .outcome = Outcome::kNotReached,
                                  .start = now,
                                  .end = now,
                                  .offset = clock_.Ticks() - batch_start_};
    ++tally_.counts[static_cast<int>(Outcome::kNotReached)];
    KeepResult();  // an older "made" would hide it from a batch of the failed
    if (told_) told_(current_);
  }
  return EndBatch(next == Next::kWindowClosed);
}

void BatchOperations::Enter(Job& job) {
  app_ = job.app;
  current_ = job.outcome;
  app_start_ticks_ = job.start_ticks;
  AppBaseName = job.base;
  state_.DDEChannel = slots_[job.slot].ide.channel;
}

void BatchOperations::Leave(Job& job) {
  job.app = app_;
  job.outcome = current_;
  job.base = AppBaseName;
}

int BatchOperations::FreeSlot() const {
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].alive && !slots_[i].busy) return static_cast<int>(i);
  return -1;
}

bool BatchOperations::Retire(int slot) {
  slots_[slot].alive = false;
  if (std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.alive; })) {
    app_.Application.Clear();
    Log("IDE " + IdeName(slots_[slot].ide) + " left the batch; the others go on");
    return true;
  }
  if (pooled_) {
    app_.Application.Clear();
    Log("No IDE is left to make the rest");
  }
  return false;
}

void BatchOperations::LogIdes() {
  // Which IDE (or IDEs) the batch reached: a station with several tells them apart by process.
  for (const Slot& slot : slots_) {
    if (slot.ide.process == 0) continue;
    app_.Application.Clear();
    Log("Connected to " + IdeDescription(slot.ide));
  }
}

void BatchOperations::ShowAtWork() {
  std::vector<std::string> names;
  for (const Slot& slot : slots_) {
    if (!slot.busy) continue;
    for (const auto& job : jobs_)
      if (&slots_[job->slot] == &slot) names.emplace_back(job->base.Trimmed());
  }
  if (names.empty()) return;
  state_.LastAction = AtWorkText(names, decltype(state_.LastAction)::size());
  window_.Display();
}

void BatchOperations::SetPoolTimer() {
  const std::int64_t now = clock_.Ticks();
  int wanted = kAliveCheck;
  for (const auto& job : jobs_)
    wanted = job->command.empty() ? std::min(wanted, job->wait->TimerPeriod())
                                  : static_cast<int>(std::clamp<std::int64_t>(job->next_try - now, 1, wanted));
  // Set only when it changes: setting the timer starts its period afresh.
  if (window_.TimerPeriod() != wanted) window_.SetTimerPeriod(wanted);
}

void BatchOperations::AbandonAll(Outcome outcome, const std::string& why, const std::string& after,
                                 const std::string& busy_text) {
  for (auto& job : jobs_) {
    Enter(*job);
    Finish(outcome, job->command.empty() ? why + row_->awaited_extension + after : busy_text);
    Leave(*job);
    ended_[job->index] = true;
    ++ended_count_;
    slots_[job->slot].busy = false;
  }
  jobs_.clear();
}

void BatchOperations::StartWait(const OperationRow& row, Job& job) {
  Enter(job);
  std::string app(app_.Application.Trimmed());
  state_.LastAction = app + row.ack_text;
  window_.Display();
  // The folder tells when the IDE writes; the timer stays for folders that send no notifications
  // and for the time limits, and the folder is looked at at the window's own period. A pool does
  // not watch: it looks at each of its applications' folders often, on the timer.
  const int look_every = pooled_ ? kPoolLook : window_.TimerPeriod();
  job.wait->Start(clock_.Ticks(), TimeOutHundredths(), look_every);
  const int wanted = job.wait->TimerPeriod();
  if (!pooled_ || jobs_.empty() || wanted < window_.TimerPeriod()) window_.SetTimerPeriod(wanted);
  if (!pooled_) window_.WatchDirectory(job.wait->Folder());
  // The first look comes at once: the IDE may have written before the acknowledgement came.
  window_.DirectoryChanged();
  Leave(job);
}

bool BatchOperations::Settle(const OperationRow& row, Job& job, ResultWait::Verdict verdict) {
  if (verdict == ResultWait::Verdict::kWaiting) return false;
  Enter(job);
  const std::string app(app_.Application.Trimmed());
  const std::string awaited(row.awaited_extension);
  switch (verdict) {
    case ResultWait::Verdict::kWaiting:
      break;
    case ResultWait::Verdict::kWritten:
      if (row.completion_action != nullptr && !pooled_) {
        state_.LastAction = app + row.completion_action;
        window_.Display();
      }
      Finish(Outcome::kMade, row.finished_text);
      break;
    case ResultWait::Verdict::kOtherKind:
      // The project makes the other kind: what is awaited will not come.
      Finish(Outcome::kFailed, "The IDE made " + job.wait->OtherName() + row.other_reason);
      break;
    case ResultWait::Verdict::kIdeGone:
      current_.error_code = platform::kDdeChannelNotOpen;
      Finish(Outcome::kFailed, "The IDE ended the conversation (it exited or closed it) while " + awaited +
                                   " was awaited");
      break;
    case ResultWait::Verdict::kTimedOut:
      Finish(Outcome::kTimedOut, "No " + awaited + " within " + Minutes(job.wait->Limit()) + ", wait ended");
      break;
  }
  Leave(job);
  return true;
}

BatchOperations::Next BatchOperations::Process(const OperationRow& row, Job& job) {
  std::string app(app_.Application.Trimmed());
  AppBaseName = BaseNameOf(app);
  std::string d(app_.DriveNPath.Trimmed());
  std::string b(AppBaseName.Trimmed());

  // A name the command cannot carry would reach the IDE as a different command, or none.
  if (auto bad = FirstUncarriable(d + b)) {
    std::string shown = static_cast<unsigned char>(*bad) < 0x20 || *bad == 0x7F
                            ? std::string("a control character")
                            : "\"" + std::string(1, *bad) + "\"";
    Finish(Outcome::kSkipped, "Not sent: path holds " + shown + ", which a DDE command cannot carry");
    return Next::kNextApplication;
  }
  // A "*" or "?" makes the name a pattern: the stale output's delete would take other
  // applications' files, and the IDE would be sent a file that does not exist.
  if ((d + b).find_first_of("*?") != std::string::npos) {
    Finish(Outcome::kSkipped, "Not sent: the name holds * or ?, which stand for other files");
    return Next::kNextApplication;
  }
  // A device's name (an older record may hold one) would reach the IDE as the device: AUX hangs it.
  if (std::string device; files::IsDeviceName(b, &device)) {
    Finish(Outcome::kSkipped, "Not sent: " + device + " names a device, which Windows opens instead of a file");
    return Next::kNextApplication;
  }
  if (!AnyFile(d + b + row.input_extension)) {
    Finish(Outcome::kNotFound, std::string(row.input_extension) + " not found");
    return Next::kNextApplication;
  }
  if (plan_.only_changed && UpToDate(row)) {
    Finish(Outcome::kUpToDate, kUpToDateText);
    return Next::kNextApplication;
  }

  connection_.SetTimeOut();
  Log(row.begin_text);
  if (row.deleted_extension != nullptr) {
    // An old output that stays would end the wait at once and pass for the new one.
    if (std::string reason = DeleteStaleOutput(row); !reason.empty()) {
      Finish(Outcome::kFailed, "Old " + std::string(row.deleted_extension) + " not deleted (" + reason + "), not sent");
      return Next::kNextApplication;
    }
  }

  // At most 255 characters: FirstUncarriable and the form keep D and B short enough.
  const std::string DDECommand = ComposeCommand(row.operation, d + b);
  if (row.sending_action != nullptr) {
    state_.LastAction = row.sending_action + app;
    window_.Display();
  }
  // The wait's view of the folder from before the command: an import's file is there already.
  job.wait = std::make_unique<ResultWait>(lister_, dde_, state_.DDEChannel, row, d, b);
  job.wait->NoteBefore();
  if (pooled_) {
    // A busy IDE is asked again on the pool's timer, so that the others' waits go on meanwhile.
    dde_.Execute(state_.DDEChannel, DDECommand);
    window_.DiscardInputExceptClose();
    if (dde_.LastError() == platform::kDdeServerBusy) {
      job.command = DDECommand;
      job.busy_since = clock_.Ticks();
      job.pause = kBusyPauseFirst;
      job.next_try = job.busy_since + job.pause;
      return Next::kBusy;
    }
    return Sent(row);
  }
  if (!Send(DDECommand)) {
    Finish(Outcome::kStopped, "Window closed while the IDE was busy, not sent");
    return Next::kWindowClosed;
  }
  if (stop_now_ && dde_.LastError() == platform::kDdeServerBusy) {
    Finish(Outcome::kStopped, "Stopped by the user while the IDE was busy, not sent");
    return Next::kEndBatch;
  }
  return Sent(row);
}

BatchOperations::Next BatchOperations::SendAgain(const OperationRow& row, Job& job) {
  dde_.Execute(state_.DDEChannel, job.command);
  window_.DiscardInputExceptClose();
  // Busy is no refusal: the IDE takes the command once it is free, within the time-out.
  if (dde_.LastError() == platform::kDdeServerBusy && clock_.Ticks() - job.busy_since < TimeOutHundredths()) {
    job.pause = std::min(job.pause * 2, kBusyPauseLongest);
    job.next_try = clock_.Ticks() + job.pause;
    return Next::kBusy;
  }
  job.command.clear();
  return Sent(row);
}

BatchOperations::Next BatchOperations::Sent(const OperationRow& row) {
  const std::string app(app_.Application.Trimmed());
  // A refusal concerns this application alone: unless the user asked to stop at the first
  // failure, it is logged and the batch goes on. A failure of the IDE itself (the conversation
  // lost, the IDE gone, a time-out) ends the batch either way.
  const bool past_refusal = !plan_.stop_on_failure;
  connection_.CheckDDEError(app, !past_refusal);
  if (state_.LastErrorCode == platform::kDdeNotProcessed && past_refusal) {
    Finish(Outcome::kFailed, ErrorLine());
    return Next::kNextApplication;
  }
  if (state_.LastErrorCode != 0) {
    std::string text(platform::TrimRight(dde_.LastErrorText()));
    if (state_.LastErrorCode < 600) {
      window_.runtime().Message(app + ": " + row.error_prefix + std::to_string(state_.LastErrorCode) + " " + text,
                                "Processing Terminated", rt::BoxIcon::Stop, rt::ButtonOk);
    }
    Finish(state_.LastErrorCode == platform::kDdeTimeOut ? Outcome::kTimedOut : Outcome::kFailed, ErrorLine());
    return Next::kEndBatch;
  }
  return Next::kWaiting;
}

bool BatchOperations::Send(const std::string& DDECommand) {
  const std::int64_t started = clock_.Ticks();
  const std::int64_t limit = TimeOutHundredths();
  const platform::FixedString<30> shown = state_.LastAction;
  int pause = kBusyPauseFirst;
  bool open = true;
  for (;;) {
    dde_.Execute(state_.DDEChannel, DDECommand);
    // Clicks made while the command was on its way (the send blocks) were not meant for what
    // comes now; only a request to close the window stands.
    window_.DiscardInputExceptClose();
    // Busy is no refusal: the IDE takes the command once it is free, within the time-out.
    if (dde_.LastError() != platform::kDdeServerBusy || stop_now_) break;
    const std::int64_t spent = clock_.Ticks() - started;
    if (spent >= limit) break;
    state_.LastAction = "CW busy, sending again";
    window_.Display();
    if (!(open = Pause(static_cast<int>(std::min<std::int64_t>(pause, limit - spent))))) break;
    // "Stop now" answered during the pause: the command is not sent again.
    if (stop_now_) break;
    pause = std::min(pause * 2, kBusyPauseLongest);
  }
  if (open && state_.LastAction != shown) {
    state_.LastAction = shown;
    window_.Display();
  }
  return open;
}

BatchOperations::WaitEvent BatchOperations::NextWaitEvent() {
  while (window_.Accept()) {
    rt::EventKind kind = window_.Kind();
    if (kind == rt::EventKind::CloseWindow || kind == rt::EventKind::CloseDown ||
        (kind == rt::EventKind::AlertKey && window_.Field() == 0)) {
      if (!TakeUserRequest()) return WaitEvent::kClosed;
      if (stop_now_) return WaitEvent::kStopNow;
      continue;
    }
    if (kind == rt::EventKind::Timer) return WaitEvent::kTimer;
    if (kind == rt::EventKind::DirectoryChanged) return WaitEvent::kFolderChanged;
    if (kind != rt::EventKind::Accepted && *other_events_) (*other_events_)(window_);
  }
  return WaitEvent::kClosed;
}

bool BatchOperations::Pause(int hundredths) {
  const int period = window_.TimerPeriod();
  window_.SetTimerPeriod(hundredths);
  WaitEvent event = WaitEvent::kFolderChanged;
  while (event == WaitEvent::kFolderChanged) event = NextWaitEvent();
  if (window_.IsClosed()) return false;
  window_.SetTimerPeriod(period);
  return event != WaitEvent::kClosed;
}

bool BatchOperations::TakeUserRequest() {
  rt::Runtime& runtime = window_.runtime();
  if (window_.Kind() == rt::EventKind::AlertKey) {
    if (stop_now_) return true;
    int answer = runtime.Message(kStopQuestion, "Stop the Batch", rt::BoxIcon::Question,
                                 rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel, rt::ButtonCancel);
    if (answer == rt::ButtonYes) {
      stop_requested_ = true;
      state_.LastAction = "Stopping after this one";
    } else if (answer == rt::ButtonNo) {
      stop_now_ = true;
      state_.LastAction = "Stopping now";
    } else {
      return true;
    }
    window_.Display();
    return true;
  }
  if (runtime.Message(kCloseQuestion, "Batch", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo, rt::ButtonNo) ==
      rt::ButtonYes)
    return false;
  window_.KeepOpen();
  return true;
}

std::string BatchOperations::DeleteStaleOutput(const OperationRow& row) {
  std::string d(app_.DriveNPath.Trimmed());
  const std::string OutputFileName = d + std::string(AppBaseName.Trimmed()) + row.deleted_extension;
  std::vector<platform::DirectoryEntry> DirectoryList;
  std::string reason;
  auto remove = [&](const std::string& path) {
    store::RemovePlainFile(files_.store, path);
    const store::StoreErrorState& error = files_.store.error;
    // A missing file is what this step wants.
    if (error.code != store::kNoError && error.code != store::kFileNotFound && reason.empty())
      reason = StoreReason(error);
  };
  remove(OutputFileName);
  // Where the file system tells letter case apart, an old "invoice.exe" would end the wait at once.
  lister_.List(OutputFileName, DirectoryList);
  for (const platform::DirectoryEntry& entry : DirectoryList) remove(d + entry.name);
  lister_.List(OutputFileName, DirectoryList);
  if (DirectoryList.empty()) return "";
  return reason.empty() ? "it is still there" : reason;
}

bool BatchOperations::AnyFile(const std::string& pattern) {
  std::vector<platform::DirectoryEntry> DirectoryList;
  lister_.List(pattern, DirectoryList);
  return !DirectoryList.empty();
}

void BatchOperations::Log(std::string_view text) {
  const platform::Moment now = clock_.Now();
  files_.TMP.Apps = app_.Application.Trimmed();
  files_.TMP.Date = now.date;
  files_.TMP.Event = text;
  files_.TMP.Clock = now.time;
  files_.TempFile.Add();
  if (files_.store.error.code == 0) {
    if (logged_) logged_(files_.TMP);
    return;
  }
  // A batch whose steps cannot be told must not pass for one that went well: it stops after the
  // application at hand, and the user learns why from the system.
  if (!log_failure_.empty()) return;
  log_failure_ = StoreReason(files_.store.error);
  window_.runtime().Message("A record of the activity log could not be written (" + log_failure_ +
                                "). The batch stops after this application.",
                            "Activity Log", rt::BoxIcon::Exclamation, rt::ButtonOk);
}

void BatchOperations::Finish(Outcome outcome, std::string_view text) {
  Log(text);
  current_.outcome = outcome;
  current_.detail = outcome == Outcome::kMade ? "" : std::string(text);
  current_.end = clock_.Now();
  current_.hundredths = clock_.Ticks() - app_start_ticks_;
  if (current_.error_code == platform::kDdeNotProcessed) {
    current_.ide_error_number = state_.IDEErrorNumber;
    current_.ide_error_text = std::string(platform::TrimRight(state_.IDEErrorText));
  }
  ++tally_.counts[static_cast<int>(outcome)];
  if (told_) told_(current_);
  KeepResult();
}

std::string BatchOperations::ErrorLine() {
  current_.error_code = state_.LastErrorCode;
  // The IDE's own reason says more than the DDE code that carried it.
  if (state_.LastErrorCode == platform::kDdeNotProcessed &&
      (state_.IDEErrorNumber != 0 || !platform::TrimRight(state_.IDEErrorText).empty()))
    return "Error 603 IDE error " + std::to_string(state_.IDEErrorNumber) + ": " +
           std::string(platform::TrimRight(state_.IDEErrorText));
  return "Error " + std::to_string(state_.LastErrorCode) + " " + std::string(platform::TrimRight(dde_.LastErrorText()));
}

void BatchOperations::ShowProgress() {
  const std::string count = std::to_string(pooled_ ? ended_count_ : started_) + " of " + std::to_string(tally_.chosen);
  std::string progress = count;
  std::vector<std::int64_t> expected, spent;
  const std::int64_t now = clock_.Ticks();
  for (std::size_t i = 0; i < expected_.size(); ++i) {
    if (ended_[i]) continue;
    expected.push_back(expected_[i]);
    std::int64_t at_work = 0;
    for (const auto& job : jobs_)
      if (job->index == i) at_work = now - job->start_ticks;
    spent.push_back(at_work);
  }
  const int ides = static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.alive; }));
  const std::optional<std::int64_t> left = TimeLeft(expected, spent, ides);
  if (left) progress += ", " + TimeLeftText(*left);
  // The time left moves with every look at the waits; the title and the console change only with it.
  if (window_.Title() == title_ + " - " + progress) return;
  window_.SetTitle(title_ + " - " + progress);
  // The console hears of each application's start or end, not of every second.
  if (left && progress_ && count != told_count_) progress_(progress);
  if (left) told_count_ = count;
}

BatchEnd BatchOperations::EndBatch(bool window_closing) {
  // The sum of the batch, under no application's name: every chosen application once.
  std::string summary = "Batch ended: " + std::to_string(tally_.Count(Outcome::kMade)) + " finished";
  for (int i = 1; i < kOutcomeCount; ++i)
    if (tally_.counts[i] > 0) summary += ", " + std::to_string(tally_.counts[i]) + " " + OutcomeName(Outcome(i));
  summary += ", of " + std::to_string(tally_.chosen) + "; " + DurationText(clock_.Ticks() - batch_start_);
  app_.Application.Clear();
  Log(summary);
  files_.TMP.Clear();
  window_.runtime().SetWorkingCursor(false);
  const bool all_made = tally_.NotMade() == 0 && log_failure_.empty();
  if (!window_closing) {
    window_.SetTitle(title_);
    window_.runtime().Beep();
    // "Processing Complete" only when every application was made and logged: anything else would
    // pass a failure off as success.
    std::string not_made = std::to_string(tally_.NotMade()) + " of " + std::to_string(tally_.chosen) + " not made";
    if (all_made) state_.LastAction = "Processing Complete";
    else if (!log_failure_.empty()) state_.LastAction = "Log not written, see message";
    else if (stop_requested_ || stop_now_) state_.LastAction = "Stopped: " + not_made;
    else state_.LastAction = not_made + ", see Log";
    window_.Display();
  }
  files_.TempFile.Close();
  connection_.CloseChannel();
  if (window_closing) return BatchEnd::kWindowClosed;
  return all_made ? BatchEnd::kAllFinished : BatchEnd::kNotAllMade;
}

}  // namespace ide
