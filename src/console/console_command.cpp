// Reading the console program's command line: see console_command.h.
#include "console/console_command.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <map>
#include <set>

#include "console/shard_choice.h"
#include "ide/connection.h"

namespace console {
namespace {

struct NamedOperation {
  ide::Operation operation;
  const char* name;
};
constexpr NamedOperation kOperationNames[] = {
    {.operation = ide::Operation::MakeExe, .name = "make-exe"},
    {.operation = ide::Operation::MakeDll, .name = "make-dll"},
    {.operation = ide::Operation::ExportTxa, .name = "export-txa"},
    {.operation = ide::Operation::ImportTxa, .name = "import-txa"},
    {.operation = ide::Operation::ImportDct, .name = "import-dct"},
    {.operation = ide::Operation::ExportDct, .name = "export-dct"},
};

Parsed Fail(std::string error) { return {std::nullopt, std::move(error)}; }

// A whole number from `low` (at least 1) to `high`, in digits only; 0 when the text is none.
int Within(const std::string& text, int low, int high) {
  int number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size() && number >= low && number <= high ? number : 0;
}

// The options of `run` (from arguments[2] on) or `list` (from arguments[1] on), read by CLI11 and
// told wrong in our own words. "--name value" and "--name=value" alike; a value is taken as it
// comes, even one that begins with "-"; of an option given twice the last counts, but --app and
// --timings gather every one.
Parsed ParseOptions(const std::vector<std::string>& arguments, Command command) {
  const bool run = command.verb == Verb::Run;
  const std::vector<std::string> given(arguments.begin() + (run ? 2 : 1), arguments.end());
  const auto unknown = [&](const std::string& option) {
    return Fail("unknown option \"" + option + "\" for " + (run ? "run" : "list"));
  };
  CLI::App app;
  app.set_help_flag();  // --help is a command of its own
  app.allow_extras();   // told below
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::set<std::string> flags;
  std::map<std::string, std::string> needs;  // what an option says when its value is missing
  const auto flag = [&](const char* name, bool& into) {
    flags.insert(name);
    app.add_flag(name, into);
  };
  const auto value = [&](const char* name, auto& into, const char* what) {
    needs[name] = std::string(name) + " needs " + what;
    return app.add_option(name, into);
  };
  std::string timeout, ides;
  if (run) {
    flag("--yes", command.yes);
    flag("--changed", command.changed);
    flag("--failed", command.failed);
    flag("--stop-on-failure", command.stop_on_failure);
    flag("--ordered-only", command.ordered_only);
    value("--app", command.apps, "an application's name")->take_all()->allow_extra_args(false);
    value("--timeout", timeout, "a number of minutes");
    value("--ide", command.ide_program, "the IDE's program (its path)");
    value("--ides", ides, "a number of IDEs");
    value("--junit", command.junit, "a file name");
    value("--html", command.html, "a file name");
  } else {
    flag("--by-order", command.by_order);
  }
  flag("--all", command.all);
  flag("--skip-ordered", command.skip_ordered);
  value("--shard", command.shard, "K/N or auto");
  value("--timings", command.timings, "a JUnit report's file name")->take_all()->allow_extra_args(false);

  // A flag given a value is none of ours; CLI11 would read "--all=no" as a flag turned off.
  for (const std::string& option : given)
    if (flags.count(option.substr(0, option.find('='))) && option.find('=') != std::string::npos)
      return unknown(option);
  try {
    app.parse(std::vector<std::string>(given.rbegin(), given.rend()));
  } catch (const CLI::ParseError& error) {
    // Only the last option can be left without its value.
    auto found = needs.find(given.back().substr(0, given.back().find('=')));
    return Fail(found != needs.end() ? found->second : error.what());
  }
  if (!app.remaining().empty()) return unknown(app.remaining().front());
  for (const auto& [name, what] : needs)
    for (const std::string& result : app.get_option(name)->results())
      if (result.empty()) return Fail(what);

  constexpr int kMostIdes = ide::ConnectionState::kMaxIdes;
  if (!timeout.empty() && !(command.timeout_minutes = Within(timeout, 1, 99)))
    return Fail("--timeout takes 1 to 99 minutes, not \"" + timeout + "\"");
  if (!ides.empty() && !(command.ides = Within(ides, 1, kMostIdes)))
    return Fail("--ides takes 1 to " + std::to_string(kMostIdes) + " IDEs, not \"" + ides + "\"");
  // K/N is checked now, so that a mistyped one sends nothing; "auto" is read when the batch runs.
  if (!command.shard.empty() && command.shard != "auto")
    if (auto parsed = ParseShard(command.shard, nullptr); !parsed.position) return Fail(parsed.error);

  const bool sharded = !command.shard.empty() || command.skip_ordered;
  if (run && command.all && !command.apps.empty()) return Fail("--all and --app cannot be given together");
  if (command.by_order && sharded) return Fail("--by-order does not go with --shard: a shard is listed in build order");
  if (!run && command.all && !sharded) return Fail("--all goes with --shard (a plain list shows every application)");
  if (command.ordered_only && !command.shard.empty())
    return Fail("--ordered-only and --shard cannot be given together: the numbered applications run on one agent, "
                "before the shards");
  if (command.ordered_only && command.skip_ordered) return Fail("--ordered-only and --skip-ordered leave nothing to run");
  if (!command.timings.empty() && command.shard.empty()) return Fail("--timings goes with --shard");
  return {command, ""};
}

}  // namespace

const char* OperationName(ide::Operation operation) {
  for (const auto& entry : kOperationNames)
    if (entry.operation == operation) return entry.name;
  return "";
}

std::optional<ide::Operation> OperationNamed(const std::string& name) {
  for (const auto& entry : kOperationNames)
    if (name == entry.name) return entry.operation;
  return std::nullopt;
}

Parsed ParseCommand(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return Fail("no command given");
  const std::string& verb = arguments[0];
  Command command;
  if (verb == "--help" || verb == "-h" || verb == "help") {
    command.verb = Verb::Help;
    return arguments.size() == 1 ? Parsed{command, ""} : Fail("--help takes no arguments");
  }
  if (verb == "--version") {
    command.verb = Verb::Version;
    return arguments.size() == 1 ? Parsed{command, ""} : Fail("--version takes no arguments");
  }
  if (verb == "run") {
    command.verb = Verb::Run;
    if (arguments.size() < 2) return Fail("run needs an operation");
    auto operation = OperationNamed(arguments[1]);
    if (!operation) return Fail("unknown operation \"" + arguments[1] + "\"");
    command.operation = *operation;
    return ParseOptions(arguments, command);
  }
  if (verb == "list" && arguments.size() > 1) {
    command.verb = Verb::List;
    return ParseOptions(arguments, command);
  }
  if (verb == "order") {
    command.verb = Verb::Order;
    if (arguments.size() != 3 || arguments[1].empty()) return Fail("order takes a name and a number");
    const std::string& number = arguments[2];
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), command.order);
    if (error != std::errc() || end != number.data() + number.size() || command.order < 0 || command.order > 99999)
      return Fail("order takes a number from 0 (none) to 99999, not \"" + number + "\"");
    command.argument = arguments[1];
    return {command, ""};
  }
  struct Simple {
    const char* name;
    Verb verb;
    bool takes_argument;
  };
  constexpr Simple kSimple[] = {{"list", Verb::List, false}, {"log", Verb::Log, false},   {"add", Verb::Add, true},
                                {"remove", Verb::Remove, true}, {"tag", Verb::Tag, true}, {"untag", Verb::Untag, true}};
  for (const Simple& simple : kSimple) {
    if (verb != simple.name) continue;
    command.verb = simple.verb;
    std::size_t wanted = simple.takes_argument ? 2 : 1;
    if (arguments.size() != wanted)
      return Fail(verb + (simple.takes_argument ? " takes one argument" : " takes no arguments"));
    if (simple.takes_argument) {
      if (arguments[1].empty()) return Fail(verb + " needs a name");
      // tag --all / untag --all: every application of the list.
      command.all = (simple.verb == Verb::Tag || simple.verb == Verb::Untag) && arguments[1] == "--all";
      if (!command.all) command.argument = arguments[1];
    }
    return {command, ""};
  }
  return Fail("unknown command \"" + verb + "\"");
}

std::string Usage() {
  return "Usage:\n"
         "  nightjar run OPERATION [--all | --app NAME ...] [--timeout MINUTES] [--yes] [--junit FILE]\n"
         "               [--changed] [--failed] [--stop-on-failure] [--html FILE] [--ide PROGRAM]\n"
         "               [--ides N] [--shard K/N|auto [--timings FILE]] [--ordered-only | --skip-ordered]\n"
         "      OPERATION: make-exe, make-dll, export-txa, import-txa, import-dct, export-dct.\n"
         "      Runs the operation over the tagged applications of APPS in the current folder (--all:\n"
         "      every one; --app: those named, by file name or full path), writing the activity log\n"
         "      and printing each of its records. --timeout: the DDE time-out (default 15). --yes:\n"
         "      confirms what the window would ask (import-txa replaces the .APP files). --junit: a\n"
         "      JUnit XML report, one test case per application. --changed: an application whose output\n"
         "      is newer than its .APP (and its folder's .DCT) is not sent. --failed: only those whose\n"
         "      last result was not \"made\". --stop-on-failure: the batch ends at the first failure.\n"
         "      --html: a page to look at: the failures, a timeline per IDE, what took much longer.\n"
         "      --ide: only the IDEs that run this program are used, and it is started when none runs\n"
         "      (default: whichever answers, and CW20 is started). --ides: how many IDEs make\n"
         "      applications at once, 1 to 16 (default 1). Neither is kept for the window.\n"
         "      Applications run by their build order numbers, then the rest as stored.\n"
         "      --shard K/N: only shard K of N (from 1) of the chosen applications, for one of N CI\n"
         "      agents; one folder's applications stay together, the numbered ones all go to shard 1,\n"
         "      and the shards are balanced by each application's last time (--timings: the times of\n"
         "      earlier --junit reports instead; give it once a report). --shard auto: K and N from\n"
         "      the CI's variables (CI_NODE_INDEX/CI_NODE_TOTAL, CIRCLE_NODE_INDEX/CIRCLE_NODE_TOTAL,\n"
         "      BUILDKITE_PARALLEL_JOB/BUILDKITE_PARALLEL_JOB_COUNT, SYSTEM_JOBPOSITIONINPHASE/\n"
         "      SYSTEM_TOTALJOBSINPHASE).\n"
         "      --ordered-only: only the numbered applications, in order (a first stage, not with\n"
         "      --shard); --skip-ordered: all but them (the stage after it). A shard with nothing\n"
         "      in it ends at once with exit code 0.\n"
         "  nightjar list [--by-order] the applications and their last results; * marks the tagged\n"
         "                            ones; --by-order: in build order, with the numbers\n"
         "  nightjar list --shard K/N|auto [--all] [--timings FILE] [--skip-ordered]\n"
         "                            the tagged applications (--all: every one) that run --shard\n"
         "                            K/N takes, with their expected times\n"
         "  nightjar order NAME N     sets an application's build order number (0: none)\n"
         "  nightjar add PATTERN      adds every .APP file that matches (wildcards * and ?)\n"
         "  nightjar remove NAME      removes an application (file name or full path)\n"
         "  nightjar tag NAME         tags an application; untag NAME untags it; --all: every one\n"
         "  nightjar log              the activity log of the last batch\n"
         "  nightjar --help | --version\n"
         "Exit codes: 0 every application finished (or the command succeeded); 1 some failed, timed\n"
         "out or were not found; 2 nothing could be run (no IDE, files that cannot be opened, bad\n"
         "arguments).\n";
}

}  // namespace console
