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

}  // namespace platform
