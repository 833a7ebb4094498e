// OpenRecordFile's steps: open; on a lock, "Recover=10" and one more open; then by the code: done,
// create, invalid file, damaged key (ask, rebuild, open again), or the file-access warning and halt.
#include "files/open_record_file.h"

#include "messages/standard_warnings.h"
#include "runtime/runtime.h"

namespace files {
namespace {

using messages::ShowStandardWarning;

// A missing file: create it empty, then open it; no further checks.
void CreateAndOpen(rt::Runtime& runtime, Files& files, RecordFile& file) {
  messages::WarningContext warnings = files.Warnings(runtime);
  const std::string name = file.Name();
  file.CreateMissing();  // another station may have made it since it was found missing
  if (files.store.error.code != store::kNoError) {
    ShowStandardWarning(warnings, messages::WarnFileCreationError, name);
    runtime.Halt("File Creation Error!");  // the warning has ended the program already
  }
  file.Open();
  if (files.store.error.code == store::kNoError) return;
  ShowStandardWarning(warnings, messages::WarnCreatedFileOpenError, name);
  runtime.Halt("File Creation Error!");
}

}  // namespace

void OpenRecordFile(rt::Runtime& runtime, Files& files, RecordFile& file) {
  messages::WarningContext warnings = files.Warnings(runtime);
  const std::int32_t& code = files.store.error.code;
  const std::string name = file.Name();

  file.Open();
  if (code == store::kFileLocked) {
    // One more attempt, this one waiting for the lock to go.
    file.Send("Recover=10");
    file.Open();
  }
  switch (code) {
    case store::kNoError:
    case store::kFileAlreadyOpen:
      return;
    case store::kFileNotFound:
      CreateAndOpen(runtime, files, file);
      return;
    case store::kInvalidFile:
      ShowStandardWarning(warnings, messages::WarnInvalidFile, name);
      runtime.Halt("Invalid File!");  // the warning has ended the program already
    case store::kInvalidKeyFile:
      // Answering No ends the program inside the warning.
      ShowStandardWarning(warnings, messages::WarnInvalidKey, name);
      file.Build();
      if (code != store::kNoError) {
        ShowStandardWarning(warnings, messages::WarnKeyRebuildError, name);
        runtime.Halt("Error Rebuilding Key!");
      }
      file.Open();
      break;
    default:
      break;
  }
  if (code != store::kNoError) {
    ShowStandardWarning(warnings, messages::WarnFileAccessError, name);
    // Whatever button closed the box: returning would leave the caller with a closed file.
    runtime.Halt("Disk Error");
  }
}

std::int32_t& UseCountOf(Files& files, const RecordFile& file) {
  return &file == &files.Apps ? files.AppsUseCount : files.TempFileUseCount;
}

void RaiseUseCount(rt::Runtime& runtime, Files& files, RecordFile& file) {
  std::int32_t& count = UseCountOf(files, file);
  if (count == 0) OpenRecordFile(runtime, files, file);
  ++count;
}

void LowerUseCount(Files& files, RecordFile& file) {
  std::int32_t& count = UseCountOf(files, file);
  --count;
  if (count == 0) file.Close();
}

}  // namespace files
