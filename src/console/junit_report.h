// The batch's JUnit report (`run --junit FILE`), as strict readers take it (a test case holds only
// skipped, error, failure, system-out and system-err), and its durations read back for `--timings`:
// CI agents seldom share the last results beside APPS, but they keep each other's reports, and a
// report names each application by its full path and tells how long it took.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>

#include "console/batch_report.h"

namespace console {

// One test case per chosen application, in UTF-8: passed when made, skipped when up to date,
// otherwise a failure whose type is the outcome and whose message is the log record that ended it,
// with the IDE's own text. Each case is named by the path people know (the long one where the
// record holds a short one), so that two applications of one file name in two folders stay two
// cases; its output names the IDE's process it went to and the path the record holds, when they
// tell something.
std::string JUnitReport(const BatchReport& report);
// The same, written to `file_name`; false, told on `err`, when it could not be written.
bool WriteJUnitReport(const std::string& file_name, const BatchReport& report, std::ostream& err);

// Each test case's time in hundredths by store::LastResultKey of its name (the application's full
// path, UTF-8 in the report), and also of the path its output says the record holds ("Stored as"),
// so that reports named by the stored paths and by the long ones both match. A case that did not
// run (skipped, or failed as skipped or not reached) tells no duration and is left out, as is a
// name the records' code page cannot hold. When one name comes more than once (reports put
// together), the last one counts. False with `error` set when the text is not a well-formed report
// of test suites, or a time is not a number.
bool ParseJUnitTimings(std::string_view xml, std::map<std::string, std::int64_t>& hundredths, std::string& error);

// The same for the file `file_name`; false with `error` naming the file when it cannot be read.
bool ReadJUnitTimings(const std::string& file_name, std::map<std::string, std::int64_t>& hundredths,
                      std::string& error);

}  // namespace console
