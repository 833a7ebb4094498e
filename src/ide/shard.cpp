// Splitting a batch into shards: see shard.h.
#include "ide/shard.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "ide/pool_schedule.h"
#include "store/path_key.h"

namespace ide {

std::vector<std::int64_t> ExpectedTimes(const std::vector<std::optional<std::int64_t>>& known) {
  std::vector<std::int64_t> durations;
  for (const auto& duration : known)
    if (duration) durations.push_back(*duration);
  const std::int64_t median = MedianOf(durations).value_or(1);
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
