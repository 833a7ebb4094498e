// This agent's part of a batch: see shard_choice.h.
#include "console/shard_choice.h"

#include <algorithm>
#include <cstdio>

#include "console/junit_timings.h"
#include "ide/batch_operations.h"

namespace console {
namespace {

// A kept result's duration, when the application ran: one skipped or never reached tells nothing
// of how long it takes.
std::optional<std::int64_t> KeptDuration(const store::LastResult& last) {
  using ide::Outcome;
  if (last.outcome.empty()) return std::nullopt;
  for (Outcome outcome : {Outcome::kUpToDate, Outcome::kNotReached, Outcome::kSkipped})
    if (last.outcome == ide::OutcomeName(outcome)) return std::nullopt;
  return last.hundredths;
}

}  // namespace

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
                        const Command& command, const ide::EnvLookup& lookup) {
  ShardChoice choice;
  ide::ShardPosition position;
  if (!command.shard.empty()) {
    ide::ParsedShard parsed = ide::ParseShard(command.shard, lookup);
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
      duration = KeptDuration(last->second);
    }
    apps.push_back({.folder = folder, .application = application, .order = order});
    records.push_back(&app);
    known.push_back(duration);
  }
  const std::vector<std::int64_t> expected = ide::ExpectedTimes(known);
  choice.any_known = std::any_of(known.begin(), known.end(), [](const auto& duration) { return duration.has_value(); });
  for (std::size_t i = 0; i < apps.size(); ++i) apps[i].expected = expected[i];

  const ide::ShardSplit split = ide::SplitIntoShards(apps, position.total);
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

std::string ExpectedText(std::int64_t hundredths) {
  const std::int64_t seconds = hundredths / 100;
  char text[48];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else if (seconds >= 60)
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "0:%02lld.%02lld", static_cast<long long>(seconds), static_cast<long long>(hundredths % 100));
  return text;
}

std::string ShardSummary(const ShardChoice& choice) {
  const std::size_t count = choice.apps.size();
  return choice.title + ": " + std::to_string(count) + (count == 1 ? " application" : " applications") +
         (count == 0 ? "" : choice.any_known ? ", expected " + ExpectedText(choice.expected) : ", no times known yet");
}

}  // namespace console
