// Starting a program on Windows with CreateProcess, without waiting for it. The program is looked up
// by ourselves, beside the running program and then along PATH, so that "CW20" finds the CW20.exe
// that lies beside nightjar.exe and never one in the current folder, where the record files are.
// The program gets no standard handles and inherits none: it must not hold the console's output
// (under wine, the shell's pipe) open after nightjar.com has ended.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/program_starter.h"

namespace platform {
namespace {

std::u16string Wide(const std::string& text) { return ToUtf16(text); }
const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesW(W(Wide(path)));
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

// The running program's folder in the code page (by its short form where the code page cannot
// hold it); "" when it cannot be given.
std::string OwnFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      std::u16string full(reinterpret_cast<const char16_t*>(path.data()), length);
      std::string folder;
      wchar_t short_path[MAX_PATH];
      if (!FromUtf16(full, folder)) {
        DWORD short_length = GetShortPathNameW(W(full), short_path, MAX_PATH);
        if (short_length == 0 || short_length >= MAX_PATH ||
            !FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(short_path), short_length), folder))
          return "";
      }
      std::size_t separator = folder.find_last_of("\\/");
      return separator == std::string::npos ? "" : folder.substr(0, separator + 1);
    }
    path.resize(path.size() * 2);
  }
}

std::string Resolve(const std::string& program) {
  if (program.find_first_of("\\/:") != std::string::npos) return ExistingProgram(program);
  std::vector<std::string> folders{OwnFolder()};
  DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (size > 0) {
    std::vector<wchar_t> wide(size);
    DWORD length = GetEnvironmentVariableW(L"PATH", wide.data(), size);
    // A folder the code page cannot hold comes out with "?" and is simply not found.
    std::string path;
    FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(wide.data()), length), path);
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

    std::u16string program_wide = Wide(program);
    std::u16string arguments = Wide(command_line);  // CreateProcess may write into its command line
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Null standard handles: the program writes nowhere of ours and holds nothing of ours open.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = nullptr;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(W(program_wide), reinterpret_cast<wchar_t*>(arguments.data()), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS, nullptr, nullptr, &startup, &process)) {
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
