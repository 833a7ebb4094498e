// The batch operations: see batch_operations.h.
#include "ide/batch_operations.h"

#include <algorithm>
#include <cstdio>

#include "files/app_path.h"
#include "files/files.h"
#include "files/open_record_file.h"
#include "store/path_key.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dde_client.h"
#include "platform/file_claim.h"
#include "platform/time_text.h"
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

std::string EventText(std::string_view text) {
  constexpr std::size_t kRoom = decltype(store::TempFileRecord::Event)::size();
  if (text.size() <= kRoom) return std::string(text);
  // The whole text stays in the outcome, the last result and the reports; the record keeps what
  // fits, cut after a word, and says it was cut with the code page's ellipsis.
  std::string_view kept = text.substr(0, kRoom - 1);
  const std::size_t space = kept.find_last_of(' ');
  if (space != std::string_view::npos && space >= kRoom / 2) kept = kept.substr(0, space);
  while (!kept.empty() && (kept.back() == ' ' || kept.back() == ':' || kept.back() == ',')) kept.remove_suffix(1);
  return std::string(kept) + "\x85";
}

namespace {

// One IDE of the batch.
struct Slot {
  PoolIde ide;
  bool alive = true;  // false once it failed: it takes nothing more
  bool taken = false;  // an application is in flight on it
};

}  // namespace

// A running batch: the state one run of Dispatch passes to the functions that need it.
struct BatchOperations::Batch {
  Batch(const OperationRow& row, std::vector<Tagged> chosen, platform::DirectoryLister& lister)
      : row(row), tagged(std::move(chosen)), keys(&lister), schedule(Items(tagged), &keys), ended(tagged.size(), false) {
    tally.chosen = static_cast<int>(tagged.size());
  }
  static std::vector<PoolSchedule::Item> Items(const std::vector<Tagged>& tagged) {
    std::vector<PoolSchedule::Item> items;
    for (const Tagged& app : tagged) items.push_back({app.folder, app.order});
    return items;
  }
  int Alive() const {
    return static_cast<int>(std::count_if(slots.begin(), slots.end(), [](const Slot& s) { return s.alive; }));
  }

  const OperationRow& row;
  std::vector<Tagged> tagged;
  store::PathKeys keys;  // one key for a folder however it is spelled
  PoolSchedule schedule;
  std::vector<Slot> slots;
  std::vector<std::unique_ptr<Flight>> flights;
  std::vector<bool> ended;  // by the batch's order: its outcome was told
  std::vector<std::int64_t> made;  // how long each application made in this batch took
  BatchTally tally;
  std::int64_t start = 0;
  std::string title;  // the window's title before the batch
  int period = 0;     // the window's timer period before the batch
  std::string watched;
  bool stop_requested = false;  // after the applications at work
  bool stop_now = false;        // every wait abandoned
  bool at_failure = false;      // stopped at the first failure: nothing more starts
  std::string progress;         // the progress last told
};

// The observers a batch always has: the last result of each application, and the window's title
// and last-action field.
class BatchOperations::Keeper final : public BatchObserver {
 public:
  Keeper(BatchOperations& batch, const Batch& run) : batch_(batch), run_(run) {}
  void Ended(const ApplicationOutcome& outcome) override { batch_.KeepResult(outcome); }
  void Progressed(const BatchProgress& progress) override {
    batch_.window_.SetTitle(run_.title + " - " + progress.Text());
    // Several IDEs at work are named in the last-action field; one shows its own steps there.
    if (run_.slots.size() > 1 && !progress.at_work.empty()) {
      batch_.state_.LastAction = AtWorkText(progress.at_work, decltype(batch_.state_.LastAction)::size());
      batch_.window_.Display();
    }
  }

 private:
  BatchOperations& batch_;
  const Batch& run_;
};


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
  row_ = nullptr;
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
                       std::to_string(platform::ProcessId()) + "), since " + platform::MomentText(now);
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
    Log("", "Nothing sent: " + connection_.GaveUpReason());
    files_.TMP.Clear();
    files_.TempFile.Close();
    return connected == ConnectOutcome::kWindowClosed ? BatchEnd::kWindowClosed : BatchEnd::kNotRun;
  }
  row_ = &row;
  std::vector<Tagged> tagged = TaggedApplications();
  Arrange(tagged);
  Batch batch(row, std::move(tagged), lister_);
  return Dispatch(batch);
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
    tagged.push_back({.position = files_.Apps.Position(store::Order::File),
                      .application = std::string(files_.APP.Application.Trimmed()),
                      .folder = std::string(files_.APP.DriveNPath.Trimmed())});
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

BatchEnd BatchOperations::Dispatch(Batch& batch) {
  // The applications are taken as they are tagged now; each is read again when its turn comes, so
  // that what another station changed meanwhile counts, and the list may move the record buffer
  // while the batch waits.
  for (const PoolIde& ide : connection_.Pool()) batch.slots.push_back(Slot{ide});
  if (batch.slots.empty()) batch.slots.push_back(Slot{PoolIde{state_.DDEChannel}});
  // Which IDE (or IDEs) the batch reached: a station with several tells them apart by process.
  for (const Slot& slot : batch.slots)
    if (slot.ide.process != 0) Log("", "Connected to " + IdeDescription(slot.ide));
  batch.start = clock_.Ticks();
  batch.title = window_.Title();
  batch.period = window_.TimerPeriod();
  Keeper keeper(*this, batch);
  observers_.insert(observers_.begin(), &keeper);
  // An answer wakes the loop at once, wherever the thread's messages are served.
  dde_.OnAnswer([this] { window_.Notify(); });
  window_.runtime().SetWorkingCursor(true);

  bool closed = false;
  for (StartWhatMay(batch); !batch.flights.empty(); StartWhatMay(batch)) {
    Wake(batch);
    Progress(batch);
    const WaitEvent event = NextWaitEvent(batch);
    if (event == WaitEvent::kClosed) {
      closed = true;
      AbandonAll(batch, true);
      break;
    }
    // After "stop now" every flight looks once more: a file written before the answer counts.
    const std::int64_t now = clock_.Ticks();
    const bool look = event == WaitEvent::kFolderChanged || event == WaitEvent::kStopNow;
    for (std::size_t i = 0; i < batch.flights.size(); ++i) Step(batch, *batch.flights[i], now, look);
    if (event == WaitEvent::kStopNow) {
      AbandonAll(batch, false);
      break;
    }
  }
  dde_.OnAnswer({});
  if (!window_.IsClosed()) {
    window_.WatchDirectory("");
    window_.SetTimerPeriod(batch.period);
  }
  // The display goes on naming the batch's first conversation, as with one IDE.
  state_.DDEChannel = batch.slots.front().ide.channel;
  NotReached(batch, closed);
  const BatchEnd end = EndBatch(batch, closed);
  observers_.erase(observers_.begin());
  return end;
}

void BatchOperations::StartWhatMay(Batch& batch) {
  for (;;) {
    // Flights that ended free their IDE and folder; one whose outcome is told but whose IDE is
    // still at work on it stays, to keep that IDE from the next application, unless none is to
    // come.
    const bool more = MayStart(batch) && batch.schedule.NotStarted() > 0;
    std::erase_if(batch.flights, [&](const std::unique_ptr<Flight>& flight) {
      if (flight->stage != Flight::Stage::kDone && (more || !flight->told)) return false;
      if (flight->sent != 0) dde_.Forget(flight->sent);
      batch.schedule.Ended(flight->index);
      batch.slots[flight->slot].taken = false;
      return true;
    });
    if (!more) return;
    // The first free IDE takes the next application that may start; one that ends at once (not
    // found, up to date) frees its IDE for the next.
    auto free = std::find_if(batch.slots.begin(), batch.slots.end(), [](const Slot& s) { return s.alive && !s.taken; });
    const std::optional<std::size_t> next = batch.schedule.Next();
    if (free == batch.slots.end() || !next) return;
    Start(batch, *next, static_cast<int>(free - batch.slots.begin()));
  }
}

void BatchOperations::NotReached(Batch& batch, bool closed) {
  const bool any_left = std::find(batch.ended.begin(), batch.ended.end(), false) != batch.ended.end();
  if ((batch.stop_requested || batch.stop_now) && any_left && !closed) Log("", "Batch stopped by the user");
  // Every chosen application is accounted for, those the batch never came to included.
  for (std::size_t i = 0; i < batch.tagged.size(); ++i) {
    if (batch.ended[i]) continue;
    const platform::Moment now = clock_.Now();
    const ApplicationOutcome outcome{.position = static_cast<int>(i) + 1,
                                     .application = batch.tagged[i].application,
                                     .folder = batch.tagged[i].folder,
                                     .long_path = batch.tagged[i].long_path,
                                     .outcome = Outcome::kNotReached,
                                     .start = now,
                                     .end = now,
                                     .offset = clock_.Ticks() - batch.start};
    ++batch.tally.counts[static_cast<int>(Outcome::kNotReached)];
    // Kept too: an older "made" would hide it from a batch of the failed.
    for (BatchObserver* observer : observers_) observer->Ended(outcome);
  }
}

bool BatchOperations::MayStart(const Batch& batch) const {
  // A log that can no longer be written would leave the next applications' steps untold.
  if (!log_failure_.empty()) return false;
  // The user asked to stop after the applications at work, or now.
  if (batch.stop_requested || batch.stop_now) return false;
  // The batch stops at the first failure, and one came.
  if (batch.at_failure) return false;
  // No IDE is left to send to.
  return batch.Alive() > 0;
}

void BatchOperations::Start(Batch& batch, std::size_t index, int slot) {
  const Tagged& tagged = batch.tagged[index];
  batch.schedule.Started(index);
  batch.slots[slot].taken = true;
  batch.flights.push_back(std::make_unique<Flight>());
  Flight& flight = *batch.flights.back();
  flight.index = index;
  flight.slot = slot;
  flight.stage = Flight::Stage::kDone;
  files_.Apps.Reread(tagged.position);
  const bool gone = files_.store.error.code != 0;
  flight.app = files_.APP;
  if (gone) {
    flight.app.Application = tagged.application;
    flight.app.DriveNPath = tagged.folder;
  }
  flight.name = std::string(flight.app.Application.Trimmed());
  flight.folder = std::string(flight.app.DriveNPath.Trimmed());
  // What is sent and looked for: the stored path, or the long one where the record holds a
  // stand-in for a name the system gave no short form of.
  const std::string path = files::CommandPath(flight.folder, flight.name, tagged.long_path);
  const std::size_t split = path.find_last_of("\\/") + 1;
  const std::string file = path.substr(split);
  flight.directory = path.substr(0, split);
  // A long name is not cut to the eight characters of a stored one: only its extension goes.
  flight.base = path == flight.folder + flight.name ? BaseNameOf(file) : file.substr(0, file.find_last_of('.'));
  flight.start_ticks = clock_.Ticks();
  flight.outcome = ApplicationOutcome{.position = static_cast<int>(index) + 1,
                                      .application = flight.name,
                                      .folder = flight.folder,
                                      .long_path = tagged.long_path,
                                      .start = clock_.Now(),
                                      .offset = flight.start_ticks - batch.start};
  Progress(batch);
  if (gone || !Chosen(flight.app)) {
    Finish(batch, flight, Outcome::kSkipped,
           gone ? "Removed from the list meanwhile, not sent" : "Untagged meanwhile, not sent");
    return;
  }
  if (Prepare(batch, flight)) Send(batch, flight);
}

bool BatchOperations::Prepare(Batch& batch, Flight& flight) {
  const OperationRow& row = batch.row;
  const std::string& d = flight.directory;
  const std::string& b = flight.base;
  // A name the command cannot carry would reach the IDE as a different command, or none.
  if (auto bad = FirstUncarriable(d + b)) {
    std::string shown = static_cast<unsigned char>(*bad) < 0x20 || *bad == 0x7F
                            ? std::string("a control character")
                            : "\"" + std::string(1, *bad) + "\"";
    Finish(batch, flight, Outcome::kSkipped, "Not sent: path holds " + shown + ", which a DDE command cannot carry");
    return false;
  }
  // A "*" or "?" makes the name a pattern: the stale output's delete would take other
  // applications' files, and the IDE would be sent a file that does not exist.
  if ((d + b).find_first_of("*?") != std::string::npos) {
    Finish(batch, flight, Outcome::kSkipped, "Not sent: the name holds * or ?, which stand for other files");
    return false;
  }
  // A device's name (an older record may hold one) would reach the IDE as the device: AUX hangs it.
  if (std::string device; files::IsDeviceName(b, &device)) {
    Finish(batch, flight, Outcome::kSkipped,
           "Not sent: " + device + " names a device, which Windows opens instead of a file");
    return false;
  }
  if (!AnyFile(d + b + row.input_extension)) {
    Finish(batch, flight, Outcome::kNotFound, std::string(row.input_extension) + " not found");
    return false;
  }
  if (plan_.only_changed && UpToDate(flight)) {
    Finish(batch, flight, Outcome::kUpToDate, kUpToDateText);
    return false;
  }
  Log(flight.name, row.begin_text);
  if (row.deleted_extension != nullptr) {
    // An old output that stays would end the wait at once and pass for the new one.
    if (std::string reason = DeleteStaleOutput(flight); !reason.empty()) {
      Finish(batch, flight, Outcome::kFailed,
             "Old " + std::string(row.deleted_extension) + " not deleted (" + reason + "), not sent");
      return false;
    }
  }
  // At most 255 characters: FirstUncarriable and the form keep D and B short enough.
  flight.command = ComposeCommand(row.operation, d + b);
  if (row.sending_action != nullptr) {
    state_.LastAction = row.sending_action + flight.name;
    window_.Display();
  }
  // The wait's view of the folder from before the command: an import's file is there already.
  flight.wait = std::make_unique<ResultWait>(lister_, dde_, batch.slots[flight.slot].ide.channel, row, d, b);
  flight.wait->NoteBefore();
  return true;
}

void BatchOperations::Send(Batch& batch, Flight& flight) {
  const PoolIde& ide = batch.slots[flight.slot].ide;
  const std::int64_t now = clock_.Ticks();
  flight.outcome.ide_process = ide.process;
  flight.sent = dde_.Send(ide.channel, flight.command);
  flight.sent_at = now;
  flight.stage = Flight::Stage::kAnswer;
  if (flight.sent == 0) {
    Answered(batch, flight, dde_.LastError(), now);
    return;
  }
  // The IDE may write the file before it answers; the wait watches from now.
  flight.wait->Start(now, TimeOutHundredths(), LookEvery(batch));
}

const BatchOperations::Flight* BatchOperations::Watched(const Batch& batch, int* waiting) {
  const Flight* only = nullptr;
  int count = 0;
  for (const auto& flight : batch.flights) {
    if (flight->wait && flight->stage != Flight::Stage::kBusy && flight->stage != Flight::Stage::kDone) {
      only = flight.get();
      ++count;
    }
  }
  if (waiting != nullptr) *waiting = count;
  return count == 1 ? only : nullptr;
}

int BatchOperations::LookEvery(const Batch& batch) const {
  // One flight waiting for its file: the window watches its folder (Wake), and a look on the
  // window's own period is the fallback for folders that send no notifications. Several: each
  // flight looks at its own folder often.
  int waiting = 0;
  Watched(batch, &waiting);
  return waiting <= 1 ? batch.period : kPoolLook;
}

void BatchOperations::Step(Batch& batch, Flight& flight, std::int64_t now, bool folder_changed) {
  const auto trigger = folder_changed ? ResultWait::Trigger::kFolderChanged : ResultWait::Trigger::kTimer;
  switch (flight.stage) {
    case Flight::Stage::kBusy:
      if (now >= flight.next_try) Send(batch, flight);
      return;
    case Flight::Stage::kAnswer: {
      if (const std::int32_t code = dde_.Answer(flight.sent); code != platform::kDdePending) {
        flight.sent = 0;
        if (flight.told) flight.stage = Flight::Stage::kDone;  // its file came first
        else Answered(batch, flight, code, now);
        return;
      }
      if (now - flight.sent_at >= TimeOutHundredths()) {
        // No answer within the time-out: a failure of the IDE itself.
        dde_.Forget(flight.sent);
        flight.sent = 0;
        if (flight.told) {
          flight.stage = Flight::Stage::kDone;
          Retire(batch, flight.slot);
        } else {
          Answered(batch, flight, platform::kDdeTimeOut, now);
        }
        return;
      }
      Look(batch, flight, now, trigger);
      return;
    }
    default:
      Look(batch, flight, now, trigger);
      return;
  }
}

void BatchOperations::Look(Batch& batch, Flight& flight, std::int64_t now, ResultWait::Trigger trigger) {
  if (flight.stage == Flight::Stage::kResult || flight.stage == Flight::Stage::kHeld) {
    Settle(batch, flight, flight.wait->Poll(now, trigger), now);
  } else if (flight.stage == Flight::Stage::kAnswer && !flight.told) {
    // An IDE that makes inside the command may write its file before its answer comes: the
    // application is made, and the IDE takes nothing new until it has answered.
    const ResultWait::Verdict verdict = flight.wait->Poll(now, trigger);
    if (verdict == ResultWait::Verdict::kWritten || verdict == ResultWait::Verdict::kOtherKind)
      Settle(batch, flight, verdict, now);
  }
}

void BatchOperations::Answered(Batch& batch, Flight& flight, std::int32_t code, std::int64_t now) {
  const bool one_ide = batch.slots.size() == 1;
  // Busy is no refusal: the IDE takes the command once it is free, within the time-out; after
  // "stop now" it is not sent again.
  if (code == platform::kDdeServerBusy) {
    if (flight.busy_since < 0) flight.busy_since = flight.sent_at;
    if (batch.stop_now || now - flight.busy_since < TimeOutHundredths()) {
      flight.stage = Flight::Stage::kBusy;
      flight.next_try = now + std::min<std::int64_t>(flight.pause, TimeOutHundredths() - (now - flight.busy_since));
      flight.pause = std::min(flight.pause * 2, kBusyPauseLongest);
      if (one_ide) {
        state_.LastAction = "CW busy, sending again";
        window_.Display();
      }
      return;
    }
  }
  // A refusal concerns this application alone: unless the user asked to stop at the first
  // failure, it is logged and the batch goes on. A failure of the IDE itself (the conversation
  // lost, the IDE gone, a time-out) takes that IDE out of the batch.
  const bool past_refusal = !plan_.stop_on_failure;
  const PoolIde& ide = batch.slots[flight.slot].ide;
  connection_.CheckDDEError(code, ide.channel, flight.name, !past_refusal);
  if (code == platform::kDdeNoError) {
    flight.stage = Flight::Stage::kResult;
    if (one_ide) {
      state_.LastAction = flight.name + batch.row.ack_text;
      window_.Display();
    }
    flight.wait->Start(now, TimeOutHundredths(), LookEvery(batch));
    // The first look comes at once: the IDE may have written before its answer came.
    Settle(batch, flight, flight.wait->Poll(now, ResultWait::Trigger::kFolderChanged), now);
    return;
  }
  // The log line of a DDE failure: the code, and the IDE's own number and message after a refusal.
  flight.outcome.error_code = code;
  std::string line = "Error " + std::to_string(code) + " " +
                     std::string(platform::TrimRight(code == dde_.LastError() ? dde_.LastErrorText()
                                                                             : platform::DdeErrorText(code)));
  // The IDE's own reason says more than the DDE code that carried it.
  if (code == platform::kDdeNotProcessed &&
      (state_.IDEErrorNumber != 0 || !platform::TrimRight(state_.IDEErrorText).empty()))
    line = "Error 603 IDE error " + std::to_string(state_.IDEErrorNumber) + ": " +
           std::string(platform::TrimRight(state_.IDEErrorText));
  if (code == platform::kDdeNotProcessed && past_refusal) {
    Finish(batch, flight, Outcome::kFailed, line);
    return;
  }
  if (code < 600) {
    window_.runtime().Message(flight.name + ": " + batch.row.error_prefix + std::to_string(code) + " " +
                                  std::string(platform::TrimRight(dde_.LastErrorText())),
                              "Processing Terminated", rt::BoxIcon::Stop, rt::ButtonOk);
  }
  Finish(batch, flight, code == platform::kDdeTimeOut ? Outcome::kTimedOut : Outcome::kFailed, line);
  if (code == platform::kDdeNotProcessed) return;  // a refusal that stops at the first failure
  Retire(batch, flight.slot);
}

void BatchOperations::Settle(Batch& batch, Flight& flight, ResultWait::Verdict verdict, std::int64_t now) {
  if (verdict == ResultWait::Verdict::kWaiting) return;
  const OperationRow& row = batch.row;
  const std::string awaited(row.awaited_extension);
  if (flight.stage == Flight::Stage::kHeld) {
    // The wait already ended: what is left to learn is whether its IDE may take the next.
    flight.stage = Flight::Stage::kDone;
    if (verdict == ResultWait::Verdict::kWritten || verdict == ResultWait::Verdict::kOtherKind) {
      Log(flight.name, "The IDE wrote " + flight.base + awaited + " after the wait ended; it takes the next");
    } else {
      if (verdict == ResultWait::Verdict::kTimedOut)
        Log(flight.name, "No " + awaited + " within another " + Minutes(flight.wait->Limit()) +
                             " either: the IDE is taken to be stuck");
      Retire(batch, flight.slot);
    }
    return;
  }
  switch (verdict) {
    case ResultWait::Verdict::kWaiting:
      break;
    case ResultWait::Verdict::kWritten:
      if (row.completion_action != nullptr && batch.slots.size() == 1) {
        state_.LastAction = flight.name + row.completion_action;
        window_.Display();
      }
      Finish(batch, flight, Outcome::kMade, row.finished_text);
      break;
    case ResultWait::Verdict::kOtherKind:
      // The project makes the other kind: what is awaited will not come.
      Finish(batch, flight, Outcome::kFailed, "The IDE made " + flight.wait->OtherName() + row.other_reason);
      break;
    case ResultWait::Verdict::kIdeGone:
      flight.outcome.error_code = platform::kDdeChannelNotOpen;
      Finish(batch, flight, Outcome::kFailed,
             "The IDE ended the conversation (it exited or closed it) while " + awaited + " was awaited");
      // Its result will not come, and the next applications' commands would find nobody there.
      Retire(batch, flight.slot);
      if (batch.Alive() == 0) {
        state_.DDEConnected = 0;
        window_.Display();
      }
      break;
    case ResultWait::Verdict::kTimedOut:
      Finish(batch, flight, Outcome::kTimedOut, "No " + awaited + " within " + Minutes(flight.wait->Limit()) +
                                                    ", wait ended");
      // The IDE answered, so it may still be making it: its file may come late.
      flight.stage = Flight::Stage::kHeld;
      flight.wait->Start(now, TimeOutHundredths(), LookEvery(batch));
      break;
  }
}

void BatchOperations::Finish(Batch& batch, Flight& flight, Outcome outcome, std::string_view text) {
  Log(flight.name, text);
  ApplicationOutcome& told = flight.outcome;
  told.outcome = outcome;
  told.detail = outcome == Outcome::kMade ? "" : std::string(text);
  told.end = clock_.Now();
  told.hundredths = clock_.Ticks() - flight.start_ticks;
  if (told.error_code == platform::kDdeNotProcessed) {
    told.ide_error_number = state_.IDEErrorNumber;
    told.ide_error_text = std::string(platform::TrimRight(state_.IDEErrorText));
  }
  ++batch.tally.counts[static_cast<int>(outcome)];
  batch.ended[flight.index] = true;
  if (outcome == Outcome::kMade) batch.made.push_back(told.hundredths);
  flight.told = true;
  if (flight.stage != Flight::Stage::kAnswer || flight.sent == 0) flight.stage = Flight::Stage::kDone;
  for (BatchObserver* observer : observers_) observer->Ended(told);
  // Stopping at the first failure: nothing more starts. A failure of the IDE itself, or a refusal
  // that stops the batch, says so in its own record already.
  if (plan_.stop_on_failure && IsFailure(outcome) && !batch.at_failure) {
    batch.at_failure = true;
    if (told.error_code == 0) Log("", kStoppedAtFailureText);
  }
}

void BatchOperations::AbandonAll(Batch& batch, bool window_closed) {
  const std::string awaited(batch.row.awaited_extension);
  for (auto& flight : batch.flights) {
    if (flight->sent != 0) dde_.Forget(flight->sent);
    flight->sent = 0;
    if (!flight->told) {
      const bool busy = flight->stage == Flight::Stage::kBusy;
      if (window_closed)
        Finish(batch, *flight, Outcome::kStopped,
               busy ? "Window closed while the IDE was busy, not sent" : "Window closed while waiting for " + awaited);
      else
        Finish(batch, *flight, Outcome::kStopped,
               busy ? "Stopped by the user while the IDE was busy, not sent"
                    : "Stopped by the user; the wait for " + awaited + " was abandoned");
    }
    flight->stage = Flight::Stage::kDone;
  }
}

void BatchOperations::Retire(Batch& batch, int slot) {
  if (!batch.slots[slot].alive) return;
  batch.slots[slot].alive = false;
  if (batch.Alive() > 0) {
    Log("", "IDE " + IdeName(batch.slots[slot].ide) + " left the batch; the others go on");
  } else if (batch.slots.size() > 1) {
    Log("", "No IDE is left to make the rest");
  }
}

void BatchOperations::Wake(Batch& batch) {
  // The folder of the one flight waiting for its file is watched; the timer ticks as often as the
  // soonest look, resend or check on an IDE needs.
  const Flight* only = Watched(batch);
  const std::string watched = only != nullptr ? only->wait->Folder() : "";
  if (watched != batch.watched && !window_.IsClosed()) {
    window_.WatchDirectory(watched);
    batch.watched = watched;
  }
  const std::int64_t now = clock_.Ticks();
  const int look = LookEvery(batch);
  int wanted = kAliveCheck;
  for (const auto& flight : batch.flights) {
    if (flight->stage == Flight::Stage::kBusy) {
      wanted = static_cast<int>(std::clamp<std::int64_t>(flight->next_try - now, 1, wanted));
    } else if (flight->wait && flight->stage != Flight::Stage::kDone) {
      flight->wait->LookEvery(look, now);
      wanted = std::min(wanted, flight->wait->TimerPeriod());
    }
  }
  // Set only when it changes: setting the timer starts its period afresh, and a folder that keeps
  // changing would otherwise keep the timer from ever firing.
  if (window_.TimerPeriod() != wanted) window_.SetTimerPeriod(wanted);
}

void BatchOperations::Progress(Batch& batch) {
  BatchProgress progress{.chosen = batch.tally.chosen};
  const std::int64_t now = clock_.Ticks();
  // What each application not ended yet is expected to take; an unknown time counts as the
  // median of the known ones, this batch's own made times among them.
  std::vector<std::int64_t> known = batch.made;
  for (const Tagged& app : batch.tagged)
    if (app.expected >= 0) known.push_back(app.expected);
  const std::optional<std::int64_t> median = MedianOf(known);
  std::vector<std::int64_t> expected(batch.tagged.size(), 0), spent(batch.tagged.size(), 0);
  for (std::size_t i = 0; i < batch.tagged.size(); ++i) {
    if (batch.ended[i]) ++progress.ended;
    expected[i] = batch.tagged[i].expected >= 0 ? batch.tagged[i].expected : median.value_or(0);
  }
  for (const auto& flight : batch.flights) {
    if (flight->told) continue;
    spent[flight->index] = std::max<std::int64_t>(now - flight->start_ticks, 1);
    progress.at_work.push_back(flight->base);
  }
  // One IDE counts the application at hand ("2 of 5" while the second is made), several the
  // applications ended.
  if (batch.slots.size() == 1) progress.ended += static_cast<int>(progress.at_work.size());
  if (median) progress.left = batch.schedule.TimeLeft(expected, spent, batch.Alive());
  std::string text = progress.Text();
  for (const std::string& name : progress.at_work) text += "|" + name;
  if (text == batch.progress) return;
  batch.progress = text;
  for (BatchObserver* observer : observers_) observer->Progressed(progress);
}

BatchOperations::WaitEvent BatchOperations::NextWaitEvent(Batch& batch) {
  while (window_.Accept()) {
    rt::EventKind kind = window_.Kind();
    if (kind == rt::EventKind::CloseWindow || kind == rt::EventKind::CloseDown ||
        (kind == rt::EventKind::AlertKey && window_.Field() == 0)) {
      if (!TakeUserRequest(batch)) return WaitEvent::kClosed;
      if (batch.stop_now) return WaitEvent::kStopNow;
      continue;
    }
    if (kind == rt::EventKind::Timer) return WaitEvent::kTimer;
    if (kind == rt::EventKind::DirectoryChanged) return WaitEvent::kFolderChanged;
    if (kind == rt::EventKind::Notified) return WaitEvent::kAnswer;
    if (kind != rt::EventKind::Accepted && *other_events_) (*other_events_)(window_);
  }
  return WaitEvent::kClosed;
}

bool BatchOperations::TakeUserRequest(Batch& batch) {
  rt::Runtime& runtime = window_.runtime();
  // While the question is open the IDEs go on, and the files they write are taken; answers wait
  // for the loop, as one may need a box of its own.
  const auto take_results = [this, &batch] {
    const std::int64_t now = clock_.Ticks();
    for (auto& flight : batch.flights) Look(batch, *flight, now, ResultWait::Trigger::kFolderChanged);
  };
  if (window_.Kind() == rt::EventKind::AlertKey) {
    if (batch.stop_now) return true;
    int answer = runtime.Message(kStopQuestion, "Stop the Batch", rt::BoxIcon::Question,
                                 rt::ButtonYes | rt::ButtonNo | rt::ButtonCancel, rt::ButtonCancel, take_results);
    if (answer == rt::ButtonYes) {
      batch.stop_requested = true;
      state_.LastAction = "Stopping after this one";
    } else if (answer == rt::ButtonNo) {
      batch.stop_now = true;
      state_.LastAction = "Stopping now";
    } else {
      return true;
    }
    window_.Display();
    return true;
  }
  if (runtime.Message(kCloseQuestion, "Batch", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo, rt::ButtonNo,
                      take_results) == rt::ButtonYes)
    return false;
  window_.KeepOpen();
  return true;
}

std::string BatchOperations::DeleteStaleOutput(const Flight& flight) {
  const std::string& d = flight.directory;
  const std::string OutputFileName = d + flight.base + row_->deleted_extension;
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

void BatchOperations::Log(std::string_view application, std::string_view text) {
  const platform::Moment now = clock_.Now();
  files_.TMP.Apps = application;
  files_.TMP.Date = now.date;
  files_.TMP.Event = EventText(text);
  files_.TMP.Clock = now.time;
  files_.TempFile.Add();
  if (files_.store.error.code == 0) {
    for (BatchObserver* observer : observers_) observer->Logged(files_.TMP);
    return;
  }
  // A batch whose steps cannot be told must not pass for one that went well: it stops after the
  // applications at work, and the user learns why from the system.
  if (!log_failure_.empty()) return;
  log_failure_ = StoreReason(files_.store.error);
  window_.runtime().Message("A record of the activity log could not be written (" + log_failure_ +
                                "). The batch stops after this application.",
                            "Activity Log", rt::BoxIcon::Exclamation, rt::ButtonOk);
}

BatchEnd BatchOperations::EndBatch(Batch& batch, bool window_closing) {
  const BatchTally& tally = batch.tally;
  // The sum of the batch, under no application's name: every chosen application once.
  std::string summary = "Batch ended: " + std::to_string(tally.Count(Outcome::kMade)) + " finished";
  for (int i = 1; i < kOutcomeCount; ++i)
    if (tally.counts[i] > 0) summary += ", " + std::to_string(tally.counts[i]) + " " + OutcomeName(Outcome(i));
  summary += ", of " + std::to_string(tally.chosen) + "; " + DurationText(clock_.Ticks() - batch.start);
  Log("", summary);
  files_.TMP.Clear();
  window_.runtime().SetWorkingCursor(false);
  const bool all_made = tally.NotMade() == 0 && log_failure_.empty();
  if (!window_closing) {
    window_.SetTitle(batch.title);
    window_.runtime().Beep();
    // "Processing Complete" only when every application was made and logged: anything else would
    // pass a failure off as success.
    std::string not_made = std::to_string(tally.NotMade()) + " of " + std::to_string(tally.chosen) + " not made";
    if (all_made) state_.LastAction = "Processing Complete";
    else if (!log_failure_.empty()) state_.LastAction = "Log not written, see message";
    else if (batch.stop_requested || batch.stop_now) state_.LastAction = "Stopped: " + not_made;
    else state_.LastAction = not_made + ", see Log";
    window_.Display();
  }
  files_.TempFile.Close();
  connection_.CloseChannel();
  if (window_closing) return BatchEnd::kWindowClosed;
  return all_made ? BatchEnd::kAllFinished : BatchEnd::kNotAllMade;
}

}  // namespace ide
