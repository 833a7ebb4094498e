// Splitting a batch into shards for CI agents: K/N and the CI's own variables (read by the
// console), the expected times, and the split itself (each application once, folders kept whole, the numbered ones first on
// shard 1, the same split whatever the input's order and in another process).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "console/shard_choice.h"
#include "ide/shard.h"
#include "platform/code_page.h"

namespace {

using console::ParseShard;
using ide::ShardApp;
using ide::SplitIntoShards;

console::EnvLookup Environment(std::map<std::string, std::string> variables) {
  return [variables = std::move(variables)](const char* name) -> const char* {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
  };
}

TEST(ShardPosition, ReadsKOfNAndRefusesWhatNamesNoShard) {
  for (auto [text, k, n] : {std::tuple{"1/1", 1, 1}, {"3/4", 3, 4}, {"1000/1000", 1000, 1000}, {"07/10", 7, 10}}) {
    auto parsed = ParseShard(text, nullptr);
    ASSERT_TRUE(parsed.position) << text << ": " << parsed.error;
    EXPECT_EQ(parsed.position->index, k) << text;
    EXPECT_EQ(parsed.position->total, n) << text;
  }
  for (const char* bad : {"0/4", "5/4", "1/0", "0/0", "1/1001", "a/b", "1/", "/4", "-1/4", "+1/4", " 1/4", "1/4 ",
                          "1/4/2", "14", "", "1.0/4", "99999999999999999999/4", "auto"}) {
    auto parsed = ParseShard(bad, Environment({}));
    EXPECT_FALSE(parsed.position) << bad;
    EXPECT_FALSE(parsed.error.empty()) << bad;
  }
  EXPECT_NE(ParseShard("5/4", nullptr).error.find("does not exist"), std::string::npos);
  EXPECT_NE(ParseShard("1/1001", nullptr).error.find("at most 1000"), std::string::npos);
}

TEST(ShardPosition, AutoReadsEachCisVariablesCountingFromWhereItCounts) {
  struct Case {
    std::map<std::string, std::string> variables;
    int index, total;
  };
  const Case cases[] = {
      {{{"CI_NODE_INDEX", "2"}, {"CI_NODE_TOTAL", "4"}}, 2, 4},
      {{{"CIRCLE_NODE_INDEX", "0"}, {"CIRCLE_NODE_TOTAL", "3"}}, 1, 3},
      {{{"BUILDKITE_PARALLEL_JOB", "2"}, {"BUILDKITE_PARALLEL_JOB_COUNT", "3"}}, 3, 3},
      {{{"SYSTEM_JOBPOSITIONINPHASE", "4"}, {"SYSTEM_TOTALJOBSINPHASE", "5"}}, 4, 5},
      // An empty variable counts as not set; two CIs' pairs that agree are one shard.
      {{{"CI_NODE_INDEX", ""}, {"CI_NODE_TOTAL", ""}, {"CIRCLE_NODE_INDEX", "1"}, {"CIRCLE_NODE_TOTAL", "2"}}, 2, 2},
      {{{"CI_NODE_INDEX", "2"}, {"CI_NODE_TOTAL", "2"}, {"CIRCLE_NODE_INDEX", "1"}, {"CIRCLE_NODE_TOTAL", "2"}}, 2, 2},
  };
  for (const Case& c : cases) {
    auto parsed = ParseShard("auto", Environment(c.variables));
    ASSERT_TRUE(parsed.position) << c.variables.begin()->first << ": " << parsed.error;
    EXPECT_EQ(parsed.position->index, c.index) << c.variables.begin()->first;
    EXPECT_EQ(parsed.position->total, c.total) << c.variables.begin()->first;
  }
  const std::map<std::string, std::string> bad[] = {
      {},
      {{"CIRCLE_NODE_INDEX", "3"}, {"CIRCLE_NODE_TOTAL", "3"}},  // 0-based: the fourth of three
      {{"CI_NODE_INDEX", "0"}, {"CI_NODE_TOTAL", "3"}},          // 1-based
      {{"BUILDKITE_PARALLEL_JOB", "1"}},
      {{"SYSTEM_JOBPOSITIONINPHASE", "one"}, {"SYSTEM_TOTALJOBSINPHASE", "2"}},
      {{"CI_NODE_INDEX", "1"}, {"CI_NODE_TOTAL", "1001"}},
      {{"CI_NODE_INDEX", "1"}, {"CI_NODE_TOTAL", "2"}, {"SYSTEM_JOBPOSITIONINPHASE", "2"}, {"SYSTEM_TOTALJOBSINPHASE", "2"}},
  };
  for (const auto& variables : bad) {
    auto parsed = ParseShard("auto", Environment(variables));
    EXPECT_FALSE(parsed.position) << (variables.empty() ? "none" : variables.begin()->first);
    EXPECT_NE(parsed.error.find("--shard auto"), std::string::npos) << parsed.error;
  }
  EXPECT_NE(ParseShard("auto", Environment({{"BUILDKITE_PARALLEL_JOB", "1"}})).error.find("BUILDKITE_PARALLEL_JOB_COUNT"),
            std::string::npos);
  EXPECT_EQ(ParseShard("auto", Environment({{"CI_NODE_INDEX", "1"}, {"CI_NODE_TOTAL", "2"}, {"CIRCLE_NODE_INDEX", "0"},
                                            {"CIRCLE_NODE_TOTAL", "3"}}))
                .error,
            "--shard auto: two CIs' variables name different shards, (CI_NODE_INDEX=1, CI_NODE_TOTAL=2) and "
            "(CIRCLE_NODE_INDEX=0, CIRCLE_NODE_TOTAL=3, counted from 0)");
}

TEST(ShardTimes, KnownDurationsTheMedianOfThemOrOne) {
  using Known = std::vector<std::optional<std::int64_t>>;
  EXPECT_EQ(ide::ExpectedTimes(Known{500, std::nullopt, 100, 300}), (std::vector<std::int64_t>{500, 300, 100, 300}));
  // An even count: the upper of the middle two, the one median the time left takes too.
  EXPECT_EQ(ide::ExpectedTimes(Known{std::nullopt, 100, 400}), (std::vector<std::int64_t>{400, 100, 400}));
  EXPECT_EQ(ide::ExpectedTimes(Known{std::nullopt, std::nullopt}), (std::vector<std::int64_t>{1, 1}));
  // An application that took no time still counts for something.
  EXPECT_EQ(ide::ExpectedTimes(Known{0}), (std::vector<std::int64_t>{1}));
}

// `count` applications in `folders` folders (some names differing only in letter case), with
// durations from `seed`; every seventh numbered when `numbered`.
std::vector<ShardApp> MakeApps(int count, int folders, unsigned seed, bool numbered) {
  std::mt19937 random(seed);
  std::vector<ShardApp> apps;
  for (int i = 0; i < count; ++i) {
    const int folder = static_cast<int>(random() % folders);
    ShardApp app;
    app.folder = (random() % 3 == 0 ? "c:\\work\\f" : "C:\\WORK\\F") + std::to_string(folder) + "\\";
    app.application = "APP" + std::to_string(i) + ".APP";
    app.expected = 1000 + static_cast<std::int64_t>(random() % 60000);
    if (numbered && i % 7 == 3) app.order = 1 + static_cast<std::int32_t>(random() % 5);  // ties too
    apps.push_back(app);
  }
  return apps;
}

// The split as text: each shard's applications by name, one shard a line.
std::vector<std::string> Described(const std::vector<ShardApp>& apps, const ide::ShardSplit& split) {
  std::vector<std::string> lines;
  for (const auto& shard : split.shards) {
    std::string line;
    for (std::size_t i : shard) line += apps[i].folder + apps[i].application + " ";
    lines.push_back(line);
  }
  return lines;
}

TEST(ShardSplit, EveryApplicationOnceFoldersWholeNumberedFirstOnShardOne) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::vector<ShardApp> apps = MakeApps(150, 23, seed, seed != 3);
    for (int total : {1, 2, 3, 4, 5, 7, 8, 16, 23, 40, 1000}) {
      const ide::ShardSplit split = SplitIntoShards(apps, total);
      ASSERT_EQ(split.shards.size(), static_cast<std::size_t>(total));
      std::vector<int> seen(apps.size(), 0);
      std::map<std::string, int> shard_of_folder;
      for (int shard = 0; shard < total; ++shard) {
        std::int64_t load = 0;
        for (std::size_t i : split.shards[shard]) {
          ++seen[i];
          load += apps[i].expected;
          if (apps[i].order > 0) {
            EXPECT_EQ(shard, 0) << apps[i].application;
            continue;
          }
          auto [it, fresh] = shard_of_folder.emplace(platform::FoldUpper(apps[i].folder), shard);
          EXPECT_EQ(it->second, shard) << "folder " << apps[i].folder << " split, " << total << " shards";
        }
        EXPECT_EQ(load, split.loads[shard]);
      }
      for (std::size_t i = 0; i < apps.size(); ++i) ASSERT_EQ(seen[i], 1) << apps[i].application << " of " << total;
      // Shard 1 starts with the numbered ones, by their numbers, equal numbers as given.
      const auto& first = split.shards[0];
      std::size_t numbered = 0;
      while (numbered < first.size() && apps[first[numbered]].order > 0) ++numbered;
      for (std::size_t i = numbered; i < first.size(); ++i) EXPECT_EQ(apps[first[i]].order, 0);
      for (std::size_t i = 1; i < numbered; ++i) {
        const ShardApp &a = apps[first[i - 1]], &b = apps[first[i]];
        EXPECT_TRUE(a.order < b.order || (a.order == b.order && first[i - 1] < first[i])) << i;
      }
      EXPECT_EQ(numbered, static_cast<std::size_t>(std::count_if(apps.begin(), apps.end(),
                                                                 [](const ShardApp& a) { return a.order > 0; })));
    }
  }
}

TEST(ShardSplit, BalancesBetterThanLongestFirstAlone) {
  // Longest first alone gives 5+3 and 4+3+3 (8 and 10); the best is 5+4 and 3+3+3, both 9.
  std::vector<ShardApp> apps;
  int n = 0;
  for (std::int64_t weight : {5, 4, 3, 3, 3}) apps.push_back({.folder = "F" + std::to_string(n++) + "\\", .application = "A.APP", .expected = weight});
  const ide::ShardSplit split = SplitIntoShards(apps, 2);
  EXPECT_EQ(std::max(split.loads[0], split.loads[1]), 9);
}

TEST(ShardSplit, TheSameWhateverTheOrderTheApplicationsComeIn) {
  std::vector<ShardApp> apps = MakeApps(200, 40, 7, false);
  // Folders of equal weight, so that ties must be broken by name.
  for (ShardApp& app : apps) app.expected = 500;
  const ide::ShardSplit split = SplitIntoShards(apps, 6);
  auto by_shard = [](const std::vector<ShardApp>& list, const ide::ShardSplit& made) {
    std::map<std::string, std::size_t> shard_of;
    for (std::size_t shard = 0; shard < made.shards.size(); ++shard)
      for (std::size_t i : made.shards[shard]) shard_of[list[i].folder + list[i].application] = shard;
    return shard_of;
  };
  std::vector<ShardApp> shuffled = apps;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(99));
  EXPECT_EQ(by_shard(apps, split), by_shard(shuffled, SplitIntoShards(shuffled, 6)));
}

// The child's side of the next test: run only when that test starts this program again.
TEST(ShardSplitChild, DISABLED_PrintsTheSplit) {
  const std::vector<ShardApp> apps = MakeApps(300, 50, 11, true);
  for (const std::string& line : Described(apps, SplitIntoShards(apps, 5))) std::printf("SPLIT %s\n", line.c_str());
}

TEST(ShardSplit, AnotherProcessWorksOutTheSameSplit) {
  const std::vector<ShardApp> apps = MakeApps(300, 50, 11, true);
  std::vector<std::string> here;
  for (const std::string& line : Described(apps, SplitIntoShards(apps, 5))) here.push_back("SPLIT " + line);
  // This test program itself, started again to run only the child's side.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  FILE* child = popen(("'" + self + "' --gtest_filter=ShardSplitChild.DISABLED_PrintsTheSplit "
                       "--gtest_also_run_disabled_tests 2>&1")
                          .c_str(),
                      "r");
  ASSERT_NE(child, nullptr);
  std::vector<std::string> there;
  std::string line, output;
  for (int c; (c = std::fgetc(child)) != EOF;) {
    output += static_cast<char>(c);
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    if (line.starts_with("SPLIT ")) there.push_back(line);
    line.clear();
  }
  EXPECT_EQ(pclose(child), 0) << output;
  ASSERT_EQ(there.size(), here.size()) << output;
  for (std::size_t i = 0; i < here.size(); ++i) EXPECT_EQ(there[i], here[i]) << "shard " << i + 1;
}

}  // namespace
