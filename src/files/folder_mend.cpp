// A folder's two spellings made one: see folder_mend.h.
#include "files/folder_mend.h"

#include <map>
#include <set>

#include "files/app_path.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "store/last_results.h"
#include "store/path_key.h"

namespace files {
namespace {

struct Found {
  std::string folder;  // as stored
  std::string name;
  store::RecordPosition position;
};

// Re-spells each of `found` (one folder's records) whose spelling is not the folder's as
// StoreFolder spells it, when they are stored under more than one spelling.
void Respell(Files& files, platform::DirectoryLister& lister, store::LastResults& results,
             const std::vector<Found>& found, MendReport& report) {
  std::set<std::string> spellings;
  for (const Found& f : found) spellings.insert(store::PathKeyText(f.folder));
  if (spellings.size() < 2) return;
  const std::string target = StoreFolder(found.front().folder, lister);
  for (const Found& f : found) {
    if (store::PathKeyText(f.folder) == store::PathKeyText(target)) continue;
    const std::string was = f.folder + f.name, now = target + f.name;
    files.Apps.Reread(f.position);
    if (files.store.error.code == store::kNoError) {
      files.APP.DriveNPath = target;
      files.Apps.Put();
    }
    const std::int32_t code = files.store.error.code;
    if (code == store::kDuplicateKey) {
      report.problems.push_back(was + " is in the list twice, also as " + now + "; remove one of them");
    } else if (code != store::kNoError) {
      report.problems.push_back(was + " could not be stored as " + now + ": " + files.store.error.text);
    } else if (!results.Move(f.folder, f.name, target, f.name)) {
      report.respelt.push_back(was + " is now " + now);
      report.problems.push_back(now + " lost its build order and last result: " + results.Error());
    } else {
      report.respelt.push_back(was + " is now " + now);
    }
  }
}

}  // namespace

MendReport MendFolders(Files& files, platform::DirectoryLister& lister, store::LastResults& results) {
  MendReport report;
  store::PathKeys keys(&lister);
  std::map<std::string, std::vector<Found>> by_folder;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == store::kNoError; files.Apps.Next())
    by_folder[keys.Folder(files.APP.DriveNPath.Trimmed())].push_back(
        {files.APP.DriveNPath.str(), files.APP.Application.str(), files.Apps.Position(store::Order::File)});
  if (files.store.error.code != store::kRecordNotAvailable) {
    report.unread = files.store.error.text;
    return report;
  }
  for (const auto& [key, found] : by_folder) Respell(files, lister, results, found, report);
  return report;
}

MendReport MendFolder(Files& files, platform::DirectoryLister& lister, store::LastResults& results,
                      const std::string& folder) {
  MendReport report;
  // The spellings a folder can be stored under: as StoreFolder spells it, its long form and its
  // short form; each one's records are found by one search of the key.
  std::string bare = folder;
  while (bare.size() > 1 && (bare.back() == '\\' || bare.back() == '/')) bare.pop_back();
  std::string long_form = lister.LongPath(bare);
  if (long_form.empty()) long_form = bare;
  std::vector<std::string> candidates = {StoreFolder(folder, lister), WithSeparator(long_form)};
  if (std::string short_form = lister.ShortPath(long_form); !short_form.empty())
    candidates.push_back(WithSeparator(short_form));
  store::PathKeys keys(&lister);
  const std::string key = keys.Folder(folder);
  std::vector<Found> found;
  std::set<std::string> searched;
  for (const std::string& candidate : candidates) {
    files.APP.Clear();
    files.APP.DriveNPath = candidate;
    const std::string folded = platform::FoldUpper(files.APP.DriveNPath.Trimmed());
    if (!searched.insert(folded).second) continue;
    files.Apps.SetToKeyValue();
    for (files.Apps.Next(); files.store.error.code == store::kNoError; files.Apps.Next()) {
      if (platform::FoldUpper(files.APP.DriveNPath.Trimmed()) != folded) break;
      if (keys.Folder(files.APP.DriveNPath.Trimmed()) != key) continue;
      found.push_back(
          {files.APP.DriveNPath.str(), files.APP.Application.str(), files.Apps.Position(store::Order::File)});
    }
    if (files.store.error.code != store::kNoError && files.store.error.code != store::kRecordNotAvailable) {
      report.unread = files.store.error.text;
      return report;
    }
  }
  if (!found.empty()) Respell(files, lister, results, found, report);
  return report;
}

}  // namespace files
