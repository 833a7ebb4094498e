// What a batch takes beyond its choice of applications, and in what order: only the applications
// whose output is older than their sources, only those whose last result was not "made", the
// user's build order, and an end at the first failure. Set on BatchOperations by the console's
// options; kept results (store/last_results.h) supply the order and the last outcomes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/last_results.h"

namespace ide {

struct BatchPlan {
  // An application whose output is newer than its input, its .APP and its folder's newest .DCT is
  // not sent: logged "Up to date, not sent" and counted as skipped as up to date.
  bool only_changed = false;
  // Only the applications whose kept last result is there and is neither "made" nor up to date.
  bool only_failed = false;
  // After the first application that failed, was not found or timed out, the batch ends; the rest
  // are counted as not reached.
  bool stop_on_failure = false;
};

inline constexpr const char* kUpToDateText = "Up to date, not sent";
inline constexpr const char* kStoppedAtFailureText = "Batch stopped at the first failure";

// Whether a kept result asks for the application to be made again: it is there and is neither
// "made" nor up to date (what --failed takes, and what the window's "Tag failed only" tags).
bool WantsRemaking(const store::LastResult& result);

// How long the application's next make is expected to take, from its kept result: its last make's
// time; none when its last result was not a make.
std::optional<std::int64_t> ExpectedTime(const store::LastResult& last);

// The whole of a kept result, for a person, its moments in the system's short forms: "failed, Gen &
// Make (.EXE), 3/1/24 9:00AM, took 0:03: Project has errors"; "" when the application has none yet.
std::string ResultText(const store::LastResult& result);

}  // namespace ide
