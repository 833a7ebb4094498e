// The batch operations: see batch_operations.h.
#include "ide/batch_operations.h"

#include <cstdio>

#include "files/files.h"
#include "files/open_record_file.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dde_client.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace ide {
namespace {

std::string Minutes(std::int64_t hundredths) {
  std::int64_t minutes = hundredths / 6000;
  return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

// "M:SS", or "H:MM:SS" from an hour on.
std::string Duration(std::int64_t hundredths) {
  std::int64_t seconds = hundredths / 100;
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

BatchOperations::BatchOperations(rt::Window& window, platform::DdeClient& dde, platform::Clock& clock,
                                 Connection& connection, files::Files& files, platform::DirectoryLister& lister,
                                 rt::FixedString<80>& output_file_name)
    : window_(window), dde_(dde), clock_(clock), connection_(connection), state_(connection.state()),
      files_(files), lister_(lister), OutputFileName(output_file_name) {}

BatchEnd BatchOperations::Run(Operation operation, const std::function<void(rt::Window&)>& other_events) {
  other_events_ = &other_events;
  BatchEnd end = RunBatch(operation);
  other_events_ = nullptr;
  return end;
}

BatchEnd BatchOperations::RunBatch(Operation operation) {
  const OperationRow& row = RowOf(operation);
  rt::Runtime& runtime = window_.runtime();
  if (operation == Operation::ImportTxa &&
      runtime.Message(kConfirmImportText, "Confirm", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo,
                      rt::ButtonNo) != rt::ButtonYes)
    return BatchEnd::kNotRun;

  // A new log: the records of earlier batches go. A log that cannot be emptied (another station
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
    // Nothing was sent; "Not Connected" stays on show.
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
    tagged.push_back({files_.Apps.Position(store::Order::File), std::string(files_.APP.Application.Trimmed())});
  }
  return tagged;
}

bool IsChosen(const Selection& selection, const store::AppsRecord& app) {
  if (selection.all) return true;
  if (selection.names.empty()) return app.Tag == 1;
  std::string name = platform::FoldUpper(std::string(app.Application.Trimmed()));
  std::string path = platform::FoldUpper(std::string(app.DriveNPath.Trimmed())) + name;
  for (const std::string& wanted : selection.names) {
    std::string folded = platform::FoldUpper(wanted);
    if (folded == name || folded == path) return true;
  }
  return false;
}

BatchEnd BatchOperations::ProcessAll(const OperationRow& row) {
  // The applications are taken as they are tagged now; each is read again when its turn comes, so
  // that what another station changed meanwhile counts, and the list may move the record buffer
  // while the batch waits.
  std::vector<Tagged> tagged = TaggedApplications();
  tally_ = BatchTally{.tagged = static_cast<int>(tagged.size())};
  batch_start_ = clock_.Ticks();
  stop_requested_ = false;
  title_ = window_.Title();
  window_.runtime().SetWorkingCursor(true);

  Next next = Next::kNextApplication;
  for (std::size_t i = 0; i < tagged.size() && next == Next::kNextApplication; ++i) {
    ShowProgress(static_cast<int>(i) + 1);
    files_.Apps.Reread(tagged[i].position);
    bool gone = files_.store.error.code != 0;
    app_ = files_.APP;
    if (gone || !Chosen(app_)) {
      if (gone) app_.Application = tagged[i].application;
      Log(gone ? "Removed from the list meanwhile, not sent" : "Untagged meanwhile, not sent");
      ++tally_.skipped;
      continue;
    }
    Outcome outcome = Outcome::kFailed;
    next = Process(row, outcome);
    switch (outcome) {
      case Outcome::kFinished: ++tally_.finished; break;
      case Outcome::kFailed: ++tally_.failed; break;
      case Outcome::kNotFound: ++tally_.not_found; break;
      case Outcome::kSkipped: ++tally_.skipped; break;
    }
    if (next == Next::kNextApplication && stop_requested_ && i + 1 < tagged.size()) {
      app_.Application.Clear();
      Log("Batch stopped by the user");
      break;
    }
  }
  return EndBatch(next == Next::kWindowClosed);
}

BatchOperations::Next BatchOperations::Process(const OperationRow& row, Outcome& outcome) {
  std::string app(app_.Application.Trimmed());
  AppBaseName = BaseNameOf(app);
  std::string d(app_.DriveNPath.Trimmed());
  std::string b(AppBaseName.Trimmed());

  // A name the command cannot carry would reach the IDE as a different command, or none.
  outcome = Outcome::kSkipped;
  if (auto bad = FirstUncarriable(d + b)) {
    std::string shown = static_cast<unsigned char>(*bad) < 0x20 || *bad == 0x7F
                            ? std::string("a control character")
                            : "\"" + std::string(1, *bad) + "\"";
    Log("Not sent: path holds " + shown + ", which a DDE command cannot carry");
    return Next::kNextApplication;
  }
  // A "*" or "?" makes the name a pattern: the stale output's delete would take other
  // applications' files, and the IDE would be sent a file that does not exist.
  if ((d + b).find_first_of("*?") != std::string::npos) {
    Log("Not sent: the name holds * or ?, which stand for other files");
    return Next::kNextApplication;
  }
  if (!AnyFile(d + b + row.input_extension)) {
    Log(std::string(row.input_extension) + " not found");
    outcome = Outcome::kNotFound;
    return Next::kNextApplication;
  }

  connection_.SetTimeOut();
  wait_limit_ = static_cast<std::int64_t>(state_.DDETimeOut) * 6000;
  Log(row.begin_text);
  outcome = Outcome::kFailed;
  if (row.deleted_extension != nullptr) {
    // An old output that stays would end the wait at once and pass for the new one.
    if (std::string reason = DeleteStaleOutput(row); !reason.empty()) {
      Log("Old " + std::string(row.deleted_extension) + " not deleted (" + reason + "), not sent");
      return Next::kNextApplication;
    }
  }

  DDECommand = ComposeCommand(row.operation, d + b);
  if (row.sending_action != nullptr) {
    state_.LastAction = row.sending_action + app;
    window_.Display();
  }
  dde_.Execute(state_.DDEChannel, std::string(DDECommand.Trimmed()));
  // Clicks made while the command was on its way (the send blocks) were not meant for what comes
  // now; only a request to close the window stands.
  window_.DiscardInputExceptClose();
  connection_.CheckDDEError();
  if (state_.LastErrorCode != 0) {
    std::string text(rt::TrimRight(dde_.LastErrorText()));
    if (state_.LastErrorCode < 600) {
      window_.runtime().Message(row.error_prefix + std::to_string(state_.LastErrorCode) + " " + text,
                                "Processing Terminated", rt::BoxIcon::Stop, rt::ButtonOk);
    }
    Log("Error " + std::to_string(state_.LastErrorCode) + " " + text);
    return Next::kEndBatch;
  }
  return WaitForResult(row, outcome);
}

BatchOperations::Next BatchOperations::WaitForResult(const OperationRow& row, Outcome& outcome) {
  std::string app(app_.Application.Trimmed());
  state_.LastAction = app + row.ack_text;
  window_.Display();
  OutputFound = 0;
  WaitStart = clock_.TimeOfDay();
  wait_start_ticks_ = clock_.Ticks();

  // The folder tells when the IDE writes; the timer stays for folders that send no notifications
  // and for the time limits. A file still open by its writer is looked at again soon.
  const int period = window_.TimerPeriod();
  window_.WatchDirectory(std::string(app_.DriveNPath.Trimmed()));
  // The first look comes at once: the awaited file of an import is normally there already.
  window_.DirectoryChanged();
  Next next = Next::kWindowClosed;
  bool waiting = true;
  while (waiting && window_.Accept()) {
    rt::EventKind kind = window_.Kind();
    if (kind == rt::EventKind::CloseWindow || kind == rt::EventKind::CloseDown ||
        (kind == rt::EventKind::AlertKey && window_.Field() == 0)) {
      if (!TakeUserRequest()) break;
      continue;
    }
    if (kind != rt::EventKind::Timer && kind != rt::EventKind::DirectoryChanged) {
      if (kind != rt::EventKind::Accepted && *other_events_) (*other_events_)(window_);
      continue;
    }

    // Elapsed time from the tick, so that a wait across midnight is measured right.
    std::int64_t waited = clock_.Ticks() - wait_start_ticks_;
    if (kind == rt::EventKind::Timer && waited > GracePeriod && state_.LastErrorCode != 0) {
      Log(ErrorLine());
      next = Next::kNextApplication;
      break;
    }
    bool writing = false;
    OutputFound = ResultComplete(row, writing) ? 1 : 0;
    // Set only when it changes: setting the timer starts its period afresh, and a folder that
    // keeps changing would otherwise keep the timer from ever firing.
    if (int wanted = writing ? kWritingRecheck : period; window_.TimerPeriod() != wanted) window_.SetTimerPeriod(wanted);
    connection_.CheckDDEError();
    if (OutputFound == 1) {
      if (row.completion_action != nullptr) {
        state_.LastAction = app + row.completion_action;
        window_.Display();
      }
      Log(row.finished_text);
      outcome = Outcome::kFinished;
      next = Next::kNextApplication;
      waiting = false;
    } else if (waited >= wait_limit_) {
      // The file never came and no error says why: the DDE time-out the command was sent with
      // bounds the wait too, so a job the IDE silently dropped does not hold the batch for ever.
      Log("No " + std::string(row.awaited_extension) + " within " + Minutes(wait_limit_) + ", wait ended");
      next = Next::kNextApplication;
      waiting = false;
    }
  }
  if (!window_.IsClosed()) {
    window_.WatchDirectory("");
    window_.SetTimerPeriod(period);
  }
  if (next == Next::kWindowClosed) Log("Window closed while waiting for " + std::string(row.awaited_extension));
  return next;
}

bool BatchOperations::ResultComplete(const OperationRow& row, bool& writing) {
  std::string d(app_.DriveNPath.Trimmed());
  std::string expected = platform::FoldUpper(std::string(AppBaseName.Trimmed()) + row.awaited_extension);
  lister_.List(d + "*" + row.awaited_extension, DirectoryList);
  for (const platform::DirectoryEntry& entry : DirectoryList) {
    std::string name(rt::TrimRight(entry.name));
    if (platform::FoldUpper(name) != expected) continue;
    // A file its writer still holds open is not the finished result yet.
    if (lister_.IsBeingWritten(d + name)) writing = true;
    else return true;
  }
  return false;
}

bool BatchOperations::TakeUserRequest() {
  rt::Runtime& runtime = window_.runtime();
  if (window_.Kind() == rt::EventKind::AlertKey) {
    if (!stop_requested_ &&
        runtime.Message(kStopQuestion, "Batch", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo, rt::ButtonNo) ==
            rt::ButtonYes)
      stop_requested_ = true;
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
  OutputFileName = d + std::string(AppBaseName.Trimmed()) + row.deleted_extension;
  std::string reason;
  auto remove = [&](const std::string& path) {
    store::RemovePlainFile(files_.store, path);
    const store::StoreErrorState& error = files_.store.error;
    // A missing file is what this step wants.
    if (error.code != store::kNoError && error.code != store::kFileNotFound && reason.empty())
      reason = error.file_message.empty() ? error.text : error.file_message;
  };
  remove(std::string(OutputFileName.Trimmed()));
  // Where the file system tells letter case apart, an old "invoice.exe" would end the wait at once.
  lister_.List(std::string(OutputFileName.Trimmed()), DirectoryList);
  for (const platform::DirectoryEntry& entry : DirectoryList) remove(d + entry.name);
  lister_.List(std::string(OutputFileName.Trimmed()), DirectoryList);
  if (DirectoryList.empty()) return "";
  return reason.empty() ? "it is still there" : reason;
}

bool BatchOperations::AnyFile(const std::string& pattern) {
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
  if (logged_ && files_.store.error.code == 0) logged_(files_.TMP);
}

std::string BatchOperations::ErrorLine() {
  return "Error " + std::to_string(state_.LastErrorCode) + " " + std::string(rt::TrimRight(dde_.LastErrorText()));
}

void BatchOperations::ShowProgress(int number) {
  window_.SetTitle(title_ + " - " + std::to_string(number) + " of " + std::to_string(tally_.tagged));
}

BatchEnd BatchOperations::EndBatch(bool window_closing) {
  // The sum of the batch, under no application's name.
  app_.Application.Clear();
  Log("Batch ended: " + std::to_string(tally_.finished) + " finished, " + std::to_string(tally_.failed) +
      " failed, " + std::to_string(tally_.not_found) + " not found, " + std::to_string(tally_.skipped) +
      " skipped, of " + std::to_string(tally_.tagged) + "; " + Duration(clock_.Ticks() - batch_start_));
  files_.TMP.Clear();
  window_.runtime().SetWorkingCursor(false);
  if (!window_closing) {
    window_.SetTitle(title_);
    window_.runtime().Beep();
    // "Processing Complete" only when every application was made: anything else would pass a
    // failure off as success.
    if (tally_.NotMade() == 0) state_.LastAction = "Processing Complete";
    else state_.LastAction = std::to_string(tally_.NotMade()) + " of " + std::to_string(tally_.tagged) + " not made, see Log";
    window_.Display();
  }
  files_.TempFile.Close();
  connection_.CloseChannel();
  if (window_closing) return BatchEnd::kWindowClosed;
  return tally_.NotMade() == 0 ? BatchEnd::kAllFinished : BatchEnd::kNotAllMade;
}

}  // namespace ide
