// The durations of an earlier JUnit report of ours (`run --junit`), read back for `--timings`: CI
// agents seldom share the last results beside APPS, but they keep each other's reports, and a
// report names each application by its full path and tells how long it took.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace console {

// Each test case's time in hundredths by store::LastResultKey of its name (the application's full
// path, UTF-8 in the report). A case that did not run (skipped, or failed as skipped or not
// reached) tells no duration and is left out, as is a name the records' code page cannot hold.
// When one name comes more than once (reports put together), the last one counts. False with
// `error` set when the text is not a well-formed report of test suites, or a time is not a number.
bool ParseJUnitTimings(std::string_view xml, std::map<std::string, std::int64_t>& hundredths, std::string& error);

// The same for the file `file_name`; false with `error` naming the file when it cannot be read.
bool ReadJUnitTimings(const std::string& file_name, std::map<std::string, std::int64_t>& hundredths,
                      std::string& error);

}  // namespace console
