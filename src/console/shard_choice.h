// Narrowing a console batch to this agent's part: `--shard K/N|auto` (read here, from the command
// line or the CI's variables; the split of ide/shard.h over the chosen applications), `--ordered-only` (only the numbered applications: the first stage of
// a two-stage pipeline), `--skip-ordered` (all but those: the second stage), with the expected
// times from the last results or from `--timings FILE`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "console/console_command.h"
#include "ide/shard.h"
#include "store/last_results.h"
#include "store/records.h"

namespace store {
class PathKeys;
}

namespace console {

struct ShardPosition {
  int index = 1;  // K, 1-based
  int total = 1;  // N
};

// A shard, or why the text names none.
struct ParsedShard {
  std::optional<ShardPosition> position;
  std::string error;
};

// What an environment lookup returns for a name: its value, or null when it is not set.
using EnvLookup = std::function<const char*(const char*)>;

// "K/N" (1-based, N at most ide::kMaxShards), or "auto": the position the CI server gives this
// agent in its own variables (GitLab's CI_NODE_INDEX/CI_NODE_TOTAL, CircleCI's and Buildkite's
// 0-based pairs, Azure Pipelines' SYSTEM_JOBPOSITIONINPHASE/SYSTEM_TOTALJOBSINPHASE), read through
// `lookup`. Two CIs' pairs that name different shards are refused, both named.
ParsedShard ParseShard(std::string_view text, const EnvLookup& lookup);

// Whether `command` narrows its applications this way (and so needs the last results read).
bool NarrowsToShard(const Command& command);

struct PlannedApp {
  store::AppsRecord app;
  std::int32_t order = 0;        // build order number; 0 none
  std::int64_t expected = 1;     // hundredths
  bool known = false;            // the expected time is the application's own, not the median
};

struct ShardChoice {
  std::string error;              // why there is none (bad K/N, a timings file that cannot be read)
  std::string title;              // "shard 2 of 4", "the numbered applications", ...
  std::vector<PlannedApp> apps;   // this agent's, in the order the batch sends them
  std::int64_t expected = 0;      // their expected hundredths together
  bool any_known = false;         // some application of the split has a time of its own
  std::set<std::string> Keys() const;
};

// This agent's part of `chosen` (in stored order, every agent's alike), by the options of
// `command`. `kept` gives the build order numbers and, without --timings, the last durations;
// `lookup` reads the environment for `--shard auto`; `keys` (the station's lister's) keeps a folder
// spelled two ways in one shard.
ShardChoice ChooseShard(const std::vector<store::AppsRecord>& chosen, const std::map<std::string, store::LastResult>& kept,
                        const Command& command, const EnvLookup& lookup, store::PathKeys* keys = nullptr);

}  // namespace console

namespace console {

// "shard 2 of 4: 5 applications, expected 12:30"
std::string ShardSummary(const ShardChoice& choice);

}  // namespace console
