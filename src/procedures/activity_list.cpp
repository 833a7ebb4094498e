// The activity log's choices within the browse engine.
#include "procedures/activity_list.h"

#include <string>

#include "browse/thumb_stops.h"
#include "platform/code_page.h"
#include "procedures/kept_settings.h"
#include "store/last_results.h"
#include "runtime/runtime.h"
#include "procedures/activity_log_def.h"
#include "procedures/program.h"

namespace procedures {

namespace f = activity_log_field;

ActivityList::ActivityList(Program& program, UpdateProcedure update, bool select_mode)
    : ListInstance(program, std::move(update)),
      view_(program.files.TempFile, [&files = program.files] { files.TMP.Clear(); }),
      select_mode_(select_mode) {
  std::map<std::string, store::LastResult> kept;
  // Unread (another program writing it), the tips are left out.
  store::LastResults(store::kLastResultsFile, kWindowFileWait).ReadAll(kept);
  for (const auto& [key, result] : kept)
    if (!result.long_path.empty()) long_paths_[platform::FoldUpper(result.application)].push_back(result.long_path);
}

void ActivityList::RecordToRow(browse::PageRow& row) {
  const store::TempFileRecord& tmp = program_.files.TMP;
  // The date and the time are numbers, shown through their columns' pictures.
  row.cells = {rt::Cell{tmp.Apps.str()}, rt::Cell{"", tmp.Date, true}, rt::Cell{"", tmp.Clock, true},
               rt::Cell{tmp.Event.str()}};
  row.icon = 0;
  if (auto found = long_paths_.find(platform::FoldUpper(tmp.Apps.Trimmed())); found != long_paths_.end())
    for (const std::string& path : found->second) row.cells[0].tip += (row.cells[0].tip.empty() ? "" : "\n") + path;
}

void ActivityList::RowToRecord(const browse::PageRow& row) {
  store::TempFileRecord& tmp = program_.files.TMP;
  tmp.Apps = row.cells[0].text;
  tmp.Date = static_cast<std::int32_t>(row.cells[1].number);
  tmp.Clock = static_cast<std::int32_t>(row.cells[2].number);
  tmp.Event = row.cells[3].text;
}

browse::KeyValue ActivityList::KeyField() const { return {"", program_.files.TMP.Date}; }

void ActivityList::ComputeStopTable(const browse::KeyValue& low, const browse::KeyValue& high,
                                    std::array<browse::KeyValue, 100>& stops) {
  browse::RealStops generator;
  generator.SetupRealStops(static_cast<double>(low.number), static_cast<double>(high.number));
  // Each stop is a day number: truncated toward zero.
  for (browse::KeyValue& stop : stops) stop = {"", static_cast<std::int32_t>(generator.NextRealStop())};
}

void ActivityList::SetKeyFromStop(const browse::KeyValue& stop) {
  program_.files.TMP.Date = static_cast<std::int32_t>(stop.number);  // the time keeps its value
}

browse::KeyValue ActivityList::SpreadKey() const {
  return {"", program_.files.TMP.Date, program_.files.TMP.Clock};
}

void ActivityList::SetKeyFromSpreadStop(const browse::KeyValue& stop) {
  program_.files.TMP.Date = static_cast<std::int32_t>(stop.number);
  program_.files.TMP.Clock = static_cast<std::int32_t>(stop.minor);
}

// Type-ahead goes by the day number's decimal text, not by the date as shown.
std::string ActivityList::KeyText() const { return std::to_string(program_.files.TMP.Date); }

// The typed digits as a day number (up to nine of them); anything else is day 0.
void ActivityList::SetKeyFromTyped(const std::string& typed) {
  std::int32_t date = 0;
  for (std::size_t i = 0; i < typed.size() && i < 9; ++i) {
    if (typed[i] < '0' || typed[i] > '9') {
      date = 0;
      break;
    }
    date = date * 10 + (typed[i] - '0');
  }
  program_.files.TMP.Date = date;
  program_.files.TMP.Clock = 0;
}

std::string ActivityList::PopupText(bool has_rows) const {
  if (!has_rows) return "&Insert|~&View|~&Delete|-|~&Select";
  return select_mode_ ? "&Insert|&View|&Delete|-|&Select" : "&Insert|&View|&Delete|-|~&Select";
}

int ActivityList::PopupButton(int entry) const {
  switch (entry) {
    case 1: return f::Insert;
    case 2: return f::View;
    case 3: return f::Delete;
    default: return f::Select;
  }
}

int ActivityList::InsertButton() const { return f::Insert; }
int ActivityList::ChangeButton() const { return f::View; }
int ActivityList::DeleteButton() const { return f::Delete; }
int ActivityList::SelectButton() const { return f::Select; }

void ActivityList::DoubleClick() { Press(f::View); }

void ActivityList::EmptyPage() {
  rt::Runtime& runtime = program_.runtime;
  runtime.Message("No records in DDE Activity Log.", "Activity Log", rt::BoxIcon::Stop, rt::ButtonOk);
  runtime.SetBusyCursor(false);
  // Closed at once, not by a posted event: anything still queued (the focus coming back from a
  // form) would otherwise refill the empty page and say so a second time.
  if (window_) window_->Close();
}

}  // namespace procedures
