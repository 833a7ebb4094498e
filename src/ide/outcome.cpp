// Outcomes and their texts: see outcome.h.
#include "ide/outcome.h"

namespace ide {

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kMade: return "made";
    case Outcome::kFailed: return "failed";
    case Outcome::kNotFound: return "not found";
    case Outcome::kTimedOut: return "timed out";
    case Outcome::kStopped: return "stopped";
    case Outcome::kSkipped: return "skipped";
    case Outcome::kNotReached: return "not reached";
    case Outcome::kUpToDate: return "skipped as up to date";
  }
  return "";
}

}  // namespace ide
