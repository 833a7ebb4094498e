// The application list's choices within the browse engine.
#include "procedures/application_list.h"

#include <vector>

#include "browse/thumb_stops.h"
#include "files/files.h"
#include "platform/code_page.h"
#include "procedures/program.h"
#include "procedures/main_def.h"

namespace procedures {
namespace {

namespace f = main_field;
constexpr int kKeyWidth = 80;  // APP:DriveNPath
constexpr const char* kCheckIcon = "CHECK.ICO";

}  // namespace

ApplicationList::ApplicationList(Program& program, UpdateProcedure update)
    : ListInstance(program, std::move(update)),
      view_(program.files.Apps, [&files = program.files] { files.APP.Clear(); }) {}

void ApplicationList::Setup(rt::Window& window) {
  Attach(window);
  window.SetIcon(f::Browse_1, 1, kCheckIcon);
}

void ApplicationList::RecordToRow(browse::PageRow& row) {
  const store::AppsRecord& app = program_.files.APP;
  // Column 1 carries no text, only the check mark of a tagged application.
  row.cells = {rt::Cell{" "}, rt::Cell{app.DriveNPath.str()}, rt::Cell{app.Application.str()}};
  row.icon = app.Tag != 0 ? 1 : 0;
}

void ApplicationList::RowToRecord(const browse::PageRow& row) {
  store::AppsRecord& app = program_.files.APP;
  app.DriveNPath = row.cells[1].text;
  app.Application = row.cells[2].text;
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

// A stop taken from a record names a whole path: the seek finds that path's first application.
void ApplicationList::SetKeyFromSpreadStop(const browse::KeyValue& stop) {
  program_.files.APP.DriveNPath = stop.text;
  program_.files.APP.Application.Clear();
}

char ApplicationList::KeyFirstChar() const { return program_.files.APP.DriveNPath.data[0]; }

void ApplicationList::SetKeyFromTyped(char typed) {
  program_.files.APP.DriveNPath = std::string(1, typed);
  program_.files.APP.Application.Clear();
}

bool ApplicationList::TypedMatches(char typed) const {
  const store::AppsRecord& app = program_.files.APP;
  const char folded = platform::FoldUpper(typed);
  return platform::FoldUpper(app.DriveNPath.data[0]) == folded || platform::FoldUpper(app.Application.data[0]) == folded;
}

std::string ApplicationList::PopupText(bool has_rows) const {
  return has_rows ? "&Insert|Chan&ge|&Delete|-|T&ag all|U&ntag all" : "&Insert|~Chan&ge|~&Delete|-|~T&ag all|~U&ntag all";
}

// Entries 4 and 5, Tag all and Untag all: a failed write leaves that application as it was, and
// the rebuilt list shows the truth.
bool ApplicationList::PopupAction(int entry) {
  if (entry != 4 && entry != 5) return false;
  TagEvery(program_.files, entry == 4 ? 1 : 0, [] {});
  return true;
}

int TagEvery(files::Files& files, std::int16_t tag, const std::function<void()>& failed) {
  std::vector<store::RecordPosition> positions;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
    if (files.APP.Tag != tag) positions.push_back(files.Apps.Position(store::Order::File));
  if (files.store.error.code != store::kRecordNotAvailable) return -1;
  int changed = 0;
  for (const store::RecordPosition& position : positions) {
    files.Apps.Reread(position);
    if (files.store.error.code == store::kRecordNotAvailable) continue;  // gone meanwhile
    if (files.store.error.code == 0) {
      files.APP.Tag = tag;
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
