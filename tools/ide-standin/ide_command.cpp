// Reading the IDE's DDE commands: see ide_command.h.
#include "ide_command.h"

#include <filesystem>

#include "platform/code_page.h"

namespace ide_standin {
namespace {

struct CommandShape {
  const char* name;
  IdeCommandKind kind;
  std::size_t arguments;
  bool writes_second_argument;
};

constexpr CommandShape kCommands[] = {
    {"ExecuteProject", IdeCommandKind::kExecuteProject, 1, false},
    {"ExportApp", IdeCommandKind::kExportApp, 3, true},
    {"ImportApp", IdeCommandKind::kImportApp, 4, true},
    {"ImportDCT", IdeCommandKind::kImportDct, 3, true},
    {"ExportDCT", IdeCommandKind::kExportDct, 3, true},
};

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (platform::FoldUpper(a[i]) != platform::FoldUpper(b[i])) {
      return false;
    }
  }
  return true;
}

bool FileExistsIgnoringCase(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path file(path);
  if (fs::is_regular_file(file, error)) return true;
  fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::string name = file.filename().string();
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (EqualsIgnoringCase(it->path().filename().string(), name) && it->is_regular_file(error)) return true;
  }
  return false;
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
  std::size_t separator = path.find_last_of("\\/");
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return path + extension;
  }
  return path.substr(0, dot) + extension;
}

std::optional<IdeCommand> ParseIdeCommand(const std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos || text.front() != '[' || text[end] != ']') return std::nullopt;
  std::size_t open = text.find('(');
  if (open == std::string::npos || end < 2 || text[end - 1] != ')' || open > end - 1) return std::nullopt;
  std::string name = text.substr(1, open - 1);
  std::string inside = text.substr(open + 1, end - 1 - (open + 1));

  const CommandShape* shape = nullptr;
  for (const CommandShape& candidate : kCommands) {
    if (EqualsIgnoringCase(name, candidate.name)) shape = &candidate;
  }
  if (shape == nullptr) return std::nullopt;

  IdeCommand command;
  command.kind = shape->kind;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = inside.find(',', start);
    command.arguments.push_back(inside.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (command.arguments.size() != shape->arguments || command.arguments[0].empty()) return std::nullopt;
  command.input = command.arguments[0];
  if (shape->writes_second_argument) {
    if (command.arguments[1].empty()) return std::nullopt;
    command.output = command.arguments[1];
  }
  return command;
}

}  // namespace ide_standin
