// The console program's command line: what `nightjar.com` is asked to do, read from its arguments.
// Reading is kept apart from running, so the rules can be tested without files or an IDE.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ide/dde_contract.h"

namespace console {

enum class Verb { Help, Version, Run, List, Add, Remove, Tag, Untag, Log, Order };

struct Command {
  Verb verb = Verb::Help;
  ide::Operation operation = ide::Operation::MakeExe;  // Run
  bool all = false;                                    // Run, Tag, Untag: every application
  std::vector<std::string> apps;                       // Run: these applications only
  int timeout_minutes = 15;                            // Run: the DDE time-out, 1 to 99
  bool yes = false;                                    // Run: confirm what the window would ask
  std::string junit;                                   // Run: the JUnit report's file; "" none
  std::string html;                                    // Run: the HTML report's file; "" none
  bool changed = false;                                // Run: up-to-date applications are not sent
  bool failed = false;                                 // Run: only those whose last result was not made
  bool stop_on_failure = false;                        // Run: end the batch at the first failure
  std::string ide_program;                             // Run: the IDE's program, as given; "" any
  int ides = 1;                                        // Run: how many IDEs at once, 1 to 16
  bool by_order = false;                               // List: in build order, with the numbers
  std::string shard;                                   // Run, List: "K/N" or "auto"; "" the whole list
  std::vector<std::string> timings;                    // Run, List: JUnit reports, the split's times
  bool ordered_only = false;                           // Run: only the numbered applications
  bool skip_ordered = false;                           // Run, List: all but the numbered applications
  int order = 0;                                       // Order: the build order number, 0 none
  std::string argument;                                // Add: the pattern; Remove, Tag, Untag, Order: the name
};

// The command, or why the arguments make none (`error`, for the usage that follows it).
struct Parsed {
  std::optional<Command> command;
  std::string error;
};

// `arguments` without the program's name.
Parsed ParseCommand(const std::vector<std::string>& arguments);

// The operation's name on the command line ("make-exe", ...), and the reverse.
const char* OperationName(ide::Operation operation);
std::optional<ide::Operation> OperationNamed(const std::string& name);

// What --help prints, and the usage printed after a bad argument.
std::string Usage();
inline constexpr const char* kVersion = "nightjar 1.0";

}  // namespace console
