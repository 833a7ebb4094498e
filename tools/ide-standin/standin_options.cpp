// Reading ide-standin's settings: see standin_options.h.
#include "standin_options.h"

#include <cctype>
#include <charconv>

namespace standin {
namespace {

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Stores into `number` only a value that fits.
bool ToNumber(const std::string& value, int maximum, int& number) {
  const char* end = value.data() + value.size();
  int parsed = 0;
  auto [stop, status] = std::from_chars(value.data(), end, parsed);
  if (status != std::errc() || stop != end || value.empty() || parsed < 0 || parsed > maximum) return false;
  number = parsed;
  return true;
}

}  // namespace

bool ApplyOption(Options& options, const std::string& key, const std::string& value, std::string& error) {
  struct Number {
    const char* key;
    int Options::*field;
    int maximum;
  };
  static const Number kNumbers[] = {
      {"write_delay_ms", &Options::write_delay_ms, 86400000},
      {"write_slowly_ms", &Options::write_slowly_ms, 86400000},
      {"error_number", &Options::error_number, 65535},
      {"ack_delay_ms", &Options::ack_delay_ms, 86400000},
      {"ack_delay_from", &Options::ack_delay_from, 1000000},
      {"ack_delay_commands", &Options::ack_delay_commands, 1000000},
      {"startup_delay_ms", &Options::startup_delay_ms, 86400000},
      {"busy_commands", &Options::busy_commands, 1000000},
      {"die_at_command", &Options::die_at_command, 1000000},
      {"die_after_ms", &Options::die_after_ms, 86400000},
      {"end_at_command", &Options::end_at_command, 1000000},
  };
  struct Flag {
    const char* key;
    bool Options::*field;
  };
  static const Flag kFlags[] = {
      {"refuse", &Options::refuse},
      {"never_write", &Options::never_write},
      {"quit_command", &Options::quit_command},
      {"write_at_ack", &Options::write_at_ack},
  };

  for (const Number& number : kNumbers) {
    if (key != number.key) continue;
    if (!ToNumber(value, number.maximum, options.*number.field)) {
      error = key + ": not a number from 0 to " + std::to_string(number.maximum) + ": \"" + value + "\"";
      return false;
    }
    return true;
  }
  for (const Flag& flag : kFlags) {
    if (key != flag.key) continue;
    if (value != "0" && value != "1") {
      error = key + ": 0 or 1 expected: \"" + value + "\"";
      return false;
    }
    options.*flag.field = value == "1";
    return true;
  }
  if (key == "refuse_containing") {
    options.refuse_containing = value;
    return true;
  }
  if (key == "error_message") {
    options.error_message = value;
    return true;
  }
  if (key == "log") {
    options.log = value;
    return true;
  }
  error = "unknown setting \"" + key + "\"";
  return false;
}

void ReadSettings(const std::string& text, Options& options, std::vector<std::string>& errors) {
  std::size_t start = 0;
  int line_number = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = Trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    ++line_number;
    start = end == std::string::npos ? text.size() + 1 : end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') continue;
    std::size_t equals = line.find('=');
    std::string error;
    if (equals == std::string::npos) {
      error = "\"key=value\" expected";
    } else if (ApplyOption(options, Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), error)) {
      continue;
    }
    errors.push_back("settings line " + std::to_string(line_number) + ": " + error);
  }
}

void ReadArguments(const std::vector<std::string>& arguments, Options& options, std::vector<std::string>& errors) {
  for (const std::string& argument : arguments) {
    std::string error;
    if (argument.rfind("--", 0) != 0) {
      error = "\"--key=value\" expected";
    } else {
      std::size_t equals = argument.find('=');
      std::string key = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      std::string value = equals == std::string::npos ? "1" : argument.substr(equals + 1);
      if (ApplyOption(options, key, value, error)) continue;
    }
    errors.push_back("argument " + argument + ": " + error);
  }
}

}  // namespace standin
