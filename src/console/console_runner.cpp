// The console program's commands: see console_runner.h.
#include "console/console_runner.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

#include "files/app_path.h"
#include "files/open_record_file.h"
#include "ide/batch_operations.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "windows/main_def.h"
#include "windows/main_ide.h"
#include "windows/program.h"

namespace console {
namespace {


std::string PathOf(const store::AppsRecord& app) {
  return std::string(app.DriveNPath.Trimmed()) + std::string(app.Application.Trimmed());
}

// A moment as "YYYY-MM-DD HH:MM:SS".
std::string Stamp(std::int32_t date, std::int32_t clock) {
  const std::int32_t epoch = platform::DayNumber(1970, 1, 1);
  std::chrono::year_month_day day{std::chrono::sys_days(std::chrono::days(date - epoch))};
  std::int32_t seconds = clock / 100;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(day.year()),
                static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()), seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

// Records hold text in the Windows code page 1252; the report is UTF-8.
std::string Utf8From1252(std::string_view text) {
  // 0x80..0x9F; 0 where the code page leaves the byte undefined.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  for (char c : text) {
    unsigned code = static_cast<unsigned char>(c);
    if (code >= 0x80 && code < 0xA0) code = kHigh[code - 0x80] != 0 ? kHigh[code - 0x80] : 0xFFFD;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// Code-page text as XML character data or an attribute value, in UTF-8.
std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // Control characters other than tab and line breaks are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
    }
  }
  return Utf8From1252(out);
}

std::string Seconds(std::int64_t hundredths) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(hundredths) / 100.0);
  return text;
}

// The applications of Apps in stored order; Apps is open.
std::vector<store::AppsRecord> AllApps(files::Files& files) {
  std::vector<store::AppsRecord> apps;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next()) apps.push_back(files.APP);
  return apps;
}

// The one application `name` (file name or full path, letter case ignored) names, made current in
// APP; false with the reason told when there is none or more than one.
bool FindOne(files::Files& files, const std::string& name, std::ostream& err) {
  ide::Selection selection{.names = {name}};
  std::vector<store::AppsRecord> found;
  std::vector<store::RecordPosition> positions;
  files.Apps.Set(store::Order::File);
  for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next()) {
    if (!ide::IsChosen(selection, files.APP)) continue;
    found.push_back(files.APP);
    positions.push_back(files.Apps.Position(store::Order::File));
  }
  if (found.empty()) {
    err << "No application \"" << name << "\" in the list.\n";
    return false;
  }
  if (found.size() > 1) {
    err << "\"" << name << "\" names " << found.size() << " applications; give the full path:\n";
    for (const store::AppsRecord& app : found) err << "  " << PathOf(app) << "\n";
    return false;
  }
  files.Apps.Reread(positions[0]);
  return files.store.error.code == 0;
}

// One test case per chosen application, from the outcomes the batch told: passed when made,
// otherwise a failure whose type is the outcome and whose message is the log record that ended it.
// Each case is named by the application's full path, so that two applications of one file name in
// two folders stay two cases. False when the file could not be written.
bool WriteJUnit(const std::string& file_name, const Command& command, const std::vector<ide::ApplicationOutcome>& outcomes,
                const std::string& log_failure, std::int64_t batch_hundredths, std::ostream& err) {
  std::string cases;
  int failures = 0;
  for (const ide::ApplicationOutcome& outcome : outcomes) {
    cases += "  <testcase classname=\"nightjar." + std::string(OperationName(command.operation)) + "\" name=\"" +
             XmlEscaped(outcome.folder + outcome.application) + "\" time=\"" + Seconds(outcome.hundredths) + "\"";
    if (outcome.outcome == ide::Outcome::kMade) {
      cases += "/>\n";
      continue;
    }
    ++failures;
    std::string message = outcome.outcome == ide::Outcome::kNotReached ? "Not processed: the batch ended before it"
                                                                         : outcome.detail;
    cases += ">\n    <failure type=\"" + std::string(ide::OutcomeName(outcome.outcome)) + "\" message=\"" +
             XmlEscaped(message) + "\"";
    if (outcome.ide_error_number != 0 || !outcome.ide_error_text.empty())
      cases += ">IDE error " + std::to_string(outcome.ide_error_number) + ": " + XmlEscaped(outcome.ide_error_text) +
               "</failure>\n";
    else cases += "/>\n";
    cases += "  </testcase>\n";
  }
  std::ofstream out(std::filesystem::path(file_name), std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuite name=\"nightjar " << OperationName(command.operation) << "\" tests=\"" << outcomes.size()
      << "\" failures=\"" << failures << "\" errors=\"0\" time=\"" << Seconds(batch_hundredths) << "\">\n"
      << cases;
  if (!log_failure.empty())
    out << "  <system-err>A record of the activity log could not be written: " << XmlEscaped(log_failure)
        << "</system-err>\n";
  out << "</testsuite>\n";
  out.close();
  if (out) return true;
  err << "The JUnit report could not be written to " << file_name << ".\n";
  return false;
}

class Runner {
 public:
  Runner(rt::Runtime& runtime, windows::Services& services, std::ostream& out, std::ostream& err)
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
      case Verb::List: code = List(); break;
      case Verb::Add: code = Add(command.argument); break;
      case Verb::Remove: code = Remove(command.argument); break;
      case Verb::Tag: code = SetTag(command.argument, 1); break;
      case Verb::Untag: code = SetTag(command.argument, 0); break;
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
      if (ide::IsChosen(selection, app)) chosen.push_back(app);
    for (const std::string& name : command.apps) {
      bool known = false;
      for (const store::AppsRecord& app : chosen) known = known || ide::IsChosen({.names = {name}}, app);
      if (!known) {
        err_ << "No application \"" << name << "\" in the list.\n";
        return kExitCannotRun;
      }
    }

    rt::Runtime& runtime = program_.runtime;
    ide::ConnectionState state;
    state.DDETimeOut = static_cast<std::uint8_t>(command.timeout_minutes);
    std::vector<ide::ApplicationOutcome> outcomes;
    std::string log_failure;
    ide::BatchEnd end = ide::BatchEnd::kNotRun;
    std::int64_t started = runtime.clock().Ticks();
    {
      rt::Window window(runtime, windows::kMainWindow);
      windows::MainIde ide(window, state, program_.services, files_, program_.OutputFileName);
      ide.batch.Choose(selection);
      ide.batch.OnLogged([&](const store::TempFileRecord& record) { out_ << LogLine(record) << std::endl; });
      ide.batch.OnOutcome([&](const ide::ApplicationOutcome& outcome) { outcomes.push_back(outcome); });
      end = ide.batch.Run(command.operation);
      log_failure = ide.batch.LogFailure();
    }
    std::int64_t took = runtime.clock().Ticks() - started;

    if (end == ide::BatchEnd::kNotRun || end == ide::BatchEnd::kWindowClosed) {
      if (command.operation == ide::Operation::ImportTxa && !command.yes)
        err_ << "import-txa replaces each application's .APP file: run it with --yes to confirm.\n";
      else err_ << "The batch could not be run; nothing was sent.\n";
      return kExitCannotRun;
    }
    err_ << std::string(state.LastAction.Trimmed()) << "\n";
    // A report that is missing would pass for a batch that never ran.
    if (!command.junit.empty() && !WriteJUnit(command.junit, command, outcomes, log_failure, took, err_))
      return kExitCannotRun;
    return end == ide::BatchEnd::kAllFinished ? kExitOk : kExitNotAllMade;
  }

  int List() {
    // In key order, as the window's list shows them.
    files_.Apps.Set(store::Order::Key);
    for (files_.Apps.Next(); files_.store.error.code == 0; files_.Apps.Next())
      out_ << (files_.APP.Tag == 1 ? "* " : "  ") << PathOf(files_.APP) << "\n";
    return kExitOk;
  }

  // Every .APP file `pattern` matches, added as the application form adds one: its full path split
  // for the record (its short path when too long), untagged; one already listed is reported.
  int Add(const std::string& pattern) {
    platform::DirectoryLister& lister = program_.services.lister;
    std::vector<platform::DirectoryEntry> entries;
    int error = lister.List(pattern, entries);
    std::string folder, name_pattern;
    platform::SplitFolder(pattern, folder, name_pattern);
    std::error_code fs_error;
    std::string absolute = std::filesystem::absolute(folder.empty() ? "." : folder, fs_error).string();
    if (fs_error) absolute = folder;
    absolute = files::WithSeparator(absolute);

    int added = 0, matched = 0;
    for (const platform::DirectoryEntry& entry : entries) {
      std::string name(rt::TrimRight(entry.name));
      if (!platform::FoldUpper(name).ends_with(".APP")) continue;
      ++matched;
      std::string full = absolute + name;
      files::AppPath parts = files::FitAppPath(full, lister);
      if (!parts.Fits()) {
        err_ << full << ": the path is too long to be stored (80 characters for the directory, 12 for the name) "
             << "and the system gives it no short name; not added.\n";
        continue;
      }
      files_.APP = store::AppsRecord();
      files_.APP.DriveNPath = files::WithSeparator(parts.directory);
      files_.APP.Application = parts.name;
      files_.APP.Tag = 0;
      files_.Apps.Add();
      std::int32_t code = files_.store.error.code;
      if (code == store::kNoError) {
        out_ << "added " << full << "\n";
        ++added;
      } else if (code == store::kDuplicateKey) {
        err_ << full << " is in the list already.\n";
      } else {
        err_ << full << " could not be added: " << files_.store.error.text << "\n";
      }
    }
    if (matched == 0) {
      err_ << "No .APP file matches " << pattern;
      if (error != 0) err_ << " (the folder could not be read: error " << error << ")";
      err_ << ".\n";
      return kExitCannotRun;
    }
    return kExitOk;
  }

  int Remove(const std::string& name) {
    if (!FindOne(files_, name, err_)) return kExitCannotRun;
    std::string path = PathOf(files_.APP);
    files_.Apps.Delete();
    if (files_.store.error.code != 0) {
      err_ << path << " could not be removed: " << files_.store.error.text << "\n";
      return kExitCannotRun;
    }
    out_ << "removed " << path << "\n";
    return kExitOk;
  }

  int SetTag(const std::string& name, std::int16_t tag) {
    if (!FindOne(files_, name, err_)) return kExitCannotRun;
    files_.APP.Tag = tag;
    files_.Apps.Put();
    if (files_.store.error.code != 0) {
      err_ << PathOf(files_.APP) << " could not be changed: " << files_.store.error.text << "\n";
      return kExitCannotRun;
    }
    out_ << (tag == 1 ? "tagged " : "untagged ") << PathOf(files_.APP) << "\n";
    return kExitOk;
  }

  // The log in stored order: the order its records were written in.
  int ShowLog() {
    files_.TempFile.Open();
    if (files_.store.error.code == store::kFileNotFound) {
      err_ << "There is no activity log yet: no batch has run in this folder.\n";
      return kExitOk;
    }
    if (files_.store.error.code != 0) {
      err_ << "The activity log could not be opened: " << files_.store.error.text << "\n";
      return kExitCannotRun;
    }
    files_.TempFile.Set(store::Order::File);
    for (files_.TempFile.Next(); files_.store.error.code == 0; files_.TempFile.Next())
      out_ << LogLine(files_.TMP) << "\n";
    files_.TempFile.Close();
    return kExitOk;
  }

  windows::Program program_;
  files::Files& files_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

std::string LogLine(const store::TempFileRecord& record) {
  std::string app = std::string(record.Apps.Trimmed());
  return Stamp(record.Date, record.Clock) + "  " + (app.empty() ? "" : app + "  ") + std::string(record.Event.Trimmed());
}

int RunCommand(const Command& command, rt::Runtime& runtime, windows::Services& services, std::ostream& out,
               std::ostream& err) {
  return Runner(runtime, services, out, err).Run(command);
}

}  // namespace console
