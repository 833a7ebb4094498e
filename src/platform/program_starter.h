// Starting another program by its command line without waiting for it: the IDE connection starts
// the IDE ("CW20") this way when no server answers. Implementations: win32/ and posix/, and the fake
// in tests/doubles/fake_ide.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class StartResult { kOk, kFailed };

class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;

  // Starts `command_line` (a program name or path, then its arguments, separated by blanks; a part
  // in double quotes may hold blanks) and returns at once. A bare program name is looked for first
  // in the folder of the running program, then along PATH; without an extension, ".exe" is tried
  // on Windows. kOk: the program was found and its process created; kFailed: it was not found or
  // could not be started. Nothing is waited for and nothing of the program's outcome is reported.
  virtual StartResult Start(const std::string& command_line) = 0;
};

// The parts of a command line: separated by blanks or tabs; a double quote starts or ends a part
// that may hold blanks (the quotes themselves are dropped). Shared by the real starters.
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// The folders of a search path such as PATH, in order, each ending with `folder_separator`
// (added where missing); empty entries are skipped.
std::vector<std::string> SearchFolders(const std::string& path_list, char list_separator, char folder_separator);

// The real starter of this platform (win32/program_starter.cpp or posix/program_starter.cpp).
std::unique_ptr<ProgramStarter> MakeProgramStarter();

}  // namespace platform
