// Starting a program on Windows with CreateProcess, without waiting for it. The program is looked up
// by ourselves, beside the running program and then along PATH, so that "CW20" finds the CW20.exe
// that lies beside nightjar.exe and never one in the current folder, where the record files are.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/program_starter.h"

namespace platform {
namespace {

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// `candidate` as it is, or with ".exe" when it has no extension of its own; "" when neither exists.
std::string ExistingProgram(const std::string& candidate) {
  std::size_t name_start = candidate.find_last_of("\\/:");
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  bool has_extension = candidate.find('.', name_start) != std::string::npos;
  if (!has_extension && IsFile(candidate + ".exe")) return candidate + ".exe";
  if (IsFile(candidate)) return candidate;
  return "";
}

std::string OwnFolder() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      std::string full(path.data(), length);
      std::size_t separator = full.find_last_of("\\/");
      return separator == std::string::npos ? "" : full.substr(0, separator + 1);
    }
    path.resize(path.size() * 2);
  }
}

std::string Resolve(const std::string& program) {
  if (program.find_first_of("\\/:") != std::string::npos) return ExistingProgram(program);
  std::vector<std::string> folders{OwnFolder()};
  DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size > 0) {
    std::string path(size, '\0');
    path.resize(GetEnvironmentVariableA("PATH", path.data(), size));
    for (std::string& folder : SearchFolders(path, ';', '\\')) folders.push_back(std::move(folder));
  }
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    std::string found = ExistingProgram(folder + program);
    if (!found.empty()) return found;
  }
  return "";
}

class Win32ProgramStarter final : public ProgramStarter {
 public:
  StartResult Start(const std::string& command_line) override {
    std::vector<std::string> parts = SplitCommandLine(command_line);
    if (parts.empty()) return StartResult::kFailed;
    std::string program = Resolve(parts[0]);
    if (program.empty()) return StartResult::kFailed;

    std::string arguments = command_line;  // CreateProcess may write into its command line
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), arguments.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return StartResult::kFailed;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return StartResult::kOk;
  }
};

}  // namespace

std::unique_ptr<ProgramStarter> MakeProgramStarter() { return std::make_unique<Win32ProgramStarter>(); }

}  // namespace platform
