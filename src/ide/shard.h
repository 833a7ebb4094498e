// Splitting a batch's applications into N shards, one for each CI agent that runs `run --shard K/N`
// (the console reads K and N). Every agent reads the same APPS file and the same times and must
// arrive at the same split, so the split is a pure function of its inputs: no pointer, hash or
// stored order decides anything, and times are whole hundredths, never floating point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {
class PathKeys;
}

namespace ide {

// N is at most this: more agents than that is a mistyped number.
inline constexpr int kMaxShards = 1000;

// One application to be split.
struct ShardApp {
  std::string folder;       // APP:DriveNPath
  std::string application;  // APP:Application
  std::int32_t order = 0;   // build order number; 0: none
  std::int64_t expected = 1;  // expected hundredths (ExpectedTimes)
};

// Each application's expected time from its known duration (hundredths), if any: the duration
// itself; otherwise the median of the known ones; 1 when none is known. Never less than 1, so that
// an application that took no time still counts.
std::vector<std::int64_t> ExpectedTimes(const std::vector<std::optional<std::int64_t>>& known);

struct ShardSplit {
  // For each shard (index 0 is shard 1), the indexes into the applications it runs: on shard 1 the
  // numbered ones first, by their numbers; then the rest of the shard in the order given.
  std::vector<std::vector<std::size_t>> shards;
  std::vector<std::int64_t> loads;  // each shard's expected hundredths
};

// Splits `apps` into `total` shards (1 to kMaxShards). The numbered applications all go to shard
// 1, ahead of its share. The rest go by folder, by its key (`keys`, given the lister, also maps a
// folder's short spelling to its long one; without it, the text alone): one folder never splits.
// Folders go longest first onto the least-loaded shard, then a pass moves or swaps folders between
// the heaviest and the lightest shard while that shortens the longest.
ShardSplit SplitIntoShards(const std::vector<ShardApp>& apps, int total, store::PathKeys* keys = nullptr);

}  // namespace ide
