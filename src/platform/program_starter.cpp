// What every program starter shares: splitting a command line into its parts.
#include "platform/program_starter.h"

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::vector<std::string> parts;
  std::string part;
  bool in_part = false;
  bool quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_part = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_part) parts.push_back(part);
      part.clear();
      in_part = false;
    } else {
      part += c;
      in_part = true;
    }
  }
  if (in_part) parts.push_back(part);
  return parts;
}

std::vector<std::string> SearchFolders(const std::string& path_list, char list_separator, char folder_separator) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path_list.find(list_separator, start);
    std::string folder = path_list.substr(start, end - start);
    if (!folder.empty()) {
      if (folder.back() != folder_separator && folder.back() != '/') folder += folder_separator;
      folders.push_back(folder);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return folders;
}

}  // namespace platform
