// What a running batch tells those who follow it, through one interface: each activity log
// record as it is written, each application's outcome as soon as it is known, and the batch's
// progress. The last results, the window's title and last-action field, the console's lines and
// its JUnit and HTML reports are listeners; BatchOperations::Listen adds one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ide/outcome.h"

namespace store {
struct TempFileRecord;
}

namespace ide {

// Where a batch stands: applications ended of those chosen, the time left (hundredths; none until
// a time is known), and the applications at work, by base name, one per IDE at work.
struct BatchProgress {
  int ended = 0;
  int chosen = 0;
  std::optional<std::int64_t> left;
  std::vector<std::string> at_work;

  // "12 of 60, about 4 min left"; "12 of 60" while no time is known.
  std::string Text() const;
};

class BatchObserver {
 public:
  virtual ~BatchObserver() = default;
  // A record was added to the activity log.
  virtual void Logged(const store::TempFileRecord& /*record*/) {}
  // An application's outcome is known (every chosen application once, in the order they end).
  virtual void Ended(const ApplicationOutcome& /*outcome*/) {}
  // The progress changed: an application started or ended, or the time left moved.
  virtual void Progressed(const BatchProgress& /*progress*/) {}
};

}  // namespace ide
