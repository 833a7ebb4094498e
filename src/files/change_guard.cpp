// The guarded delete and change, shared by both files: each frames its one write in a transaction
// with the time-out 2, reports every failure through a standard warning after keeping its error,
// and treats a failed commit as the failure it is.
#include "files/change_guard.h"

#include <cstdlib>

#include "messages/standard_warnings.h"

namespace files {
namespace {

using messages::ShowStandardWarning;

constexpr int kTransactionTimeOut = 2;
constexpr std::size_t kKeptTextLimit = 255;

bool Failed(const Files& files) { return files.store.error.code != store::kNoError; }

std::int32_t GuardedDelete(rt::Runtime& runtime, Files& files, RecordFile& file) {
  messages::WarningContext warnings = files.Warnings(runtime);
  const char* label = file.layout().label;
  // The record's place in the key, kept by this call alone.
  const store::RecordPosition position = file.Position(store::Order::Key);
  file.BeginTransaction(kTransactionTimeOut);
  if (Failed(files)) {
    KeepStoreError(files);
    ShowStandardWarning(warnings, messages::WarnTransactionError, "Delete", label);
    return kDeleteFailed;
  }
  file.Reread(position);
  if (!Failed(files)) file.Delete();
  if (files.store.error.code == store::kRecordNotAvailable) {
    // Another station deleted it first: what the user asked for is done.
    file.Rollback();
    return kDeleted;
  }
  // A commit that fails leaves the record in the file: that is a failed delete, not a success.
  if (!Failed(files)) file.Commit();
  if (Failed(files)) {
    KeepStoreError(files);
    ShowStandardWarning(warnings, messages::WarnDeleteError, label);
    return kDeleteFailed;
  }
  return kDeleted;
}

std::int32_t GuardedChange(rt::Runtime& runtime, Files& files, RecordFile& file) {
  messages::WarningContext warnings = files.Warnings(runtime);
  const char* label = file.layout().label;
  file.BeginTransaction(kTransactionTimeOut);
  if (Failed(files)) {
    KeepStoreError(files);
    ShowStandardWarning(warnings, messages::WarnTransactionError, "Update", label);
    return kChangeFailed;
  }
  files.SavedPosition = file.Position(store::Order::File);
  file.Put();
  if (!Failed(files)) {
    file.Commit();
    if (!Failed(files)) return kChanged;
    // Not committed: nothing was written, which the user must learn.
    KeepStoreError(files);
    ShowStandardWarning(warnings, messages::WarnUpdateError, label);
    return kChangeFailed;
  }
  KeepStoreError(files);
  const std::int32_t code = files.kept.SavedErrorCode;
  if (code == store::kChangedByAnotherStation) {
    ShowStandardWarning(warnings, messages::WarnUpdateError, "Record Changed by Another Station");
    // Show the stored record, and guard the next attempt against the record as it is now.
    file.Watch();
    file.Reread(files.SavedPosition);
    return kChangedElsewhere;
  }
  ShowStandardWarning(warnings, messages::WarnUpdateError, label);
  // A record deleted elsewhere cannot be saved by trying again: said once, and the form gives up.
  return code == store::kRecordNotAvailable ? kRecordGone : kChangeFailed;
}

}  // namespace

void KeepStoreError(Files& files) {
  const store::StoreErrorState& error = files.store.error;
  messages::KeptStoreError& kept = files.kept;
  kept.SavedErrorCode = error.code;
  kept.SavedErrorText = error.text.substr(0, kKeptTextLimit);
  kept.SavedFileErrorCode = static_cast<std::int32_t>(std::strtol(error.file_code.c_str(), nullptr, 10));
  kept.SavedFileErrorText = error.file_message.substr(0, kKeptTextLimit);
  if (files.store.transaction != nullptr) files.store.transaction->Rollback();
}

std::int32_t DeleteAppsRecord(rt::Runtime& runtime, Files& files) { return GuardedDelete(runtime, files, files.Apps); }
std::int32_t DeleteTempFileRecord(rt::Runtime& runtime, Files& files) {
  return GuardedDelete(runtime, files, files.TempFile);
}
std::int32_t ChangeAppsRecord(rt::Runtime& runtime, Files& files) { return GuardedChange(runtime, files, files.Apps); }
std::int32_t ChangeTempFileRecord(rt::Runtime& runtime, Files& files) {
  return GuardedChange(runtime, files, files.TempFile);
}

}  // namespace files
