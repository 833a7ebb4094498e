// How the stand-in reads a DDE command: which of the IDE's five commands it is, the file it reads and
// the file it writes. The tests' in-process fake IDE (tests/doubles) reads commands the same way.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ide_standin {

// The error numbers (GetErrorNum) of the refusals both doubles make on their own.
inline constexpr int kInputMissingError = 2;    // "File not found: " + the input file
inline constexpr int kUnknownCommandError = 3;  // "Unknown command: " + the command

enum class IdeCommandKind { kExecuteProject, kExportApp, kImportApp, kImportDct, kExportDct };

struct IdeCommand {
  IdeCommandKind kind = IdeCommandKind::kExecuteProject;
  std::vector<std::string> arguments;  // as written between the parentheses, split at commas
  std::string input;                   // the file the command reads (always its first argument)
  // The file it writes: its second argument; "" for ExecuteProject, whose result is the project's
  // path with ".EXE" or ".DLL" for its extension (ReplaceExtension), as the project decides.
  std::string output;
};

// Reads "[Name(arg,arg,...)]", ignoring blanks after the closing bracket and the letter case of the
// name. Returns nothing for any other text, an unknown name or the wrong number of arguments
// (ExecuteProject 1, ExportApp 3, ImportApp 4, ImportDCT 3, ExportDCT 3).
std::optional<IdeCommand> ParseIdeCommand(const std::string& text);

// `path` with its extension (from the last "." after the last "\" or "/") replaced by `extension`
// (which brings its own "."); a path without an extension gets it appended.
std::string ReplaceExtension(const std::string& path, const std::string& extension);

// Letter case ignored, ASCII only: how the IDE's platform compares names.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// Whether an ordinary file of that name exists, its name compared ignoring letter case (its folder
// is taken as written), as the IDE's platform finds files.
bool FileExistsIgnoringCase(const std::string& path);

}  // namespace ide_standin
