// Outcomes and their texts: see outcome.h.
#include "ide/outcome.h"

#include <cstdio>

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

std::string DurationText(std::int64_t hundredths) {
  const long long seconds = hundredths / 100;
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  return text;
}

}  // namespace ide
