// The batch operations: see batch_operations.h.
#include "ide/batch_operations.h"

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

}  // namespace

BatchOperations::BatchOperations(Connection& connection, files::Files& files, platform::DirectoryLister& lister,
                                 rt::FixedString<80>& output_file_name)
    : connection_(connection), state_(connection.state()), files_(files), lister_(lister),
      OutputFileName(output_file_name) {}

void BatchOperations::Run(Operation operation) {
  const OperationRow& row = RowOf(operation);
  rt::Runtime& runtime = connection_.runtime();
  if (operation == Operation::ImportTxa &&
      runtime.Message(kConfirmImportText, "Confirm", rt::BoxIcon::Question, rt::ButtonYes | rt::ButtonNo,
                      rt::ButtonNo) != rt::ButtonYes) {
    connection_.RereadSelected();
    return;
  }

  // A new log: the records of earlier batches go. A log that cannot be emptied (another station
  // holds it) must not take this batch's records among the old ones: nothing is sent.
  files_.TempFile.Create();
  if (files_.store.error.code != 0) {
    runtime.Message("The activity log could not be started afresh (" + files_.store.error.text +
                        "), so the batch was not run. Try again when the other station has finished with it.",
                    "Activity Log", rt::BoxIcon::Exclamation, rt::ButtonOk);
    connection_.RereadSelected();
    return;
  }
  files::OpenRecordFile(runtime, files_, files_.TempFile);

  connection_.SetTimeOut();
  ConnectOutcome connected = connection_.ConnectForBatch();
  if (connected != ConnectOutcome::kConnected) {
    // Nothing was sent; "Not Connected" stays on show.
    files_.TMP.Clear();
    files_.TempFile.Close();
    if (connected == ConnectOutcome::kGaveUp) connection_.RereadSelected();
    return;
  }

  // Apps in the order its records are stored; the file is open while Main runs.
  std::int32_t records = files_.Apps.Records();
  files_.Apps.Set(store::Order::File);
  Next next = Next::kNextApplication;
  for (std::int32_t i = 0; i < records && next == Next::kNextApplication; ++i) {
    files_.Apps.Next();
    // Another station may have deleted records since they were counted: the buffer then still
    // holds the previous record, which must not be processed twice.
    if (files_.store.error.code != 0) break;
    if (files_.APP.Tag != 1) continue;
    next = Process(row);
  }
  EndBatch(next == Next::kWindowClosed);
}

BatchOperations::Next BatchOperations::Process(const OperationRow& row) {
  std::string app(files_.APP.Application.Trimmed());
  AppBaseName = BaseNameOf(app);
  std::string d(files_.APP.DriveNPath.Trimmed());
  std::string b(AppBaseName.Trimmed());

  // A name the command cannot carry would reach the IDE as a different command, or none.
  if (auto bad = FirstUncarriable(d + b)) {
    std::string shown = static_cast<unsigned char>(*bad) < 0x20 || *bad == 0x7F
                            ? std::string("a control character")
                            : "\"" + std::string(1, *bad) + "\"";
    Log("Not sent: path holds " + shown + ", which a DDE command cannot carry");
    return Next::kNextApplication;
  }
  if (!AnyFile(d + b + row.input_extension)) {
    Log(std::string(row.input_extension) + " not found");
    return Next::kNextApplication;
  }

  connection_.SetTimeOut();
  wait_limit_ = static_cast<std::int64_t>(state_.DDETimeOut) * 6000;
  Log(row.begin_text);
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
    connection_.window().Display();
  }
  connection_.dde().Execute(state_.DDEChannel, std::string(DDECommand.Trimmed()));
  // Clicks made while the command was on its way (the send blocks) were not meant for what comes
  // now; only a request to close the window stands.
  connection_.window().DiscardInputExceptClose();
  connection_.CheckDDEError();
  if (state_.LastErrorCode != 0) {
    std::string text(rt::TrimRight(connection_.dde().LastErrorText()));
    if (state_.LastErrorCode < 600) {
      connection_.runtime().Message(row.error_prefix + std::to_string(state_.LastErrorCode) + " " + text,
                                    "Processing Terminated", rt::BoxIcon::Stop, rt::ButtonOk);
    }
    Log("Error " + std::to_string(state_.LastErrorCode) + " " + text);
    return Next::kEndBatch;
  }
  return WaitForResult(row);
}

BatchOperations::Next BatchOperations::WaitForResult(const OperationRow& row) {
  std::string app(files_.APP.Application.Trimmed());
  std::string d(files_.APP.DriveNPath.Trimmed());
  std::string expected = std::string(AppBaseName.Trimmed()) + row.awaited_extension;
  expected = platform::FoldUpper(expected);

  rt::Window& window = connection_.window();
  platform::Clock& clock = connection_.runtime().clock();
  state_.LastAction = app + row.ack_text;
  window.Display();
  OutputFound = 0;
  WaitStart = clock.TimeOfDay();
  wait_start_ticks_ = clock.Ticks();

  // Only the timer acts; every other event, the buttons' among them, is taken and ignored.
  while (window.Accept()) {
    rt::EventKind kind = window.Kind();
    if (kind == rt::EventKind::CloseWindow || kind == rt::EventKind::CloseDown) break;
    if (kind != rt::EventKind::Timer) continue;

    // Elapsed time from the tick, so that a wait across midnight is measured right.
    std::int64_t waited = (clock.Ticks() - wait_start_ticks_) / 10;
    if (waited > GracePeriod && state_.LastErrorCode != 0) {
      Log(ErrorLine());
      return Next::kNextApplication;
    }
    lister_.List(d + "*" + row.awaited_extension, DirectoryList);
    for (const platform::DirectoryEntry& entry : DirectoryList) {
      std::string name(rt::TrimRight(entry.name));
      name = platform::FoldUpper(name);
      if (name == expected) OutputFound = 1;
    }
    connection_.CheckDDEError();
    if (OutputFound == 1) {
      if (row.completion_action != nullptr) {
        state_.LastAction = app + row.completion_action;
        window.Display();
      }
      Log(row.finished_text);
      return Next::kNextApplication;
    }
    // The file never came and no error says why: the DDE time-out the command was sent with bounds
    // the wait too, so a job the IDE silently dropped does not hold the batch for ever.
    if (waited >= wait_limit_) {
      Log("No " + std::string(row.awaited_extension) + " within " + Minutes(wait_limit_) + ", wait ended");
      return Next::kNextApplication;
    }
  }
  Log("Window closed while waiting for " + std::string(row.awaited_extension));
  return Next::kWindowClosed;
}

std::string BatchOperations::DeleteStaleOutput(const OperationRow& row) {
  std::string d(files_.APP.DriveNPath.Trimmed());
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
  const platform::Moment now = connection_.runtime().clock().Now();
  files_.TMP.Apps = files_.APP.Application.Trimmed();
  files_.TMP.Date = now.date;
  files_.TMP.Event = text;
  files_.TMP.Clock = now.time;
  files_.TempFile.Add();
}

std::string BatchOperations::ErrorLine() {
  return "Error " + std::to_string(state_.LastErrorCode) + " " +
         std::string(rt::TrimRight(connection_.dde().LastErrorText()));
}

void BatchOperations::EndBatch(bool window_closing) {
  files_.TMP.Clear();
  if (!window_closing) {
    connection_.runtime().Beep();
    state_.LastAction = "Processing Complete";
    connection_.window().Display();
  }
  files_.TempFile.Close();
  connection_.CloseChannel();
  if (!window_closing) connection_.RereadSelected();
}

}  // namespace ide
