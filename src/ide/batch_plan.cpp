// The batch's plan (batch_plan.h) and its kept results: the parts of BatchOperations that choose,
// order and stop, and that keep each application's last result beside Apps.
#include <algorithm>
#include <map>

#include "ide/batch_operations.h"
#include "platform/code_page.h"
#include "platform/time_text.h"
#include "store/last_results.h"

namespace ide {
namespace {

// The newest file matching `pattern`, as (day, hundredths); false when there is none.
bool Newest(platform::DirectoryLister& lister, const std::string& pattern, std::pair<std::int32_t, std::int32_t>& when) {
  std::vector<platform::DirectoryEntry> entries;
  if (lister.List(pattern, entries) != 0 || entries.empty()) return false;
  when = {entries[0].date, entries[0].time};
  for (const platform::DirectoryEntry& entry : entries) when = std::max(when, std::pair{entry.date, entry.time});
  return true;
}

}  // namespace

void BatchOperations::Arrange(std::vector<Tagged>& tagged) {
  std::map<std::string, store::LastResult> kept;
  store::LastResults results;
  if (!results.ReadAll(kept)) Log("", "Build order and last results not read: " + results.Error());
  auto entry = [&](const Tagged& app) -> const store::LastResult* {
    auto found = kept.find(store::LastResultKey(app.folder, app.application));
    return found == kept.end() ? nullptr : &found->second;
  };
  if (plan_.only_failed) {
    std::erase_if(tagged, [&](const Tagged& app) {
      const store::LastResult* last = entry(app);
      return last == nullptr || !WantsRemaking(*last);
    });
  }
  // Numbered applications first, by their numbers; the rest after them; ties as stored.
  auto rank = [&](const Tagged& app) {
    const store::LastResult* last = entry(app);
    return last != nullptr && last->order > 0 ? static_cast<std::int64_t>(last->order) : INT64_MAX;
  };
  std::stable_sort(tagged.begin(), tagged.end(), [&](const Tagged& a, const Tagged& b) { return rank(a) < rank(b); });
  // The barriers, the time left, and the path people know each application by.
  for (Tagged& app : tagged) {
    if (const store::LastResult* last = entry(app)) {
      app.order = std::max(last->order, 0);
      app.expected = ExpectedTime(*last).value_or(-1);
      app.long_path = last->long_path;
    }
  }
}

std::optional<std::int64_t> ExpectedTime(const store::LastResult& last) {
  // A make's last duration says what this one will take; a result that was not "made" (failed at
  // once, or a whole time-out spent waiting) says nothing of a make.
  if (last.outcome != OutcomeName(Outcome::kMade)) return std::nullopt;
  return last.hundredths;
}

bool BatchOperations::UpToDate(const Flight& flight) {
  const OperationRow& row = *row_;
  const std::string& d = flight.directory;
  const std::string db = d + flight.base;
  std::pair<std::int32_t, std::int32_t> output, source;
  if (!Newest(lister_, db + row.awaited_extension, output)) return false;
  // A clock set wrong, or a file copied from elsewhere, can date an output after now; it would keep
  // every later change of its sources "up to date" until that day. It is made again.
  const platform::Moment now = clock_.Now();
  if (output > std::pair{now.date, now.time}) {
    const std::string dated = platform::MomentText({output.first, output.second});
    Log(flight.name, flight.base + row.awaited_extension + " is dated after now (" + dated + "), not taken as up to date");
    return false;
  }
  const std::string awaited = platform::FoldUpper(row.awaited_extension);
  for (const std::string& pattern : {db + row.input_extension, db + ".APP", d + "*.DCT"}) {
    if (platform::FoldUpper(pattern).ends_with(awaited)) continue;  // the output itself
    if (Newest(lister_, pattern, source) && !(output > source)) return false;
  }
  return true;
}

void BatchOperations::KeepResult(const ApplicationOutcome& outcome) {
  std::string error = outcome.ide_error_text.empty() ? outcome.detail : outcome.ide_error_text;
  store::LastResult result{.folder = outcome.folder,
                           .application = outcome.application,
                           .operation = row_ != nullptr ? row_->label : "",
                           .outcome = OutcomeName(outcome.outcome),
                           .date = outcome.end.date,
                           .clock = outcome.end.time,
                           .hundredths = outcome.hundredths,
                           .error = outcome.outcome == Outcome::kUpToDate ? "" : error,
                           .ide_process = outcome.ide_process,
                           .long_path = outcome.long_path};
  if (outcome.outcome == Outcome::kMade) {
    result.made_date = outcome.end.date;
    result.made_clock = outcome.end.time;
  }
  store::LastResults results;
  if (!results.Record(result)) Log(outcome.application, "Last result not kept: " + results.Error());
}

bool WantsRemaking(const store::LastResult& result) {
  return !result.outcome.empty() && result.outcome != OutcomeName(Outcome::kMade) &&
         result.outcome != OutcomeName(Outcome::kUpToDate);
}

std::string ResultText(const store::LastResult& result) {
  if (result.outcome.empty()) return "";
  std::string text = result.outcome + ", " + result.operation + ", " + platform::MomentText({result.date, result.clock}) +
                     ", took " + DurationText(result.hundredths);
  if (!result.error.empty()) text += ": " + result.error;
  // A result other than "made" does not hide that an earlier batch made it.
  if (result.made_date != 0 && result.outcome != OutcomeName(Outcome::kMade))
    text += "; last made " + platform::MomentText({result.made_date, result.made_clock});
  return text;
}

}  // namespace ide
