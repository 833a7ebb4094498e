// Splitting a batch into shards: see shard.h.
#include "ide/shard.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "store/path_key.h"

namespace ide {
namespace {

// A whole number written in digits only (no sign, no spaces); nullopt otherwise or when it does
// not fit.
std::optional<long long> Number(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// K of N, both 1-based, checked; `shown` is how the user gave them, for the reason.
ParsedShard Checked(long long index, long long total, const std::string& shown) {
  if (total < 1) return {std::nullopt, shown + ": the number of shards must be at least 1"};
  if (total > kMaxShards)
    return {std::nullopt, shown + ": at most " + std::to_string(kMaxShards) + " shards, not " + std::to_string(total)};
  if (index < 1) return {std::nullopt, shown + ": shards count from 1"};
  if (index > total)
    return {std::nullopt, shown + ": shard " + std::to_string(index) + " of " + std::to_string(total) + " does not exist"};
  return {ShardPosition{.index = static_cast<int>(index), .total = static_cast<int>(total)}, ""};
}

struct CiVariables {
  const char* index;
  const char* total;
  int base;  // what the first agent's index is
};
constexpr CiVariables kCiVariables[] = {
    {.index = "CI_NODE_INDEX", .total = "CI_NODE_TOTAL", .base = 1},
    {.index = "CIRCLE_NODE_INDEX", .total = "CIRCLE_NODE_TOTAL", .base = 0},
    {.index = "BUILDKITE_PARALLEL_JOB", .total = "BUILDKITE_PARALLEL_JOB_COUNT", .base = 0},
    {.index = "SYSTEM_JOBPOSITIONINPHASE", .total = "SYSTEM_TOTALJOBSINPHASE", .base = 1},
};

ParsedShard FromEnvironment(const EnvLookup& lookup) {
  auto value = [&](const char* name) -> std::optional<std::string> {
    const char* found = lookup ? lookup(name) : nullptr;
    if (found == nullptr || *found == '\0') return std::nullopt;
    return std::string(found);
  };
  for (const CiVariables& ci : kCiVariables) {
    std::optional<std::string> index = value(ci.index), total = value(ci.total);
    if (!index && !total) continue;
    if (!index || !total)
      return {std::nullopt, std::string("--shard auto: ") + (index ? ci.index : ci.total) + " is set but " +
                                (index ? ci.total : ci.index) + " is not"};
    const std::string shown = std::string("--shard auto (") + ci.index + "=" + *index + ", " + ci.total + "=" +
                              *total + (ci.base == 0 ? ", counted from 0)" : ")");
    std::optional<long long> k = Number(*index), n = Number(*total);
    if (!k || !n) return {std::nullopt, shown + ": not whole numbers"};
    return Checked(*k + 1 - ci.base, *n, shown);
  }
  std::string names;
  for (const CiVariables& ci : kCiVariables) names += std::string(names.empty() ? "" : ", ") + ci.index + "/" + ci.total;
  return {std::nullopt, "--shard auto: none of the CI's variables is set (" + names + "); give --shard K/N"};
}

}  // namespace

ParsedShard ParseShard(std::string_view text, const EnvLookup& lookup) {
  if (text == "auto") return FromEnvironment(lookup);
  const std::string shown = "--shard " + std::string(text);
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return {std::nullopt, shown + ": give K/N (shard K of N, from 1) or auto"};
  std::optional<long long> k = Number(text.substr(0, slash)), n = Number(text.substr(slash + 1));
  if (!k || !n) return {std::nullopt, shown + ": K and N must be whole numbers, as in 2/4"};
  return Checked(*k, *n, shown);
}

std::vector<std::int64_t> ExpectedTimes(const std::vector<std::optional<std::int64_t>>& known) {
  std::vector<std::int64_t> durations;
  for (const auto& duration : known)
    if (duration) durations.push_back(*duration);
  std::int64_t median = 1;
  if (!durations.empty()) {
    std::sort(durations.begin(), durations.end());
    const std::size_t middle = durations.size() / 2;
    median = durations.size() % 2 == 1 ? durations[middle] : (durations[middle - 1] + durations[middle]) / 2;
  }
  std::vector<std::int64_t> expected;
  expected.reserve(known.size());
  for (const auto& duration : known) expected.push_back(std::max<std::int64_t>(1, duration ? *duration : median));
  return expected;
}

ShardSplit SplitIntoShards(const std::vector<ShardApp>& apps, int total, store::PathKeys* keys) {
  store::PathKeys by_text;
  total = std::clamp(total, 1, kMaxShards);
  ShardSplit split;
  split.shards.resize(total);
  split.loads.assign(total, 0);

  // The folders of the applications without a number, by key.
  struct Group {
    std::string key;
    std::int64_t weight = 0;
    std::vector<std::size_t> apps;
  };
  std::map<std::string, Group> by_folder;
  std::vector<std::size_t> numbered;
  for (std::size_t i = 0; i < apps.size(); ++i) {
    const std::int64_t expected = std::max<std::int64_t>(1, apps[i].expected);
    if (apps[i].order > 0) {
      numbered.push_back(i);
      split.loads[0] += expected;
      continue;
    }
    Group& group = by_folder[(keys != nullptr ? *keys : by_text).Folder(apps[i].folder)];
    group.weight += expected;
    group.apps.push_back(i);
  }
  std::vector<Group> groups;
  groups.reserve(by_folder.size());
  for (auto& [key, group] : by_folder) {
    group.key = key;
    groups.push_back(std::move(group));
  }
  // Longest first; among equals, by folder key, which every agent reads alike.
  std::sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.key < b.key;
  });

  std::vector<int> shard_of(groups.size());
  std::vector<std::vector<std::size_t>> held(total);  // group indexes, ascending
  auto lightest = [&] { return static_cast<int>(std::min_element(split.loads.begin(), split.loads.end()) - split.loads.begin()); };
  auto heaviest = [&] { return static_cast<int>(std::max_element(split.loads.begin(), split.loads.end()) - split.loads.begin()); };
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int shard = lightest();
    shard_of[g] = shard;
    held[shard].push_back(g);
    split.loads[shard] += groups[g].weight;
  }

  // Refinement: move one folder from the heaviest shard to the lightest, or swap one of each, when
  // that brings both below the heaviest's load; the best such step each time. Each step lowers the
  // sum of the squared loads, so the pass ends; the bound only caps its time.
  const std::size_t max_steps = 4 * groups.size() + 16;
  for (std::size_t step = 0; step < max_steps; ++step) {
    const int high = heaviest(), low = lightest();
    const std::int64_t gap = split.loads[high] - split.loads[low];
    if (gap <= 1) break;
    // The amount d moved from high to low helps when 0 < d < gap; best when 2d is nearest gap.
    std::int64_t best_miss = gap;  // |gap - 2d|; a step must do better than moving nothing
    constexpr std::size_t kNone = SIZE_MAX;
    std::size_t give = kNone, take = kNone;
    for (std::size_t g : held[high]) {
      const std::int64_t d = groups[g].weight;
      if (d < gap && std::abs(gap - 2 * d) < best_miss) {
        best_miss = std::abs(gap - 2 * d);
        give = g;
        take = kNone;
      }
      for (std::size_t h : held[low]) {
        const std::int64_t swapped = d - groups[h].weight;
        if (swapped > 0 && swapped < gap && std::abs(gap - 2 * swapped) < best_miss) {
          best_miss = std::abs(gap - 2 * swapped);
          give = g;
          take = h;
        }
      }
    }
    if (give == kNone) break;
    auto move = [&](std::size_t g, int from, int to) {
      std::erase(held[from], g);
      held[to].insert(std::lower_bound(held[to].begin(), held[to].end(), g), g);
      shard_of[g] = to;
      split.loads[from] -= groups[g].weight;
      split.loads[to] += groups[g].weight;
    };
    move(give, high, low);
    if (take != kNone) move(take, low, high);
  }

  // Shard 1 makes the numbered applications first, by their numbers (equal numbers as given).
  std::stable_sort(numbered.begin(), numbered.end(),
                   [&](std::size_t a, std::size_t b) { return apps[a].order < apps[b].order; });
  split.shards[0] = numbered;
  for (int shard = 0; shard < total; ++shard) {
    std::vector<std::size_t> rest;
    for (std::size_t g : held[shard]) rest.insert(rest.end(), groups[g].apps.begin(), groups[g].apps.end());
    std::sort(rest.begin(), rest.end());
    split.shards[shard].insert(split.shards[shard].end(), rest.begin(), rest.end());
  }
  return split;
}

}  // namespace ide
