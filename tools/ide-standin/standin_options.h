// The settings of ide-standin: read from its settings file (ide-standin.ini, or CW20.ini when it
// runs as CW20.exe) and then from its command line, which wins. Portable, so that the native tests
// check the reading; see README.md for the meaning of each setting.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct Options {
  int write_delay_ms = 1000;    // from acknowledgement to result file...
  bool write_at_ack = false;    // ...or written inside the command, just before its acknowledgement:
                                // with ack_delay_ms as the make's time, an IDE that makes inside the
                                // DDE call
  int write_slowly_ms = 0;      // take this long to write a result file, holding it open meanwhile
  bool refuse = false;          // refuse every command...
  std::string refuse_containing;  // ...or, when set, each command that holds this text...
  int error_number = 1;         // ...answering GetErrorNum with this...
  std::string error_message = "Command refused by the IDE stand-in";  // ...and GetErrorMsg with this
  int ack_delay_ms = 0;         // stay busy this long before acknowledging...
  int ack_delay_from = 1;       // ...starting with this command (counted from 1)...
  int ack_delay_commands = 0;   // ...and this many commands from there (0: every one from there)
  int busy_commands = 0;        // answer the first this many commands "busy" without carrying them out
  bool never_write = false;     // acknowledge, but never write a result file
  bool quit_command = false;    // "[Quit]" ends the stand-in
  std::string log;              // file that records what the stand-in receives and does
  int startup_delay_ms = 0;     // wait this long before offering the DDE service
  int die_at_command = 0;       // not 0: this command (counted from 1) is the last; once answered...
  int die_after_ms = 0;         // ...the process ends this much later, abruptly, as a crash would
  int end_at_command = 0;       // not 0: this command (counted from 1) is never answered; the stand-in
                                // ends its conversation instead, and stays up
};

// Sets `key` to `value`. Returns false, with a reason in `error`, for an unknown key or a value
// that does not fit it (numbers are decimal and not negative; error_number at most 65535; flags
// are 0 or 1).
bool ApplyOption(Options& options, const std::string& key, const std::string& value, std::string& error);

// Settings text: one "key=value" a line; blanks around key and value, empty lines, comment lines
// (";" or "#") and "[section]" lines are ignored. Reasons for lines that were not taken are added to
// `errors`; the other lines still count.
void ReadSettings(const std::string& text, Options& options, std::vector<std::string>& errors);

// Command-line parts "--key=value", or "--key" for a flag set to 1.
void ReadArguments(const std::vector<std::string>& arguments, Options& options, std::vector<std::string>& errors);

}  // namespace standin
