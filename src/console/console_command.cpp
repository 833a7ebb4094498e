// Reading the console program's command line: see console_command.h.
#include "console/console_command.h"

#include <charconv>
#include <string_view>

#include "ide/shard.h"

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

// Walks a command's options: each is "--name=value", or "--name" with its value, if it takes one,
// in the next argument.
class OptionReader {
 public:
  OptionReader(const std::vector<std::string>& arguments, std::size_t first) : arguments_(arguments), next_(first) {}

  // Moves to the next option; false after the last.
  bool Next() {
    if (next_ >= arguments_.size()) return false;
    option_ = arguments_[next_++];
    name_ = option_;
    value_.clear();
    inline_value_ = false;
    if (auto equals = option_.find('='); option_.starts_with("--") && equals != std::string::npos) {
      name_ = option_.substr(0, equals);
      value_ = option_.substr(equals + 1);
      inline_value_ = true;
    }
    return true;
  }
  // The option's value, after "=" or taken from the next argument; false when there is none.
  bool TakeValue() {
    if (inline_value_) return true;
    if (next_ >= arguments_.size()) return false;
    value_ = arguments_[next_++];
    return true;
  }
  // Whether the option is `name` given without "=" (a flag).
  bool IsFlag(std::string_view name) const { return name_ == name && !inline_value_; }

  const std::string& option() const { return option_; }
  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_;
  std::string option_, name_, value_;
  bool inline_value_ = false;
};

// The options that narrow a batch to one agent's part; false when `name` is none of them. K/N is
// checked here, so that a mistyped one sends nothing; "auto" is read when the batch runs.
bool TakeShardOption(OptionReader& options, Command& command, std::string& error) {
  const std::string& value = options.value();
  if (options.name() == "--shard") {
    if (!options.TakeValue() || value.empty()) error = "--shard needs K/N or auto";
    else if (auto parsed = ide::ParseShard(value, nullptr); value != "auto" && !parsed.position) error = parsed.error;
    else command.shard = value;
  } else if (options.name() == "--timings") {
    if (!options.TakeValue() || value.empty()) error = "--timings needs a JUnit report's file name";
    else command.timings.push_back(value);
  } else if (options.IsFlag("--skip-ordered")) {
    command.skip_ordered = true;
  } else {
    return false;
  }
  return true;
}

// What the options that narrow a batch cannot mean together.
std::string ShardConflict(const Command& command) {
  if (command.ordered_only && !command.shard.empty())
    return "--ordered-only and --shard cannot be given together: the numbered applications run on one agent, "
           "before the shards";
  if (command.ordered_only && command.skip_ordered) return "--ordered-only and --skip-ordered leave nothing to run";
  if (!command.timings.empty() && command.shard.empty()) return "--timings goes with --shard";
  return "";
}

// The options of `run`, from arguments[2] on.
Parsed ParseRun(const std::vector<std::string>& arguments, Command command) {
  OptionReader options(arguments, 2);
  const std::string& name = options.name();
  const std::string& value = options.value();
  while (options.Next()) {
    if (options.IsFlag("--all")) {
      command.all = true;
    } else if (options.IsFlag("--yes")) {
      command.yes = true;
    } else if (options.IsFlag("--changed")) {
      command.changed = true;
    } else if (options.IsFlag("--failed")) {
      command.failed = true;
    } else if (options.IsFlag("--stop-on-failure")) {
      command.stop_on_failure = true;
    } else if (options.IsFlag("--ordered-only")) {
      command.ordered_only = true;
    } else if (std::string error; TakeShardOption(options, command, error)) {
      if (!error.empty()) return Fail(error);
    } else if (name == "--app") {
      if (!options.TakeValue() || value.empty()) return Fail("--app needs an application's name");
      command.apps.push_back(value);
    } else if (name == "--timeout") {
      if (!options.TakeValue()) return Fail("--timeout needs a number of minutes");
      int minutes = 0;
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), minutes);
      if (error != std::errc() || end != value.data() + value.size() || minutes < 1 || minutes > 99)
        return Fail("--timeout takes 1 to 99 minutes, not \"" + value + "\"");
      command.timeout_minutes = minutes;
    } else if (name == "--ide") {
      if (!options.TakeValue() || value.empty()) return Fail("--ide needs the IDE's program (its path)");
      command.ide_program = value;
    } else if (name == "--ides") {
      constexpr int kMost = ide::ConnectionState::kMaxIdes;
      if (!options.TakeValue()) return Fail("--ides needs a number of IDEs");
      int ides = 0;
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ides);
      if (error != std::errc() || end != value.data() + value.size() || ides < 1 || ides > kMost)
        return Fail("--ides takes 1 to " + std::to_string(kMost) + " IDEs, not \"" + value + "\"");
      command.ides = ides;
    } else if (name == "--junit") {
      if (!options.TakeValue() || value.empty()) return Fail("--junit needs a file name");
      command.junit = value;
    } else if (name == "--html") {
      if (!options.TakeValue() || value.empty()) return Fail("--html needs a file name");
      command.html = value;
    } else {
      return Fail("unknown option \"" + options.option() + "\" for run");
    }
  }
  if (command.all && !command.apps.empty()) return Fail("--all and --app cannot be given together");
  if (std::string conflict = ShardConflict(command); !conflict.empty()) return Fail(conflict);
  return {command, ""};
}

// The options of `list`, from arguments[1] on.
Parsed ParseList(const std::vector<std::string>& arguments, Command command) {
  OptionReader options(arguments, 1);
  while (options.Next()) {
    std::string error;
    if (options.IsFlag("--by-order")) command.by_order = true;
    else if (options.IsFlag("--all")) command.all = true;
    else if (!TakeShardOption(options, command, error))
      return Fail("unknown option \"" + options.option() + "\" for list");
    if (!error.empty()) return Fail(error);
  }
  const bool sharded = !command.shard.empty() || command.skip_ordered;
  if (command.by_order && sharded) return Fail("--by-order does not go with --shard: a shard is listed in build order");
  if (command.all && !sharded) return Fail("--all goes with --shard (a plain list shows every application)");
  if (std::string conflict = ShardConflict(command); !conflict.empty()) return Fail(conflict);
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
    return ParseRun(arguments, command);
  }
  if (verb == "list" && arguments.size() > 1) {
    command.verb = Verb::List;
    return ParseList(arguments, command);
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
