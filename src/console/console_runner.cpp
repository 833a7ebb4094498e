// The console program's commands: see console_runner.h.
#include "console/console_runner.h"

#include <cstdio>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <ostream>
#include <vector>

#include "console/html_report.h"
#include "console/junit_report.h"
#include "console/shard_choice.h"
#include "files/app_path.h"
#include "store/path_key.h"
#include "files/folder_mend.h"
#include "files/open_record_file.h"
#include "ide/batch_observer.h"
#include "ide/batch_operations.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "platform/file_access.h"
#include "platform/time_text.h"
#include "store/key_damage.h"
#include "store/last_results.h"
#include "store/record_file.h"
#include "runtime/console/console_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/application_list.h"
#include "procedures/ide_choice.h"
#include "procedures/main_def.h"
#include "procedures/main_ide.h"
#include "procedures/program.h"

namespace console {
namespace {


std::string PathOf(const store::AppsRecord& app) {
  return std::string(app.DriveNPath.Trimmed()) + std::string(app.Application.Trimmed());
}

// Record text made safe for a terminal or a pipe.
std::string Shown(std::string_view text) { return rt::console::ControlsEscaped(text); }

// UTF-8 `text` to be shown among code-page text: what the code page lacks shows as "?".
std::string InCodePage(std::string_view text) {
  std::string shown;
  platform::FromUtf8(text, shown);
  return Shown(shown);
}

// Why the store failed, with the system's own reason where it gave one: "File System Error: There
// is not enough space on the disk (112)".
std::string Reason(const store::StoreErrorState& error) {
  std::string reason = error.text.empty() ? "Error " + std::to_string(error.code) : error.text;
  if (!error.file_message.empty() && error.file_message != error.text) {
    reason += ": " + error.file_message;
    if (!error.file_code.empty()) reason += " (" + error.file_code + ")";
  }
  return reason;
}

// The applications of Apps in stored order; Apps is open.
std::vector<store::AppsRecord> AllApps(files::Files& files) {
  std::vector<store::AppsRecord> apps;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next()) apps.push_back(files.APP);
  return apps;
}

// The one application `name` (file name or full path, letter case ignored, long or short names)
// names, made current in APP; false with the reason told when there is none or more than one.
bool FindOne(files::Files& files, platform::DirectoryLister& lister, const std::string& name, std::ostream& err) {
  ide::Selection selection{.names = {name}};
  std::vector<store::AppsRecord> found;
  std::vector<store::RecordPosition> positions;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next()) {
    if (!ide::IsChosen(selection, files.APP, &lister)) continue;
    found.push_back(files.APP);
    positions.push_back(files.Apps.Position(store::Order::File));
  }
  if (files.store.error.code != store::kRecordNotAvailable) {
    err << "The list could not be read to its end: " << Reason(files.store.error) << "\n";
    return false;
  }
  if (found.empty()) {
    err << "No application \"" << Shown(name) << "\" in the list.\n";
    return false;
  }
  if (found.size() > 1) {
    err << "\"" << Shown(name) << "\" names " << found.size() << " applications; give the full path:\n";
    for (const store::AppsRecord& app : found) err << "  " << Shown(PathOf(app)) << "\n";
    return false;
  }
  files.Apps.Reread(positions[0]);
  if (files.store.error.code == 0) return true;
  err << Shown(PathOf(found[0])) << " could not be read again: " << Reason(files.store.error) << "\n";
  return false;
}

// What the console shows of a running batch: each log record on standard output as it is written,
// the progress on standard error once a time left is known and whenever the count moves; and the
// outcomes, kept for the reports.
class BatchListener final : public ide::BatchObserver {
 public:
  BatchListener(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  void Logged(const store::TempFileRecord& record) override { out_ << LogLine(record) << std::endl; }
  void Ended(const ide::ApplicationOutcome& outcome) override { outcomes_.push_back(outcome); }
  void Progressed(const ide::BatchProgress& progress) override {
    // A line each time an application ends, not for every second the time left moves.
    if (!progress.left || progress.ended == told_) return;
    told_ = progress.ended;
    err_ << "Progress: " << progress.Text() << std::endl;
  }

  std::vector<ide::ApplicationOutcome>& outcomes() { return outcomes_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  std::vector<ide::ApplicationOutcome> outcomes_;
  int told_ = -1;
};

class Runner {
 public:
  Runner(rt::Runtime& runtime, procedures::Services& services, std::ostream& out, std::ostream& err)
      : program_(runtime, services), files_(program_.files), out_(out), err_(err) {}

  int Run(const Command& command) {
    switch (command.verb) {
      case Verb::Help: out_ << Usage(); return kExitOk;
      case Verb::Version: out_ << kVersion << "\n"; return kExitOk;
      case Verb::Log: return ShowLog();
      default: break;
    }
    // Apps stays open while the command runs; a file that cannot be opened halts in there.
    files::RaiseUseCount(program_.runtime, files_, files_.Apps);
    int code = kExitCannotRun;
    switch (command.verb) {
      case Verb::Run: code = RunBatch(command); break;
      case Verb::List: code = NarrowsToShard(command) ? ListShard(command) : List(command.by_order); break;
      case Verb::Order: code = SetOrder(command.argument, command.order); break;
      case Verb::Add: code = Add(command.argument); break;
      case Verb::Remove: code = Remove(command.argument); break;
      case Verb::Tag: code = command.all ? SetEveryTag(1) : SetTag(command.argument, 1); break;
      case Verb::Untag: code = command.all ? SetEveryTag(0) : SetTag(command.argument, 0); break;
      default: break;
    }
    files::LowerUseCount(files_, files_.Apps);
    return code;
  }

 private:
  int RunBatch(const Command& command) {
    ide::Selection selection{.all = command.all, .names = command.apps};
    std::vector<store::AppsRecord> chosen;
    for (const store::AppsRecord& app : AllApps(files_))
      if (ide::IsChosen(selection, app, &Lister())) chosen.push_back(app);
    for (const std::string& name : command.apps) {
      bool known = false;
      for (const store::AppsRecord& app : chosen) known = known || ide::IsChosen({.names = {name}}, app, &Lister());
      if (!known) {
        err_ << "No application \"" << name << "\" in the list.\n";
        return kExitCannotRun;
      }
    }

    // --failed chooses by the kept results: without them it cannot tell what needs remaking, and
    // running nothing would pass for "nothing failed".
    std::map<std::string, store::LastResult> kept;
    store::LastResults results;
    if (NarrowsToShard(command) && !ReadForShard(results, kept)) return kExitCannotRun;
    if (command.failed && kept.empty() && !results.ReadAll(kept)) {
      err_ << "The last results could not be read (" << Shown(results.Error())
           << "), so --failed cannot tell which applications need making again; nothing was sent. Run without "
           << "--failed, or move the file away.\n";
      return kExitCannotRun;
    }
    rt::Runtime& runtime = program_.runtime;
    BatchReport report{.operation = command.operation, .started = runtime.clock().Now()};
    if (NarrowsToShard(command)) {
      store::PathKeys keys(&Lister());
      ShardChoice part = ChooseShard(chosen, kept, command, [](const char* name) { return std::getenv(name); }, &keys);
      if (!part.error.empty()) {
        err_ << Shown(part.error) << "; nothing was sent.\n";
        return kExitCannotRun;
      }
      err_ << Shown(ShardSummary(part)) << "\n";
      report.part = part.title;
      // Nothing to make is no failure: the agent passes, with reports that have no application.
      if (part.apps.empty()) return WriteReports(command, report) ? kExitOk : kExitCannotRun;
      selection.keys = part.Keys();
    }

    // The page compares each time with the last one, so those are read before the batch writes.
    if (!command.html.empty()) {
      if (command.failed || results.ReadAll(kept)) report.last_hundredths = LastMadeTimes(kept);
      else report.last_unread = results.Error();
    }

    // A program that is not there is told now, before the log is begun and anything is sent.
    const procedures::IdeProgramCheck ide_program = procedures::CheckIdeProgram(command.ide_program, Lister());
    if (!ide_program.problem.empty()) {
      err_ << "--ide: " << Shown(ide_program.problem) << " Nothing was sent.\n";
      return kExitCannotRun;
    }

    ide::ConnectionState state;
    state.DDETimeOut = static_cast<std::uint8_t>(command.timeout_minutes);
    state.IDEProgram = ide_program.path;
    state.IDEs = static_cast<std::uint8_t>(command.ides);
    BatchListener listener(out_, err_);
    ide::BatchEnd end = ide::BatchEnd::kNotRun;
    std::int64_t started = runtime.clock().Ticks();
    report.started = runtime.clock().Now();
    {
      rt::Window window(runtime, procedures::kMainWindow);
      procedures::MainIde ide(window, state, program_.services, files_);
      ide.batch.Choose(selection);
      ide.batch.Plan({.only_changed = command.changed, .only_failed = command.failed,
                      .stop_on_failure = command.stop_on_failure});
      ide.batch.Listen(listener);
      end = ide.batch.Run(command.operation);
      report.log_failure = ide.batch.LogFailure();
    }
    report.batch_hundredths = runtime.clock().Ticks() - started;
    report.outcomes = std::move(listener.outcomes());

    if (end == ide::BatchEnd::kNotRun || end == ide::BatchEnd::kWindowClosed) {
      if (command.operation == ide::Operation::ImportTxa && !command.yes)
        err_ << "import-txa replaces each application's .APP file: run it with --yes to confirm.\n";
      else err_ << "The batch could not be run; nothing was sent.\n";
      return kExitCannotRun;
    }
    err_ << std::string(state.LastAction.Trimmed()) << "\n";
    if (!WriteReports(command, report)) return kExitCannotRun;
    return end == ide::BatchEnd::kAllFinished ? kExitOk : kExitNotAllMade;
  }

  // The reports asked for; false, told, when one could not be written: a report that is missing
  // would pass for a batch that never ran.
  bool WriteReports(const Command& command, const BatchReport& report) {
    return (command.junit.empty() || WriteJUnitReport(command.junit, report, err_)) &&
           (command.html.empty() || WriteHtmlReport(command.html, report, err_));
  }

  // In key order, as the window's list shows them, or in build order (the batch's: numbered ones
  // by their numbers, then the rest as stored) with the numbers in front; each by its long path where
  // one is kept (the stored path otherwise), with its last result.
  int List(bool by_order) {
    // A folder stored under two spellings is made one before it is shown.
    store::LastResults mending;
    TellMended(files::MendFolders(files_, Lister(), mending));
    std::vector<store::AppsRecord> apps;
    files_.Apps.Set(by_order ? store::Order::File : store::Order::Key);
    for (files_.Apps.Next(); files_.store.error.code == 0; files_.Apps.Next()) apps.push_back(files_.APP);
    if (files_.store.error.code != store::kRecordNotAvailable) {
      err_ << "The list could not be read to its end: " << Reason(files_.store.error) << "\n";
      return kExitCannotRun;
    }
    std::map<std::string, store::LastResult> kept;
    store::LastResults results;
    bool unread = !results.ReadAll(kept);
    if (unread)
      err_ << "The last results and build order numbers could not be read (" << Shown(results.Error())
           << "); they are not shown" << (by_order ? ", and the order is the one the applications were added in" : "")
           << ".\n";
    auto entry = [&](const store::AppsRecord& app) {
      auto found = kept.find(store::LastResultKey(std::string(app.DriveNPath.Trimmed()), std::string(app.Application.Trimmed())));
      return found == kept.end() ? store::LastResult() : found->second;
    };
    if (by_order) {
      auto rank = [&](const store::AppsRecord& app) {
        std::int32_t order = entry(app).order;
        return order > 0 ? static_cast<std::int64_t>(order) : INT64_MAX;
      };
      std::stable_sort(apps.begin(), apps.end(), [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
    }
    for (const store::AppsRecord& app : apps) {
      store::LastResult last = entry(app);
      if (by_order) out_ << (last.order > 0 ? std::to_string(last.order) : std::string("-")) << "  ";
      out_ << (app.Tag == 1 ? "* " : "  ") << Shown(last.long_path.empty() ? PathOf(app) : last.long_path);
      if (!last.outcome.empty()) out_ << "  " << Shown(ide::ResultText(last));
      out_ << "\n";
    }
    return unread ? kExitCannotRun : kExitOk;
  }

  // The build order numbers and last times a shard is worked out from; false, told, when they
  // cannot be read: a split without them would differ from the other agents'.
  bool ReadForShard(store::LastResults& results, std::map<std::string, store::LastResult>& kept) {
    if (results.ReadAll(kept)) return true;
    err_ << "The build order numbers and last times could not be read (" << Shown(results.Error())
         << "), so this agent's applications cannot be worked out; nothing was sent.\n";
    return false;
  }

  // The applications `run --shard` would take, in the order it sends them, with their expected times.
  int ListShard(const Command& command) {
    std::vector<store::AppsRecord> chosen;
    const ide::Selection selection{.all = command.all};
    for (const store::AppsRecord& app : AllApps(files_))
      if (ide::IsChosen(selection, app, nullptr)) chosen.push_back(app);
    if (files_.store.error.code != store::kRecordNotAvailable) {
      err_ << "The list could not be read to its end: " << Reason(files_.store.error) << "\n";
      return kExitCannotRun;
    }
    std::map<std::string, store::LastResult> kept;
    store::LastResults results;
    if (!ReadForShard(results, kept)) return kExitCannotRun;
    store::PathKeys keys(&Lister());
    ShardChoice part = ChooseShard(chosen, kept, command, [](const char* name) { return std::getenv(name); }, &keys);
    if (!part.error.empty()) {
      err_ << Shown(part.error) << "\n";
      return kExitCannotRun;
    }
    out_ << Shown(ShardSummary(part)) << "\n";
    for (const PlannedApp& planned : part.apps) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%10s", ide::DurationText(planned.expected).c_str());
      out_ << expected << (planned.known ? "  " : "~ ") << (planned.order > 0 ? std::to_string(planned.order) : "-")
           << "  " << (planned.app.Tag == 1 ? "* " : "  ") << Shown(PathOf(planned.app)) << "\n";
    }
    if (!part.any_known) out_ << "~ no time known for any application yet: each counts alike\n";
    else if (std::any_of(part.apps.begin(), part.apps.end(), [](const PlannedApp& planned) { return !planned.known; }))
      out_ << "~ no time known: the median of the known ones\n";
    return kExitOk;
  }

  int SetOrder(const std::string& name, int order) {
    if (!FindOne(files_, Lister(), name, err_)) return kExitCannotRun;
    store::LastResults results;
    if (!results.SetOrder(std::string(files_.APP.DriveNPath.Trimmed()), std::string(files_.APP.Application.Trimmed()),
                          order)) {
      err_ << "The build order of " << Shown(PathOf(files_.APP)) << " could not be kept: " << Shown(results.Error())
           << "\n";
      return kExitCannotRun;
    }
    out_ << Shown(PathOf(files_.APP)) << (order > 0 ? " builds at " + std::to_string(order) : " has no build order")
         << "\n";
    return kExitOk;
  }

  platform::DirectoryLister& Lister() { return program_.services.lister; }

  // Every .APP file `pattern` matches, added as the application form adds one: its full path split
  // for the record (its short path when too long, or when the code page cannot hold it), untagged;
  // one already listed is reported. 0 when every match is in the list now, 1 when one could not be
  // added, 2 when nothing matched.
  int Add(const std::string& pattern) {
    platform::DirectoryLister& lister = program_.services.lister;
    std::string folder, name_pattern;
    platform::SplitFolder(pattern, folder, name_pattern);
    if (folder.find_first_of("*?") != std::string::npos) {
      err_ << "Wildcards (* and ?) are taken in the file name only, not in the folder: " << Shown(pattern) << "\n";
      return kExitCannotRun;
    }
    std::string absolute;
    if (!platform::file_access::FullFolderPath(folder, absolute)) {
      err_ << "The folder " << InCodePage(absolute) << " cannot be stored: its name holds characters that the records' "
           << "code page (Windows-1252) cannot hold, and the system gives it no short name.\n";
      return kExitCannotRun;
    }
    std::vector<platform::DirectoryEntry> entries;
    int error = lister.List(absolute + name_pattern, entries);

    int matched = 0, failed = 0;
    std::set<std::string> folders;
    for (const std::string& left_out : lister.LeftOut()) {
      if (!platform::FoldUpper(left_out).ends_with(".APP")) continue;
      ++matched;
      ++failed;
      if (left_out.find_first_of("*?") != std::string::npos)
        err_ << Shown(absolute) << InCodePage(left_out) << ": the name holds * or ?, which would make it a pattern "
             << "of many files; not added.\n";
      else
        err_ << Shown(absolute) << InCodePage(left_out) << ": the name holds characters that the records' code page "
             << "(Windows-1252) cannot hold, and the system gives it no short name; not added.\n";
    }
    for (const platform::DirectoryEntry& entry : entries) {
      std::string name(platform::TrimRight(entry.name));
      if (!platform::FoldUpper(name).ends_with(".APP")) continue;
      ++matched;
      std::string full = absolute + name;
      if (std::string device; files::IsDeviceName(name, &device)) {
        ++failed;
        err_ << Shown(full) << ": the name is that of the device " << device << ", which Windows opens instead of "
             << "a file; not added.\n";
        continue;
      }
      // Every application of the folder stores it alike; the long path is kept beside the record.
      const files::StoredPath stored = files::StoreAppPath(full, lister);
      files_.APP = store::AppsRecord();
      files_.APP.DriveNPath = stored.parts.directory;
      files_.APP.Application = stored.parts.name;
      files_.APP.Tag = 0;
      files_.Apps.Add();
      std::int32_t code = files_.store.error.code;
      const std::string kept_path = PathOf(files_.APP);
      if (code == store::kNoError) {
        out_ << "added " << Shown(stored.long_path) << (kept_path == stored.long_path ? "" : " as " + Shown(kept_path))
             << "\n";
      } else if (code == store::kDuplicateKey) {
        err_ << Shown(stored.long_path) << " is in the list already.\n";
      } else {
        ++failed;
        err_ << Shown(stored.long_path) << " could not be added: " << Reason(files_.store.error) << "\n";
        continue;
      }
      if (!KeepLongPath(stored)) ++failed;
      folders.insert(stored.parts.directory);
    }
    // Records of these folders stored under another spelling before take the one just used.
    store::LastResults results;
    for (const std::string& stored_folder : folders)
      if (!TellMended(files::MendFolder(files_, lister, results, stored_folder))) ++failed;
    if (matched == 0) {
      err_ << "No .APP file matches " << Shown(pattern);
      if (error != 0) err_ << " (the folder could not be read: error " << error << ")";
      err_ << ".\n";
      return kExitCannotRun;
    }
    return failed == 0 ? kExitOk : kExitNotAllMade;
  }

  // The long path of an application just added (or found in the list already), where it differs
  // from the stored one; told when it cannot be kept.
  bool KeepLongPath(const files::StoredPath& stored) {
    const std::string folder(files_.APP.DriveNPath.Trimmed()), application(files_.APP.Application.Trimmed());
    if (folder + application == stored.long_path) return true;
    store::LastResults results;
    if (results.SetLongPath(folder, application, stored.long_path)) return true;
    err_ << "The long path of " << Shown(folder + application) << " could not be kept: " << Shown(results.Error())
         << "\n";
    return false;
  }

  // What a mend of a folder's spellings did, on standard error; false when part of it failed.
  bool TellMended(const files::MendReport& report) {
    for (const std::string& line : report.respelt) err_ << "One folder, one spelling: " << Shown(line) << "\n";
    for (const std::string& line : report.problems) err_ << "One folder, one spelling: " << Shown(line) << "\n";
    if (!report.unread.empty())
      err_ << "The list could not be read to mend its folders: " << Shown(report.unread) << "\n";
    return report.problems.empty() && report.unread.empty();
  }

  int Remove(const std::string& name) {
    if (!FindOne(files_, Lister(), name, err_)) return kExitCannotRun;
    std::string path = PathOf(files_.APP);
    const std::string folder(files_.APP.DriveNPath.Trimmed()), application(files_.APP.Application.Trimmed());
    files_.Apps.Delete();
    if (files_.store.error.code != 0) {
      err_ << Shown(path) << " could not be removed: " << Reason(files_.store.error) << "\n";
      return kExitCannotRun;
    }
    out_ << "removed " << Shown(path) << "\n";
    // Its build order and last result go with it: the same path added again starts afresh.
    store::LastResults results;
    if (!results.Forget(folder, application)) {
      err_ << "Its build order and last result could not be removed: " << Shown(results.Error()) << "\n";
      return kExitNotAllMade;
    }
    return kExitOk;
  }

  int SetTag(const std::string& name, std::int16_t tag) {
    if (!FindOne(files_, Lister(), name, err_)) return kExitCannotRun;
    files_.APP.Tag = tag;
    files_.Apps.Put();
    if (files_.store.error.code != 0) {
      err_ << Shown(PathOf(files_.APP)) << " could not be changed: " << Reason(files_.store.error) << "\n";
      return kExitCannotRun;
    }
    out_ << (tag == 1 ? "tagged " : "untagged ") << Shown(PathOf(files_.APP)) << "\n";
    return kExitOk;
  }

  int SetEveryTag(std::int16_t tag) {
    int code = kExitOk;
    const int changed = procedures::TagEvery(files_, tag, [&] {
      err_ << Shown(PathOf(files_.APP)) << " could not be changed: " << Reason(files_.store.error) << "\n";
      code = kExitCannotRun;
    });
    if (changed < 0) {
      err_ << "The list could not be read to its end: " << Reason(files_.store.error) << "\n";
      return kExitCannotRun;
    }
    out_ << (tag == 1 ? "tagged " : "untagged ") << changed << (changed == 1 ? " application\n" : " applications\n");
    return code;
  }

  // The log in stored order: the order its records were written in.
  int ShowLog() {
    files_.TempFile.Open();
    if (files_.store.error.code == store::kFileNotFound) {
      err_ << "There is no activity log yet: no batch has run in this folder.\n";
      return kExitOk;
    }
    if (files_.store.error.code != 0) {
      err_ << "The activity log could not be opened: " << Reason(files_.store.error) << "\n";
      if (files_.store.error.code == store::kInvalidKeyFile) err_ << HaltAdvice("Invalid Key!");
      return kExitCannotRun;
    }
    files_.TempFile.Set(store::Order::File);
    for (files_.TempFile.Next(); files_.store.error.code == 0; files_.TempFile.Next())
      out_ << LogLine(files_.TMP) << "\n";
    int code = kExitOk;
    if (files_.store.error.code != store::kRecordNotAvailable) {
      err_ << "The activity log could not be read to its end: " << Reason(files_.store.error) << "\n";
      code = kExitCannotRun;
    }
    files_.TempFile.Close();
    return code;
  }

  procedures::Program program_;
  files::Files& files_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

std::string LogLine(const store::TempFileRecord& record) {
  std::string app = Shown(record.Apps.Trimmed());
  return platform::MomentText({record.Date, record.Clock}) + "  " + (app.empty() ? "" : app + "  ") +
         Shown(record.Event.Trimmed());
}

std::string HaltAdvice(const std::string& halt_text) {
  if (halt_text != "Invalid Key!" && halt_text != "Error Rebuilding Key!") return "";
  std::string advice =
      halt_text == "Invalid Key!"
          ? "The key of a record file does not match its records. A rebuild (a batch run with --yes: nightjar run "
            "OPERATION --yes; or nightjar.exe when it starts) builds the key again from the records it can read. "
          : "The key of a record file could not be rebuilt. ";
  advice += "A rebuild does not fill in empty (NULL) fields, cannot build the key over two records of one key, and "
            "does not bring back records that a cut-short or damaged file has lost; keep a copy of the file first.\n";
  // What the files themselves show, read without their keys and without writing.
  for (const store::FileLayout* layout : {&store::kAppsLayout, &store::kTempFileLayout}) {
    const store::KeyDamage damage = store::InspectKeyDamage(*layout);
    const std::string name = std::string(layout->disk_name) + store::kDiskExtension;
    if (damage.cut_short)
      advice += name + " is cut short or has unreadable pages: records may be lost already, and a rebuild keeps only "
                       "those it can read.\n";
    if (damage.empty_fields > 0)
      advice += name + ": " + std::to_string(damage.empty_fields) +
                (damage.empty_fields == 1 ? " record has" : " records have") +
                " an empty (NULL) field; a rebuild leaves it so, and the key stays damaged.\n";
    if (!damage.duplicates.empty()) {
      advice += name + ": more than one record holds each of these keys; remove all but one of each before the "
                       "rebuild:\n";
      for (const std::string& key : damage.duplicates) advice += "  " + Shown(key) + "\n";
      if (damage.duplicates.size() == static_cast<std::size_t>(store::kMaxShownDuplicates)) advice += "  ...\n";
    }
  }
  return advice;
}

int RunCommand(const Command& command, rt::Runtime& runtime, procedures::Services& services, std::ostream& out,
               std::ostream& err) {
  return Runner(runtime, services, out, err).Run(command);
}

}  // namespace console
