// The application list's choices within the browse engine.
#include "procedures/application_list.h"

#include <system_error>
#include <vector>

#include "browse/thumb_stops.h"
#include "files/app_path.h"
#include "files/files.h"
#include "ide/batch_operations.h"
#include "platform/code_page.h"
#include "platform/time_text.h"
#include "procedures/kept_settings.h"
#include "procedures/program.h"
#include "procedures/main_def.h"
#include "runtime/runtime.h"

namespace procedures {
namespace {

namespace f = main_field;
constexpr int kKeyWidth = 80;  // APP:DriveNPath
constexpr const char* kCheckIcon = "CHECK.ICO";
// The list's icons after the check mark: a last result made (or up to date), failed, or not made
// for another reason.
enum : int { kMadeIcon = 2, kFailedIcon, kNotMadeIcon };
constexpr const char* kResultIcons[] = {"MADE.ICO", "FAILED.ICO", "NOTMADE.ICO"};
// How much of the IDE's error text the column shows after "failed: ".
constexpr std::size_t kErrorShown = 30;

// The column's short text: "made 2:14AM" (the time of its end, or its date when it was not today),
// "failed: " with the start of the error text's first line, "up to date", or the outcome's name.
std::string ShortResult(const store::LastResult& result, std::int32_t today) {
  using ide::Outcome;
  if (result.outcome == ide::OutcomeName(Outcome::kMade)) {
    // The system's short forms, as the result's tip shows them.
    if (result.date != today) return "made " + platform::ShortDateText(result.date);
    return "made " + platform::ShortTimeText(result.clock);
  }
  if (result.outcome == ide::OutcomeName(Outcome::kUpToDate)) return "up to date";
  if (result.outcome == ide::OutcomeName(Outcome::kFailed) && !result.error.empty()) {
    std::string error = result.error.substr(0, result.error.find_first_of("\r\n"));
    if (error.size() > kErrorShown) error = error.substr(0, kErrorShown - 3) + "...";
    return "failed: " + error;
  }
  return result.outcome;
}

int ResultIcon(const store::LastResult& result) {
  if (result.outcome.empty()) return 0;
  if (!ide::WantsRemaking(result)) return kMadeIcon;
  return result.outcome == ide::OutcomeName(ide::Outcome::kFailed) ? kFailedIcon : kNotMadeIcon;
}

}  // namespace

ApplicationList::ApplicationList(Program& program, UpdateProcedure update)
    : ListInstance(program, std::move(update)),
      view_(program.files.Apps, [&files = program.files] { files.APP.Clear(); }) {}

void ApplicationList::Setup(rt::Window& window) {
  Attach(window);
  window.SetIcon(f::Browse_1, 1, kCheckIcon);
  for (int i = 0; i < 3; ++i) window.SetIcon(f::Browse_1, kMadeIcon + i, kResultIcons[i]);
  ReadResults();
}

bool ApplicationList::ReadResults(bool always) {
  std::error_code error;
  FileStamp stamp;
  stamp.exists = std::filesystem::exists(store::kLastResultsFile, error);
  if (stamp.exists) {
    stamp.size = std::filesystem::file_size(store::kLastResultsFile, error);
    stamp.time = std::filesystem::last_write_time(store::kLastResultsFile, error);
  }
  if (read_ && stamp == read_stamp_ && !always) return false;
  std::map<std::string, store::LastResult> results;
  // A file that cannot be read now (another program writing it) is tried again next time; the
  // list shows what it read before.
  if (!store::LastResults(store::kLastResultsFile, kWindowFileWait).ReadAll(results)) return false;
  results_ = std::move(results);
  long_names_.clear();
  for (const auto& [key, result] : results_) {
    if (result.long_path.empty()) continue;
    const files::AppPath parts = files::SplitAppPath(result.long_path);
    long_names_[{platform::FoldUpper(result.folder), platform::FoldUpper(result.application)}] = {parts.directory,
                                                                                                 parts.name};
  }
  read_stamp_ = stamp;
  read_ = true;
  return true;
}

std::int32_t ApplicationList::RunUpdateProcedure(std::int32_t request) {
  const std::int32_t response = ListInstance::RunUpdateProcedure(request);
  ReadResults(true);
  return response;
}

ApplicationList::LongName ApplicationList::LongNameOf(const store::AppsRecord& app) const {
  auto found =
      long_names_.find({platform::FoldUpper(app.DriveNPath.Trimmed()), platform::FoldUpper(app.Application.Trimmed())});
  return found == long_names_.end() ? LongName() : found->second;
}

void ApplicationList::RecordToRow(browse::PageRow& row) {
  const store::AppsRecord& app = program_.files.APP;
  const std::string folder = app.DriveNPath.str(), name = app.Application.str();
  // The long names where they are kept; the stored path, which commands use, in their tips.
  const LongName long_name = LongNameOf(app);
  std::string tip;
  if (!long_name.name.empty() && long_name.folder + long_name.name != folder + name)
    tip = long_name.folder + long_name.name + "\nStored as " + folder + name;
  // Column 1 carries no text, only the check mark of a tagged application.
  row.cells = {rt::Cell{" "}, rt::Cell{long_name.name.empty() ? folder : long_name.folder},
               rt::Cell{long_name.name.empty() ? name : long_name.name}, rt::Cell{}, rt::Cell{}};
  row.cells[1].tip = row.cells[2].tip = tip;
  row.stored = {folder, name};
  row.icon = app.Tag != 0 ? 1 : 0;
  auto found = results_.find(store::LastResultKey(folder, name));
  if (found == results_.end()) return;
  const store::LastResult& kept = found->second;
  if (kept.order > 0) row.cells[3].text = std::to_string(kept.order);
  rt::Cell& last = row.cells[4];
  last.text = ShortResult(kept, program_.runtime.clock().Today());
  last.icon = ResultIcon(kept);
  last.tip = ide::ResultText(kept);
  // Which application it is, where the path shown is not the one the record holds.
  if (!last.tip.empty() && !tip.empty()) last.tip = long_name.folder + long_name.name + "\n" + last.tip;
}

void ApplicationList::RowToRecord(const browse::PageRow& row) {
  store::AppsRecord& app = program_.files.APP;
  app.DriveNPath = row.stored.size() == 2 ? row.stored[0] : row.cells[1].text;
  app.Application = row.stored.size() == 2 ? row.stored[1] : row.cells[2].text;
}

browse::KeyValue ApplicationList::KeyField() const { return {program_.files.APP.DriveNPath.str()}; }

browse::KeyValue ApplicationList::ThumbKey() const { return {platform::FoldUpper(program_.files.APP.DriveNPath.Trimmed())}; }

void ApplicationList::ComputeStopTable(const browse::KeyValue& low, const browse::KeyValue& high,
                                       std::array<browse::KeyValue, 100>& stops) {
  // The thumb compares the highlighted key upper-cased, so the stops are made from the keys as it
  // sees them; lower-case paths would otherwise all fall below the first stop.
  browse::StringStops generator;
  generator.SetupStringStops(kKeyWidth, browse::kStopLetters, false, platform::FoldUpper(low.text), platform::FoldUpper(high.text));
  for (browse::KeyValue& stop : stops) {
    // Each stop is kept in a field of the key's width.
    platform::FixedString<kKeyWidth> field(generator.NextStringStop());
    stop.text = field.str();
  }
}

void ApplicationList::SetKeyFromStop(const browse::KeyValue& stop) { program_.files.APP.DriveNPath = stop.text; }

// A stop taken from a record is its whole key, path and application, so that the stops part the
// applications of one folder as well as the folders.
browse::KeyValue ApplicationList::SpreadKey() const {
  const store::AppsRecord& app = program_.files.APP;
  browse::KeyValue key = ThumbKey();
  key.minor_text = platform::FoldUpper(app.Application.Trimmed());
  return key;
}

void ApplicationList::SetKeyFromSpreadStop(const browse::KeyValue& stop) {
  program_.files.APP.DriveNPath = stop.text;
  program_.files.APP.Application = stop.minor_text;
}

std::string ApplicationList::KeyText() const { return program_.files.APP.DriveNPath.str(); }

void ApplicationList::SetKeyFromTyped(const std::string& typed) {
  program_.files.APP.DriveNPath = typed;
  program_.files.APP.Application.Clear();
}

bool ApplicationList::TypedMatches(std::string_view typed) const {
  const store::AppsRecord& app = program_.files.APP;
  if (browse::BeginsWithFolded(app.DriveNPath.str(), typed) || browse::BeginsWithFolded(app.Application.str(), typed))
    return true;
  const LongName long_name = LongNameOf(app);
  return !long_name.name.empty() &&
         (browse::BeginsWithFolded(long_name.folder, typed) || browse::BeginsWithFolded(long_name.name, typed));
}

// The long names in the list's key order after `from`, then from the top.
bool ApplicationList::FindTypedBeside(std::string_view typed, const browse::KeyValue& from, browse::KeyValue& found) {
  auto answers = [&](const LongName& long_name) {
    return browse::BeginsWithFolded(long_name.folder, typed) || browse::BeginsWithFolded(long_name.name, typed);
  };
  auto take = [&](const auto& entry) {
    found = browse::KeyValue{.text = entry.first.first, .minor_text = entry.first.second};
    return true;
  };
  const auto after = long_names_.upper_bound({from.text, from.minor_text});
  for (auto it = after; it != long_names_.end(); ++it)
    if (answers(it->second)) return take(*it);
  for (auto it = long_names_.begin(); it != after; ++it)
    if (answers(it->second)) return take(*it);
  return false;
}

// Each entry is offered as its button is: while a batch runs, the buttons are disabled and no
// entry changes a record or the tags the batch reads.
std::string ApplicationList::PopupText(bool has_rows) const {
  auto entry = [&](const char* text, int button, bool needs_rows) {
    const bool offered = (has_rows || !needs_rows) && (window_ == nullptr || window_->state(button).enabled);
    return (offered ? "" : "~") + std::string(text);
  };
  return entry("&Insert", f::Insert, false) + "|" + entry("Chan&ge", f::Change, true) + "|" +
         entry("&Delete", f::Delete, true) + "|-|" + entry("T&ag all", f::Tag, true) + "|" +
         entry("U&ntag all", f::Tag, true) + "|" + entry("Tag &failed only", f::Tag, true);
}

// Entries 4, 5 and 6, Tag all, Untag all and Tag failed only: a failed write leaves that
// application as it was, and the rebuilt list shows the truth.
bool ApplicationList::PopupAction(int entry) {
  switch (entry) {
    case 4:
    case 5: TagEvery(program_.files, entry == 4 ? 1 : 0, [] {}); return true;
    case 6: TagFailedOnly(); return true;
    default: return false;
  }
}

// The next operation button then makes just the applications that were not made last time.
void ApplicationList::TagFailedOnly() {
  std::map<std::string, store::LastResult> kept;
  store::LastResults results(store::kLastResultsFile, kWindowFileWait);
  if (!results.ReadAll(kept)) {
    program_.runtime.Message("The last results could not be read, so no tag was changed.\n\n" + results.Error(),
                             "Tag failed only", rt::BoxIcon::Exclamation, rt::ButtonOk);
    return;
  }
  TagWhere(
      program_.files,
      [&kept](const store::AppsRecord& app) -> std::int16_t {
        auto found = kept.find(store::LastResultKey(app.DriveNPath.str(), app.Application.str()));
        return found != kept.end() && ide::WantsRemaking(found->second) ? 1 : 0;
      },
      [] {});
}

int TagEvery(files::Files& files, std::int16_t tag, const std::function<void()>& failed) {
  return TagWhere(files, [tag](const store::AppsRecord&) { return tag; }, failed);
}

int TagWhere(files::Files& files, const std::function<std::int16_t(const store::AppsRecord&)>& tag_of,
             const std::function<void()>& failed) {
  std::vector<store::RecordPosition> positions;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
    if (files.APP.Tag != tag_of(files.APP)) positions.push_back(files.Apps.Position(store::Order::File));
  if (files.store.error.code != store::kRecordNotAvailable) return -1;
  int changed = 0;
  for (const store::RecordPosition& position : positions) {
    files.Apps.Reread(position);
    if (files.store.error.code == store::kRecordNotAvailable) continue;  // gone meanwhile
    if (files.store.error.code == 0) {
      files.APP.Tag = tag_of(files.APP);
      files.Apps.Put();
    }
    if (files.store.error.code == 0)
      ++changed;
    else
      failed();
  }
  return changed;
}

int ApplicationList::PopupButton(int entry) const {
  switch (entry) {
    case 1: return f::Insert;
    case 2: return f::Change;
    default: return f::Delete;
  }
}

int ApplicationList::InsertButton() const { return f::Insert; }
int ApplicationList::ChangeButton() const { return f::Change; }
int ApplicationList::DeleteButton() const { return f::Delete; }

void ApplicationList::DoubleClick() { Press(f::Change); }

}  // namespace procedures
