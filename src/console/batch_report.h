// What the console's reports of a batch (the JUnit report, the HTML page) are made from, and the
// texts and rules both tell alike: why an application was not made, what its IDE said, whether it
// was sent to an IDE at all, and how a report's file is written.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "ide/dde_contract.h"
#include "ide/outcome.h"
#include "platform/clock.h"

namespace console {

struct BatchReport {
  ide::Operation operation = ide::Operation::MakeExe;
  std::vector<ide::ApplicationOutcome> outcomes;  // every chosen application, in the batch's order
  std::int64_t batch_hundredths = 0;              // the batch's time
  platform::Moment started{};                     // when it began
  std::string log_failure;                        // why a log record could not be written; ""
  std::string part;  // this agent's part of the list ("shard 2 of 4"); "" when it took the whole
  // How long each application took when it was last made, by store::LastResultKey; those never
  // made have none.
  std::map<std::string, std::int64_t> last_hundredths;
  std::string last_unread;  // why the last times could not be read; "" when they were
};

// Not found, skipped, up to date: no command went to an IDE, whatever IDE the batch had at hand.
bool NeverSent(const ide::ApplicationOutcome& outcome);

// Why it was not made: the log record that ended it, or that the batch ended before it.
std::string WhyNotMade(const ide::ApplicationOutcome& outcome);

// "IDE error 7: Project has errors", the IDE's own refusal; "" when it gave none.
std::string IdeErrorText(const ide::ApplicationOutcome& outcome);

// Writes `text` to `file_name`; false, with "The `what` could not be written to FILE: reason."
// told on `err`, when it could not be.
bool WriteReportFile(const std::string& file_name, const std::string& text, const char* what, std::ostream& err);

}  // namespace console
