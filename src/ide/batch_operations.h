// The six batch operations of the main window: for every tagged application of Apps, check its
// input file, delete its stale output, send the IDE the operation's command and wait for the file
// the IDE writes, which is noticed when the application's folder changes (the main window's timer
// is the fallback for folders that send no notifications); every step goes into the activity log
// (TempFile), and one more record sums the batch up. Main runs one when the operation's button is
// accepted; while it runs, the list can be scrolled but no button acts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ide/connection.h"
#include "ide/dde_contract.h"
#include "platform/directory_lister.h"
#include "runtime/fixed_string.h"
#include "store/record_file.h"
#include "store/records.h"

namespace files {
struct Files;
}

namespace platform {
class Clock;
class DdeClient;
}  // namespace platform

namespace rt {
class Window;
}

namespace ide {

// The grace period after the acknowledgement during which a pending DDE error does not yet end a
// wait: one minute, in hundredths of a second.
inline constexpr std::int64_t GracePeriod = 6000;
// How often a result file that its writer still holds open is looked at again, in hundredths.
inline constexpr int kWritingRecheck = 50;

inline constexpr const char* kConfirmImportText = "Are you sure you want to import .TXA into .APP?";
inline constexpr const char* kStopQuestion = "Stop the batch after this application?";
inline constexpr const char* kCloseQuestion =
    "A batch is running. Close Nightjar now? The IDE finishes the job it was given, but nothing "
    "more is sent.";

// How a batch ended, for Main: after any end but kWindowClosed it makes the highlighted list row's
// record current again.
enum class BatchEnd {
  kNotRun,        // not confirmed, no fresh log, or no IDE: nothing was sent
  kAllFinished,   // every tagged application reached its finished event
  kNotAllMade,    // at least one did not (failed, not found, skipped or not reached)
  kWindowClosed,  // the user closed the window; it closes now
};

// The counts the batch's last log record sums up.
struct BatchTally {
  int tagged = 0;
  int finished = 0;
  int failed = 0;
  int not_found = 0;
  int skipped = 0;
  int NotMade() const { return tagged - finished; }
};

// Which applications a batch takes: the tagged ones (the window's way), every one, or those named
// (by file name, or by directory and file name; letter case ignored).
struct Selection {
  bool all = false;
  std::vector<std::string> names;
};
// Whether `selection` takes `app`.
bool IsChosen(const Selection& selection, const store::AppsRecord& app);

class BatchOperations {
 public:
  // `window` is the main window, `dde` the client `connection` talks through, `clock` the one the
  // log's stamps and the waits read. `files` holds Apps (open while Main runs) and TempFile;
  // `OutputFileName` is the process's name of the plain output file.
  BatchOperations(rt::Window& window, platform::DdeClient& dde, platform::Clock& clock, Connection& connection,
                  files::Files& files, platform::DirectoryLister& lister, rt::FixedString<80>& OutputFileName);

  // Runs one operation from its confirmation to the end of the batch. While the batch waits,
  // `other_events` is handed the window's events the batch does not take itself (the list's),
  // except the buttons' Accepted events, which are dropped: the list stays usable, no button acts.
  BatchEnd Run(Operation operation, const std::function<void(rt::Window&)>& other_events = {});

  // What the next batches take; the tagged applications unless set.
  void Choose(Selection selection) { selection_ = std::move(selection); }
  // Called with every log record as it is added (a console shows them as they come).
  void OnLogged(std::function<void(const store::TempFileRecord&)> logged) { logged_ = std::move(logged); }

 private:
  enum class Next { kNextApplication, kEndBatch, kWindowClosed };
  enum class Outcome { kFinished, kFailed, kNotFound, kSkipped };
  // One tagged application as found when the batch started.
  struct Tagged {
    store::RecordPosition position;
    std::string application;
  };

  BatchEnd RunBatch(Operation operation);
  BatchEnd ProcessAll(const OperationRow& row);
  std::vector<Tagged> TaggedApplications();
  bool Chosen(const store::AppsRecord& app) const { return IsChosen(selection_, app); }
  Next Process(const OperationRow& row, Outcome& outcome);
  Next WaitForResult(const OperationRow& row, Outcome& outcome);
  // Whether the awaited file is there and its writer has closed it; `writing` tells of one still
  // open.
  bool ResultComplete(const OperationRow& row, bool& writing);
  // Asks the questions of Esc and the close box during a wait; false when the window closes.
  bool TakeUserRequest();
  // Deletes D+B+the deleted extension, whatever the letter case of the name on disk. "" when no
  // such file is left; otherwise why one could not be deleted (it would be taken for the new one).
  std::string DeleteStaleOutput(const OperationRow& row);
  bool AnyFile(const std::string& pattern);
  void Log(std::string_view text);
  std::string ErrorLine();
  void ShowProgress(int number);
  BatchEnd EndBatch(bool window_closing);

  rt::Window& window_;
  platform::DdeClient& dde_;
  platform::Clock& clock_;
  Connection& connection_;
  ConnectionState& state_;
  files::Files& files_;
  platform::DirectoryLister& lister_;
  rt::FixedString<80>& OutputFileName;
  const std::function<void(rt::Window&)>* other_events_ = nullptr;
  Selection selection_;
  std::function<void(const store::TempFileRecord&)> logged_;

  // Working state; names are the system's own.
  rt::FixedString<8> AppBaseName;
  std::vector<platform::DirectoryEntry> DirectoryList;
  rt::FixedString<255> DDECommand;
  std::int32_t OutputFound = 0;
  std::int32_t WaitStart = 0;  // time of day the current wait began

  store::AppsRecord app_;  // the application being processed, as read when its turn came
  std::string title_;      // the window's title before the batch
  BatchTally tally_;
  std::int64_t batch_start_ = 0;       // clock ticks
  std::int64_t wait_start_ticks_ = 0;  // the wait's start on the monotonic tick, which midnight leaves alone
  std::int64_t wait_limit_ = 0;        // hundredths: the DDE time-out the command was sent with
  bool stop_requested_ = false;
};

}  // namespace ide
