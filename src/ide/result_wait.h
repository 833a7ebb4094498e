// The wait for the file that one application's command makes: what its folder held before the
// command went, whether the IDE has written the awaited file since (whole: its writer is done with
// it), or a make's other kind of output, and the wait's time limit. A wait holds every piece of its
// application's state (folder, channel, clocks): BatchOperations runs one per IDE at work, side by
// side.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ide/dde_contract.h"
#include "platform/dde_client.h"
#include "platform/directory_lister.h"

namespace ide {

// How often a result file that its writer still holds open is looked at again, in hundredths.
inline constexpr int kWritingRecheck = 50;
// How often a wait asks whether the IDE's end of the conversation is still there (hundredths).
inline constexpr int kAliveCheck = 100;

class ResultWait {
 public:
  enum class Verdict {
    kWaiting,    // nothing new yet
    kWritten,    // the awaited file was written after the command and is whole
    kOtherKind,  // a make wrote the other kind of output (OtherName) instead
    kIdeGone,    // the IDE ended the conversation or exited: nothing will come
    kTimedOut,   // the limit passed without either file
  };
  // What woke the wait: its timer, or a change in the folder.
  enum class Trigger { kTimer, kFolderChanged };

  // The wait for `row`'s awaited file of the application `base` (AppBaseName) in `folder` (ending in
  // its separator), whose command goes on `channel` of `dde`.
  ResultWait(platform::DirectoryLister& lister, platform::DdeClient& dde, platform::DdeChannel channel,
             const OperationRow& row, std::string folder, std::string base);

  // Notes the awaited file and the other kind of output as they are just before the command is
  // sent: only a file written after this counts. A file counts as written when it was not there
  // before or its date, time or size changed; the IDE's clock and ours may differ (a file server),
  // and a file system's stamps may be coarse (two seconds on FAT), so no clock is compared.
  void NoteBefore();

  // Starts the wait at `now` (clock ticks): it ends at the latest `limit` hundredths later; the
  // folder is looked at every `look_every` hundredths (0: every kAliveCheck) and whenever it changes.
  void Start(std::int64_t now, std::int64_t limit, int look_every);

  // From the next look on, the folder is looked at every `look_every` hundredths (0: every
  // kAliveCheck): often while the folder is not watched, seldom while it is.
  // A look due later than that comes sooner.
  void LookEvery(int look_every, std::int64_t now);

  // What the wait learns when woken by `trigger` at `now`. A timer between two looks asks only
  // whether the IDE is still there.
  Verdict Poll(std::int64_t now, Trigger trigger);

  // The period the wait's timer should tick at now (hundredths).
  int TimerPeriod() const;
  // Hundredths from Start to `now`; the limit.
  std::int64_t Waited(std::int64_t now) const { return now - start_; }
  std::int64_t Limit() const { return limit_; }
  // The other kind's file as listed, after kOtherKind.
  const std::string& OtherName() const { return other_name_; }
  const std::string& Folder() const { return folder_; }

 private:
  struct Stamp {
    std::int32_t date = 0;
    std::int32_t time = 0;
    std::int64_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  using Stamps = std::map<std::string, Stamp>;  // by the name as listed

  Stamps Note(const char* extension);
  // A file of `extension` for the base name written since `before` and whole: its name; "" when
  // none. `writing` is set when one is still open by its writer.
  std::string WrittenSince(const char* extension, const Stamps& before, bool& writing);

  platform::DirectoryLister& lister_;
  platform::DdeClient& dde_;
  const platform::DdeChannel channel_;
  const OperationRow& row_;
  const std::string folder_;
  const std::string base_;
  Stamps awaited_before_;
  Stamps other_before_;
  std::int64_t start_ = 0;
  std::int64_t limit_ = 0;
  int look_every_ = kAliveCheck;  // the folder's regular look
  int next_period_ = kAliveCheck;  // the look now due: sooner while the file is being written
  std::int64_t next_look_ = 0;
  std::string other_name_;
};

}  // namespace ide
