// The six batch operations of the main window: for every tagged application of Apps, check its
// input file, delete its stale output, send the IDE the operation's command and wait for the file
// the IDE writes, which is noticed when the application's folder changes (the main window's timer
// is the fallback for folders that send no notifications); every step goes into the activity log
// (TempFile), and one more record sums the batch up. Main runs one when the operation's button is
// accepted; while it runs, the list can be scrolled but no button acts. Each IDE of the batch
// (ConnectionState::IDEs of them; one is a pool of one) has at most one application in flight:
// its command is sent without waiting for the answer, which may come only once the make is done,
// and one loop takes answers, results, the timer and the user's requests for every flight.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ide/batch_observer.h"
#include "ide/batch_plan.h"
#include "ide/connection.h"
#include "ide/dde_contract.h"
#include "ide/outcome.h"
#include "ide/pool_schedule.h"
#include "ide/result_wait.h"
#include "platform/clock.h"
#include "platform/directory_lister.h"
#include "platform/fixed_string.h"
#include "store/record_file.h"
#include "store/records.h"

namespace files {
struct Files;
}

namespace platform {
class Clock;
class DdeClient;
class FileClaim;
}  // namespace platform

namespace rt {
class Window;
}

namespace ide {

inline constexpr const char* kConfirmImportText = "Are you sure you want to import .TXA into .APP?";
inline constexpr const char* kStopQuestion =
    "Stop the batch?\n\nYes: after this application, which the IDE finishes.\nNo: now: this application's "
    "wait is abandoned and it is logged as stopped, not made.\nCancel: go on.";
// The file beside the log that a running batch claims, with who holds it written inside.
inline constexpr const char* kLogClaimFile = "TEMPFILE.lock";
// How often the applications in flight look at their folders for their results (hundredths) while
// more than one is in flight: the window watches one folder only, so then each lists its own on
// the timer. Each look costs a listing of one folder's outputs; half of this period is what each
// make waits on average beyond the IDE's own time (at 0.25 s, two IDEs took 0.61 of one IDE's time
// instead of 0.5). It also bounds how late a request of the user is seen.
inline constexpr int kPoolLook = 10;
// While the IDE answers busy, the command is sent again after a pause that starts at this and
// doubles up to kBusyPauseLongest (hundredths), until the DDE time-out has passed.
inline constexpr int kBusyPauseFirst = 50;
inline constexpr int kBusyPauseLongest = 1000;
inline constexpr const char* kCloseQuestion =
    "A batch is running. Close Nightjar now? The IDE finishes the job it was given, but nothing "
    "more is sent.";

// How a batch ended, for Main: after any end but kWindowClosed it makes the highlighted list row's
// record current again.
enum class BatchEnd {
  kNotRun,        // not confirmed, the log held by another batch or not started afresh, or no IDE:
                  // nothing was sent
  kAllFinished,   // every chosen application reached its finished event and every record was logged
  kNotAllMade,    // at least one did not (failed, not found, skipped, stopped or not reached), or a
                  // log record could not be written; up to date counts as made
  kWindowClosed,  // the user closed the window; it closes now
};

// A log record's event as it fits the record's 80 characters: a longer text is cut after a word
// and ends in the code page's ellipsis.
std::string EventText(std::string_view text);

// Which applications a batch takes: the tagged ones (the window's way), every one, or those named
// (by file name, or by directory and file name; letter case ignored; long and short names alike,
// files::NamesApplication).
struct Selection {
  bool all = false;
  std::vector<std::string> names;
  // When set, only the applications whose store::LastResultKey is in it, of those the rest chooses
  // (a shard of the list).
  std::optional<std::set<std::string>> keys;
};
// Whether `selection` takes `app`; `lister` tells long and short names apart (null: by text alone).
bool IsChosen(const Selection& selection, const store::AppsRecord& app, platform::DirectoryLister* lister);

class BatchOperations {
 public:
  // `window` is the main window, `dde` the client `connection` talks through, `clock` the one the
  // log's stamps and the waits read. `files` holds Apps (open while Main runs) and TempFile.
  BatchOperations(rt::Window& window, platform::DdeClient& dde, platform::Clock& clock, Connection& connection,
                  files::Files& files, platform::DirectoryLister& lister);
  ~BatchOperations();

  // Runs one operation from its confirmation to the end of the batch. The batch claims the log for
  // its whole run; while another batch holds it (this station or another, window or console),
  // nothing is started and the user is told which batch holds it. While the batch waits,
  // `other_events` is handed the window's events the batch does not take itself (the list's),
  // except the buttons' Accepted events, which are dropped: the list stays usable, no button acts.
  BatchEnd Run(Operation operation, const std::function<void(rt::Window&)>& other_events = {});

  // What the next batches take; the tagged applications unless set.
  void Choose(Selection selection) { selection_ = std::move(selection); }
  // How the next batches narrow, order and end (batch_plan.h); every batch runs by the build order
  // and keeps each application's last result beside Apps.
  void Plan(BatchPlan plan) { plan_ = plan; }
  // Adds `observer` to those told of every log record, outcome and progress of the next batches.
  // It must outlive them.
  void Listen(BatchObserver& observer) { observers_.push_back(&observer); }
  // Why a log record could not be written during the last batch ("" when every one was).
  const std::string& LogFailure() const { return log_failure_; }

 private:
  struct Batch;
  class Keeper;
  // One chosen application as found when the batch started.
  struct Tagged {
    store::RecordPosition position;
    std::string application;
    std::string folder;
    std::string long_path;       // the path the user gave, "" when the record's own is shown
    std::int32_t order = 0;      // build order number, 0 = none
    std::int64_t expected = -1;  // its last make's duration (hundredths), -1 when not known
  };

  // One application in flight: everything about it, passed to what needs it. It stays in flight
  // after its outcome was told for as long as its IDE is still at work on it.
  struct Flight {
    enum class Stage {
      kBusy,    // the IDE answered busy: the command goes again at next_try
      kAnswer,  // the command is on its way and its answer has not come
      kResult,  // accepted: the wait for its file
      kHeld,    // the wait ended without the file, yet the IDE may still be making it: the IDE and
                // the folder stay taken until the file comes, the IDE goes, or another time-out passed
      kDone,
    };
    std::size_t index = 0;  // in the batch's order
    int slot = 0;
    store::AppsRecord app;  // as read when its turn came
    ApplicationOutcome outcome;
    std::string name;    // APP:Application
    std::string folder;     // APP:DriveNPath as stored
    std::string directory;  // D: where its files are, as the command names them
    std::string base;    // AppBaseName
    std::string command;
    std::int64_t start_ticks = 0;
    Stage stage = Stage::kDone;
    bool told = false;  // its outcome went out; it stays only while its IDE is still at work on it
    std::unique_ptr<ResultWait> wait;
    platform::DdeCommand sent = 0;  // the command on its way, 0 once answered or forgotten
    std::int64_t sent_at = 0;       // when it went: each command's time-out counts from its own send
    std::int64_t busy_since = -1;   // when the IDE first answered busy
    std::int64_t next_try = 0;
    int pause = kBusyPauseFirst;
  };

  BatchEnd RunBatch(Operation operation);
  // The batch's one loop: starts flights while IDEs are free, then takes the next event for them
  // all, until none is in flight and none may start.
  BatchEnd Dispatch(Batch& batch);
  std::vector<Tagged> TaggedApplications();
  // batch_plan.cpp: the plan's narrowing and the build order, with each application's long path
  // and expected time; whether an application's output is newer than its sources; keeping results.
  void Arrange(std::vector<Tagged>& tagged);
  bool UpToDate(const Flight& flight);
  void KeepResult(const ApplicationOutcome& outcome);
  bool Chosen(const store::AppsRecord& app) const { return IsChosen(selection_, app, &lister_); }

  // Frees the IDEs of the flights that ended, and starts flights on the free IDEs while the
  // schedule has applications that may start.
  void StartWhatMay(Batch& batch);
  // Accounts for the applications the batch never came to.
  void NotReached(Batch& batch, bool closed);
  // Whether another flight may start now: one ladder of conditions.
  bool MayStart(const Batch& batch) const;
  // Reads `index`'s record again, checks and prepares it, and sends its command to `slot`'s IDE;
  // the flight ends at once when it is not to be sent.
  void Start(Batch& batch, std::size_t index, int slot);
  // Checks what the application's command needs and prepares its folder; false when it ended here.
  bool Prepare(Batch& batch, Flight& flight);
  void Send(Batch& batch, Flight& flight);
  // What one flight learns on waking at `now`; `folder_changed` when a folder changed.
  void Step(Batch& batch, Flight& flight, std::int64_t now, bool folder_changed);
  // What the flight's folder shows, when a look is due (or `trigger` is a change in the folder).
  void Look(Batch& batch, Flight& flight, std::int64_t now, ResultWait::Trigger trigger);
  // The server's answer `code` to the flight's command.
  void Answered(Batch& batch, Flight& flight, std::int32_t code, std::int64_t now);
  // What the flight's result wait found.
  void Settle(Batch& batch, Flight& flight, ResultWait::Verdict verdict, std::int64_t now);
  // Ends the flight's application with `outcome`, logging `text` and telling the observers.
  void Finish(Batch& batch, Flight& flight, Outcome outcome, std::string_view text);
  // Ends every flight with the user's stop or the window's close.
  void AbandonAll(Batch& batch, bool window_closed);
  // A failure of the IDE itself: it leaves the batch; the others go on.
  void Retire(Batch& batch, int slot);
  // The timer's period and the folder watched, as the flights need them now.
  void Wake(Batch& batch);
  // How often a flight's wait looks at its folder now.
  int LookEvery(const Batch& batch) const;
  // The one flight waiting for its file, whose folder the window watches; none when there are
  // more or none (`waiting` gets their number).
  static const Flight* Watched(const Batch& batch, int* waiting = nullptr);
  // The title's count and time left, and the applications at work, to the observers.
  void Progress(Batch& batch);

  // What a wait's loop is handed: the window's events it does not sort out itself.
  enum class WaitEvent { kClosed, kStopNow, kTimer, kFolderChanged, kAnswer };
  // Takes the window's events until one is for the flights: Esc and the close box are asked
  // about, the list's events go to other_events_, buttons' are dropped.
  WaitEvent NextWaitEvent(Batch& batch);
  // Asks the questions of Esc and the close box; false when the window closes.
  bool TakeUserRequest(Batch& batch);
  // The DDE time-out in hundredths, which bounds each command's answer and each result's wait.
  std::int64_t TimeOutHundredths() const { return static_cast<std::int64_t>(state_.DDETimeOut) * 6000; }
  // Deletes D+B+the deleted extension, whatever the letter case of the name on disk. "" when no
  // such file is left; otherwise why one could not be deleted (it would be taken for the new one).
  std::string DeleteStaleOutput(const Flight& flight);
  bool AnyFile(const std::string& pattern);
  // Adds a record to the activity log under `application` ("" for the batch's own records).
  void Log(std::string_view application, std::string_view text);
  BatchEnd EndBatch(Batch& batch, bool window_closing);

  rt::Window& window_;
  platform::DdeClient& dde_;
  platform::Clock& clock_;
  Connection& connection_;
  ConnectionState& state_;
  files::Files& files_;
  platform::DirectoryLister& lister_;
  const std::function<void(rt::Window&)>* other_events_ = nullptr;
  Selection selection_;
  BatchPlan plan_;
  const OperationRow* row_ = nullptr;  // the running batch's operation
  std::vector<BatchObserver*> observers_;
  std::unique_ptr<platform::FileClaim> claim_;  // the log's, for the whole batch
  std::string log_failure_;
};

}  // namespace ide
