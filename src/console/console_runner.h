// Running the console program's commands over the record files of the current folder: the batch
// through the same procedures as the window's buttons (its main window exists only as model state
// in a windowless runtime), and the list's maintenance through the same record files.
#pragma once

#include <iosfwd>
#include <string>

#include "console/console_command.h"
#include "store/records.h"

namespace rt {
class Runtime;
}
namespace procedures {
struct Services;
}

namespace console {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotAllMade = 1;
inline constexpr int kExitCannotRun = 2;

// Runs `command` with `runtime`, whose boxes are answered without a person (a console backend), and
// `services`. Listings and log records go to `out`, everything the user must be told to `err`.
// Returns the exit code. A halt of the runtime propagates as the backend throws it.
int RunCommand(const Command& command, rt::Runtime& runtime, procedures::Services& services, std::ostream& out,
               std::ostream& err);

// One log record as one line: its moment in the system's short date and time, application (when
// there is one) and event, with control characters shown escaped and a date or time out of range
// shown as its number.
std::string LogLine(const store::TempFileRecord& record);

// What the user can do after the program halted with `halt_text` (lines to print; "" if nothing):
// for a damaged key, what a rebuild (a confirmed batch, or the window program) will and will not
// mend, and what the record files of the current folder show: records cut off, empty fields, the
// keys that more than one record holds.
std::string HaltAdvice(const std::string& halt_text);

}  // namespace console
