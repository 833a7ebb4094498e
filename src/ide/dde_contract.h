// The DDE contract with the IDE: its service, the command line that starts it, the items that
// explain a refused command, and the six batch operations as data (their files, texts and command).
// Used by the connection and the batch operations; tests check the texts here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ide {

inline constexpr const char* kService = "ClarionWin";
inline constexpr const char* kStartCommand = "CW20";
inline constexpr const char* kErrorNumberItem = "GetErrorNum";
inline constexpr const char* kErrorMessageItem = "GetErrorMsg";
// A command is a STRING(255); a longer text would reach the IDE cut.
inline constexpr std::size_t kMaxCommandLength = 255;

enum class Operation { MakeExe, MakeDll, ExportTxa, ImportTxa, ImportDct, ExportDct };
inline constexpr Operation kAllOperations[] = {Operation::MakeExe,   Operation::MakeDll,   Operation::ExportTxa,
                                               Operation::ImportTxa, Operation::ImportDct, Operation::ExportDct};

// One row of the operations table. "app" below is APP:Application without trailing blanks.
struct OperationRow {
  Operation operation;
  const char* name;               // for test output
  const char* label;              // the operation as the user knows it (its button's text)
  const char* input_extension;    // the file that must exist before anything is sent
  const char* deleted_extension;  // the stale output deleted before sending; nullptr: none
  const char* begin_text;         // logged before sending
  const char* sending_action;     // LastAction = this + app before sending; nullptr: unchanged
  const char* ack_text;           // LastAction = app + this while waiting
  const char* awaited_extension;  // the file whose writing after the command ends the wait
  // A make's other kind of output (".DLL" for a program, ".EXE" for a library): written after the
  // command, it ends the wait as not made, logged "The IDE made " + its name + this. nullptr: none.
  const char* other_extension;
  const char* other_reason;
  const char* completion_action;  // LastAction = app + this on completion; nullptr: unchanged
  const char* finished_text;      // logged on completion
  const char* error_prefix;       // starts the "Processing Terminated" message
};

const OperationRow& RowOf(Operation operation);

// The command for `operation` on the application P = directory (ending in its separator) + base
// name, both without trailing blanks.
std::string ComposeCommand(Operation operation, std::string_view p);

// AppBaseName: the application's name up to, not including, its first "."; a name without "."
// is taken whole. Cut at 8 characters.
std::string BaseNameOf(std::string_view application);

// The first character of `text` that a command cannot carry inside an argument: "[" and "]"
// delimit commands, "," separates arguments, '"' quotes, and control characters end or corrupt the
// text. Parentheses are carried: the argument list runs from the first "(" to the ")" before the
// closing "]", so folders such as "Copy (2)" are sent as they are. nullopt when every character can
// be sent.
std::optional<char> FirstUncarriable(std::string_view text);

}  // namespace ide
