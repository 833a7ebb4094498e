// The six batch operations of the main window: for every tagged application of Apps, check its
// input file, delete its stale output, send the IDE the operation's command and wait on the main
// window's timer for the file the IDE writes; every step goes into the activity log (TempFile).
// Main runs one when the operation's button is accepted; the window takes no other input until it
// has ended.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ide/connection.h"
#include "ide/dde_contract.h"
#include "platform/directory_lister.h"
#include "runtime/fixed_string.h"

namespace files {
struct Files;
}

namespace ide {

// The grace period after the acknowledgement during which a pending DDE error does not yet end a
// wait: one minute, in hundredths of a second.
inline constexpr std::int64_t GracePeriod = 6000;

inline constexpr const char* kConfirmImportText = "Are you sure you want to import .TXA into .APP?";

class BatchOperations {
 public:
  // `files` holds Apps (open while Main runs) and TempFile; `OutputFileName` is the process's
  // name of the plain output file.
  BatchOperations(Connection& connection, files::Files& files, platform::DirectoryLister& lister,
                  rt::FixedString<80>& OutputFileName);

  // Runs one operation from its confirmation to the end of the batch. When the user closes the
  // window meanwhile, the batch ends at once (log closed, conversation closed) and the window's
  // next Accept() returns false.
  void Run(Operation operation);

 private:
  enum class Next { kNextApplication, kEndBatch, kWindowClosed };

  Next Process(const OperationRow& row);
  Next WaitForResult(const OperationRow& row);
  // Deletes D+B+the deleted extension, whatever the letter case of the name on disk. "" when no
  // such file is left; otherwise why one could not be deleted (it would be taken for the new one).
  std::string DeleteStaleOutput(const OperationRow& row);
  bool AnyFile(const std::string& pattern);
  void Log(std::string_view text);
  std::string ErrorLine();
  void EndBatch(bool window_closing);

  Connection& connection_;
  ConnectionState& state_;
  files::Files& files_;
  platform::DirectoryLister& lister_;
  rt::FixedString<80>& OutputFileName;

  // Working state; names are the system's own.
  rt::FixedString<8> AppBaseName;
  std::vector<platform::DirectoryEntry> DirectoryList;
  rt::FixedString<255> DDECommand;
  std::int32_t OutputFound = 0;
  std::int32_t WaitStart = 0;  // time of day the current wait began
  std::int64_t wait_start_ticks_ = 0;  // the same moment on the monotonic tick, which midnight leaves alone
  std::int64_t wait_limit_ = 0;  // hundredths: the DDE time-out the command was sent with
};

}  // namespace ide
