// This agent's part of a batch: see shard_choice.h.
#include "console/shard_choice.h"

#include <algorithm>
#include <charconv>

#include "console/junit_report.h"
#include "ide/batch_operations.h"
#include "ide/batch_plan.h"

namespace console {
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
  if (total > ide::kMaxShards)
    return {std::nullopt, shown + ": at most " + std::to_string(ide::kMaxShards) + " shards, not " + std::to_string(total)};
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

// The first CI's pair that is set; a second pair that names another shard (an agent of one CI
// started from another's job, say) makes the choice a guess, so both are named and refused.
ParsedShard FromEnvironment(const EnvLookup& lookup) {
  auto value = [&](const char* name) -> std::optional<std::string> {
    const char* found = lookup ? lookup(name) : nullptr;
    if (found == nullptr || *found == '\0') return std::nullopt;
    return std::string(found);
  };
  std::optional<ParsedShard> taken;
  std::string taken_pair;
  for (const CiVariables& ci : kCiVariables) {
    std::optional<std::string> index = value(ci.index), total = value(ci.total);
    if (!index && !total) continue;
    if (!index || !total)
      return {std::nullopt, std::string("--shard auto: ") + (index ? ci.index : ci.total) + " is set but " +
                                (index ? ci.total : ci.index) + " is not"};
    const std::string pair = std::string("(") + ci.index + "=" + *index + ", " + ci.total + "=" + *total +
                             (ci.base == 0 ? ", counted from 0)" : ")");
    std::optional<long long> k = Number(*index), n = Number(*total);
    if (!k || !n) return {std::nullopt, "--shard auto " + pair + ": not whole numbers"};
    ParsedShard parsed = Checked(*k + 1 - ci.base, *n, "--shard auto " + pair);
    if (!parsed.position) return parsed;
    if (!taken) {
      taken = parsed;
      taken_pair = pair;
    } else if (taken->position->index != parsed.position->index || taken->position->total != parsed.position->total) {
      return {std::nullopt, "--shard auto: two CIs' variables name different shards, " + taken_pair + " and " + pair};
    }
  }
  if (taken) return *taken;
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

bool NarrowsToShard(const Command& command) {
  return !command.shard.empty() || command.ordered_only || command.skip_ordered;
}

std::set<std::string> ShardChoice::Keys() const {
  std::set<std::string> keys;
  for (const PlannedApp& planned : apps)
    keys.insert(store::LastResultKey(std::string(planned.app.DriveNPath.Trimmed()),
                                     std::string(planned.app.Application.Trimmed())));
  return keys;
}

ShardChoice ChooseShard(const std::vector<store::AppsRecord>& chosen, const std::map<std::string, store::LastResult>& kept,
                        const Command& command, const EnvLookup& lookup, store::PathKeys* keys) {
  ShardChoice choice;
  ShardPosition position;
  if (!command.shard.empty()) {
    ParsedShard parsed = ParseShard(command.shard, lookup);
    if (!parsed.position) {
      choice.error = parsed.error;
      return choice;
    }
    position = *parsed.position;
  }
  std::map<std::string, std::int64_t> reported;
  // Several reports (one from each agent of the last run) read as one, the later ones winning.
  for (const std::string& file : command.timings) {
    std::map<std::string, std::int64_t> read;
    if (!ReadJUnitTimings(file, read, choice.error)) return choice;
    for (const auto& [key, hundredths] : read) reported[key] = hundredths;
  }

  std::vector<ide::ShardApp> apps;
  std::vector<const store::AppsRecord*> records;
  std::vector<std::optional<std::int64_t>> known;
  for (const store::AppsRecord& app : chosen) {
    const std::string folder(app.DriveNPath.Trimmed()), application(app.Application.Trimmed());
    const std::string key = store::LastResultKey(folder, application);
    auto last = kept.find(key);
    const std::int32_t order = last == kept.end() ? 0 : last->second.order;
    if ((command.ordered_only && order <= 0) || (command.skip_ordered && order > 0)) continue;
    // With a report, its times alone: every agent that reads it then splits alike, whatever
    // results its own folder keeps.
    std::optional<std::int64_t> duration;
    if (!command.timings.empty()) {
      if (auto found = reported.find(key); found != reported.end()) duration = found->second;
    } else if (last != kept.end()) {
      duration = ide::ExpectedTime(last->second);
    }
    apps.push_back({.folder = folder, .application = application, .order = order});
    records.push_back(&app);
    known.push_back(duration);
  }
  const std::vector<std::int64_t> expected = ide::ExpectedTimes(known);
  choice.any_known = std::any_of(known.begin(), known.end(), [](const auto& duration) { return duration.has_value(); });
  for (std::size_t i = 0; i < apps.size(); ++i) apps[i].expected = expected[i];

  const ide::ShardSplit split = ide::SplitIntoShards(apps, position.total, keys);
  for (std::size_t i : split.shards[position.index - 1]) {
    choice.apps.push_back({.app = *records[i], .order = apps[i].order, .expected = apps[i].expected,
                           .known = known[i].has_value()});
    choice.expected += apps[i].expected;
  }
  if (command.ordered_only) choice.title = "the numbered applications";
  else if (command.shard.empty()) choice.title = "the applications without a build order number";
  else choice.title = "shard " + std::to_string(position.index) + " of " + std::to_string(position.total);
  if (!command.shard.empty() && command.skip_ordered) choice.title += ", without the numbered applications";
  return choice;
}

}  // namespace console

namespace console {

std::string ShardSummary(const ShardChoice& choice) {
  const std::size_t count = choice.apps.size();
  return choice.title + ": " + std::to_string(count) + (count == 1 ? " application" : " applications") +
         (count == 0 ? "" : choice.any_known ? ", expected " + ide::DurationText(choice.expected) : ", no times known yet");
}

}  // namespace console
