// What became of each application of a batch, and the rules and texts that go with it: the
// outcome's name, whether it counts as made, the batch's tally, and how a duration is written.
// The batch tells outcomes; the log, last results, list, console and reports read them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/time_text.h"

namespace ide {

enum class Outcome {
  kMade,        // its finished event was reached
  kFailed,      // the IDE refused it, the conversation failed, or its old output stayed
  kNotFound,    // its input file is missing
  kTimedOut,    // the command or the wait for its result outlasted the DDE time-out
  kStopped,     // the user stopped the batch during its wait, or closed the window
  kSkipped,     // not sent: removed or untagged meanwhile, a path no command can carry, or a need
                // that was not made
  kNotReached,  // the batch ended before its turn
  kUpToDate,    // not sent: its output is newer than its sources (BatchPlan::only_changed)
};
inline constexpr int kOutcomeCount = 8;
// "made", "failed", "not found", "timed out", "stopped", "skipped", "not reached",
// "skipped as up to date".
const char* OutcomeName(Outcome outcome);
// Made, or found up to date: what the batch wanted of the application is there.
inline bool CountsAsMade(Outcome outcome) { return outcome == Outcome::kMade || outcome == Outcome::kUpToDate; }
// Whether an outcome, under "stop at the first failure", ends the batch.
inline bool IsFailure(Outcome outcome) {
  return outcome == Outcome::kFailed || outcome == Outcome::kNotFound || outcome == Outcome::kTimedOut;
}

// One application's outcome as a value, told to the batch's observers as soon as it is known;
// applications not reached are told when the batch ends, before its summary.
struct ApplicationOutcome {
  int position = 0;         // 1, 2, ... in the batch's order
  std::string application;  // APP:Application
  std::string folder;       // APP:DriveNPath
  // The path the user gave, long names and all, where the record holds short ones; "" when the
  // record's own path (folder + application) is the one to show.
  std::string long_path;
  Outcome outcome = Outcome::kNotReached;
  std::int32_t error_code = 0;       // the DDE error that ended it, 0 when none
  std::uint16_t ide_error_number = 0;  // the IDE's own, after a refusal
  std::string ide_error_text;
  std::string detail;  // the log record that ended it (why it was not made); "" when not reached
  platform::Moment start{};   // when its turn came (start == end when not reached)
  platform::Moment end{};
  std::int64_t hundredths = 0;  // from start to end, on the monotonic tick
  std::int64_t offset = 0;      // from the batch's start to this application's start (hundredths)
  std::uint32_t ide_process = 0;  // the process id of the IDE its command went to; 0 when none

  // The path people see: the long one when known, else the stored one.
  std::string ShownPath() const { return long_path.empty() ? folder + application : long_path; }
};

// The counts the batch's last log record sums up: every chosen application once.
struct BatchTally {
  int chosen = 0;
  int counts[kOutcomeCount] = {};
  int Count(Outcome outcome) const { return counts[static_cast<int>(outcome)]; }
  int NotMade() const { return chosen - Count(Outcome::kMade) - Count(Outcome::kUpToDate); }
};

// A duration as people read it: the platform's one form ("M:SS", or "H:MM:SS" from an hour on).
using platform::DurationText;

}  // namespace ide
