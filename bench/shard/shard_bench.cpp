// bench_shard: how well and how fast the shard split works. 200 applications in 40 folders, their
// durations log-normal (10 s to 10 min, from a fixed seed), split 4 and 8 ways: the longest shard
// against the ideal (the sum / N), with one folder never split. Then the split's own time for
// 10,000 applications. Run by hand; no part of the test suite.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "ide/shard.h"

namespace {

// A uniform number in (0, 1) from the generator's bits, the same on every platform (the library's
// distributions are not).
double Uniform(std::mt19937_64& random) { return (static_cast<double>(random() >> 11) + 0.5) / 9007199254740992.0; }

// `count` applications spread at random over `folders` folders (each folder holding at least
// one), durations log-normal around a minute, clipped to 10 s .. 10 min, in hundredths.
std::vector<ide::ShardApp> Applications(int count, int folders, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<ide::ShardApp> apps;
  for (int i = 0; i < count; ++i) {
    const int folder = i < folders ? i : static_cast<int>(random() % folders);
    const double normal = std::sqrt(-2.0 * std::log(Uniform(random))) * std::cos(2.0 * std::numbers::pi * Uniform(random));
    const double seconds = std::clamp(std::exp(std::log(60.0) + 1.0 * normal), 10.0, 600.0);
    apps.push_back({.folder = "C:\\WORK\\F" + std::to_string(folder) + "\\",
                    .application = "APP" + std::to_string(i) + ".APP",
                    .expected = static_cast<std::int64_t>(std::llround(seconds * 100))});
  }
  return apps;
}

void Balance(const std::vector<ide::ShardApp>& apps, int total) {
  std::int64_t sum = 0;
  for (const ide::ShardApp& app : apps) sum += app.expected;
  const ide::ShardSplit split = ide::SplitIntoShards(apps, total);
  const std::int64_t longest = *std::max_element(split.loads.begin(), split.loads.end());
  const std::int64_t shortest = *std::min_element(split.loads.begin(), split.loads.end());
  const double ideal = static_cast<double>(sum) / total;
  std::printf("%zu applications, %d shards: ideal %.1f s, longest %.1f s (%.4f x ideal), shortest %.1f s\n",
              apps.size(), total, ideal / 100, static_cast<double>(longest) / 100, longest / ideal,
              static_cast<double>(shortest) / 100);
}

void Speed(int count, int folders, int total) {
  const std::vector<ide::ShardApp> apps = Applications(count, folders, 20261208);
  double best = 1e9;
  std::size_t check = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const ide::ShardSplit split = ide::SplitIntoShards(apps, total);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
    check += split.shards[0].size();
  }
  std::printf("split of %d applications in %d folders, %d shards: %.2f ms (best of 5; %zu)\n", count, folders, total,
              best * 1000, check / 5);
}

}  // namespace

int main() {
  for (std::uint64_t seed : {20261208ull, 1ull, 2ull}) {
    std::printf("seed %llu\n", static_cast<unsigned long long>(seed));
    const std::vector<ide::ShardApp> apps = Applications(200, 40, seed);
    Balance(apps, 4);
    Balance(apps, 8);
  }
  Speed(10000, 2000, 4);
  Speed(10000, 2000, 8);
  Speed(10000, 2000, 100);
  return 0;
}
