// The six batch operations of the main window: for every tagged application of Apps, check its
// input file, delete its stale output, send the IDE the operation's command and wait for the file
// the IDE writes, which is noticed when the application's folder changes (the main window's timer
// is the fallback for folders that send no notifications); every step goes into the activity log
// (TempFile), and one more record sums the batch up. Main runs one when the operation's button is
// accepted; while it runs, the list can be scrolled but no button acts. With several IDEs
// (ConnectionState::IDEs) each makes one application at a time, as pool_schedule.h orders them;
// with one, the batch goes one application after another.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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
// How often a pool of IDEs looks at its applications' folders for their results (hundredths): a
// pool does not watch folders, it lists each running application's own on its timer. Each look
// costs a listing of one folder's outputs; half of this period is what each make waits on average
// beyond the IDE's own time (at 0.25 s, two IDEs took 0.61 of one IDE's time instead of 0.5).
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
  // Called with every log record as it is added (a console shows them as they come).
  void OnLogged(std::function<void(const store::TempFileRecord&)> logged) { logged_ = std::move(logged); }
  // Called with every chosen application's outcome, in the batch's order.
  void OnOutcome(std::function<void(const ApplicationOutcome&)> told) { told_ = std::move(told); }
  // Called with the batch's progress ("12 of 60, about 4 min left") whenever it changes, once a
  // time left is known (a console shows it as it goes).
  void OnProgress(std::function<void(const std::string&)> progress) { progress_ = std::move(progress); }
  // Why a log record could not be written during the last batch ("" when every one was).
  const std::string& LogFailure() const { return log_failure_; }

 private:
  enum class Next { kNextApplication, kEndBatch, kWindowClosed, kWaiting, kBusy };
  // One chosen application as found when the batch started.
  struct Tagged {
    store::RecordPosition position;
    std::string application;
    std::string folder;
    std::int32_t order = 0;      // build order number, 0 = none
    std::int64_t expected = -1;  // its last make's duration (hundredths), -1 when not known
  };
  // One IDE of the batch's pool.
  struct Slot {
    PoolIde ide;
    bool alive = true;  // false once it died or ended its conversation: it takes no more
    bool busy = false;
  };
  // One application at work: every piece of its state, so that several run side by side, one per
  // IDE. Enter puts it into the working state the steps use; Leave takes it back.
  struct Job {
    std::size_t index = 0;  // in the batch's order
    int slot = 0;
    store::AppsRecord app;
    ApplicationOutcome outcome;
    std::int64_t start_ticks = 0;
    platform::FixedString<8> base;
    std::unique_ptr<ResultWait> wait;
    // While a pool's IDE answers busy: the command to send again, from when, and when next.
    std::string command;
    std::int64_t busy_since = 0;
    std::int64_t next_try = 0;
    int pause = kBusyPauseFirst;
  };

  BatchEnd RunBatch(Operation operation);
  BatchEnd ProcessAll(const OperationRow& row);
  std::vector<Tagged> TaggedApplications();
  // batch_plan.cpp: the plan's narrowing and the build order; whether the application's output is
  // newer than its sources; whether its outcome ends the batch (logged then); keeping its result.
  void Arrange(std::vector<Tagged>& tagged);
  bool UpToDate(const OperationRow& row);
  bool EndsAtFailure();
  void KeepResult();
  bool Chosen(const store::AppsRecord& app) const { return IsChosen(selection_, app, &lister_); }
  // Checks, prepares and sends the application at hand; kWaiting when its wait is to begin (in
  // job.wait), kBusy when a pool's IDE answered busy (sent again later), else how it ended.
  Next Process(const OperationRow& row, Job& job);
  // What the IDE's answer to the command means for the application at hand.
  Next Sent(const OperationRow& row);
  // Sends a pool's busy job's command again (entered); kBusy while the IDE stays busy.
  Next SendAgain(const OperationRow& row, Job& job);
  // The pool's timer: as short as its waits and busy IDEs need.
  void SetPoolTimer();
  void Enter(Job& job);
  void Leave(Job& job);
  // Begins the wait of the job at hand, sent and acknowledged.
  void StartWait(const OperationRow& row, Job& job);
  // What the job's wait learned from `verdict`; true when the application has ended.
  bool Settle(const OperationRow& row, Job& job, ResultWait::Verdict verdict);
  // Ends every application at work with `outcome` and the text `why` + its awaited extension +
  // `after`.
  // Those whose command a busy IDE has not taken yet end with `busy_text`.
  void AbandonAll(Outcome outcome, const std::string& why, const std::string& after, const std::string& busy_text);
  // An IDE leaves the pool after a failure of its own; false when none is left.
  bool Retire(int slot);
  int FreeSlot() const;
  void LogIdes();
  // The IDEs at work and their applications in the last-action field (a pool only).
  void ShowAtWork();
  // Sends `DDECommand`, again after a growing pause while the IDE answers that it is busy, until the
  // DDE time-out has passed. False when the window was closed meanwhile.
  bool Send(const std::string& DDECommand);
  // Runs the window's loop for `hundredths`, its events taken as during a wait. False when the
  // window closed.
  bool Pause(int hundredths);
  // What a wait's loop is handed: the window's events it does not sort out itself.
  enum class WaitEvent { kClosed, kStopNow, kTimer, kFolderChanged };
  // Takes the window's events as a wait does until one is for the wait itself: Esc and the close
  // box are asked about, the list's events go to other_events_, buttons' are dropped.
  WaitEvent NextWaitEvent();
  // Asks the questions of Esc and the close box during a wait; false when the window closes.
  bool TakeUserRequest();
  // The DDE time-out in hundredths, which bounds a busy IDE's resends and a wait alike.
  std::int64_t TimeOutHundredths() const { return static_cast<std::int64_t>(state_.DDETimeOut) * 6000; }
  // Deletes D+B+the deleted extension, whatever the letter case of the name on disk. "" when no
  // such file is left; otherwise why one could not be deleted (it would be taken for the new one).
  std::string DeleteStaleOutput(const OperationRow& row);
  bool AnyFile(const std::string& pattern);
  void Log(std::string_view text);
  // Ends the current application with `outcome`, logging `text` (the reason) and telling the
  // observer.
  void Finish(Outcome outcome, std::string_view text);
  // The log line of a DDE failure: the code, and the IDE's own number and message after a refusal.
  std::string ErrorLine();
  // The title's count and the time left; a pool counts the applications ended, one IDE the one at
  // hand.
  void ShowProgress();
  BatchEnd EndBatch(bool window_closing);

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
  std::function<void(const store::TempFileRecord&)> logged_;

  std::function<void(const ApplicationOutcome&)> told_;
  std::function<void(const std::string&)> progress_;
  std::unique_ptr<platform::FileClaim> claim_;  // the log's, for the whole batch

  // Working state; names are the system's own.
  platform::FixedString<8> AppBaseName;

  store::AppsRecord app_;       // the application being processed, as read when its turn came
  ApplicationOutcome current_;  // its outcome, once Finish has set it
  std::string title_;           // the window's title before the batch
  BatchTally tally_;
  std::int64_t batch_start_ = 0;       // clock ticks
  std::int64_t app_start_ticks_ = 0;   // when the current application's turn came
  bool stop_requested_ = false;        // after this application
  bool stop_now_ = false;              // abandon this application's wait
  std::string log_failure_;

  // The pool: its IDEs, the applications at work, and what the batch's progress counts.
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<Job>> jobs_;
  bool pooled_ = false;  // more than one IDE
  std::vector<std::int64_t> expected_;  // by the batch's order
  std::vector<bool> ended_;
  int started_ = 0;
  int ended_count_ = 0;
  std::string told_count_;  // the count the progress callback last heard
};

}  // namespace ide