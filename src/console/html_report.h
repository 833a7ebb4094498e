// The batch's report as one self-contained HTML page (`nightjar run ... --html FILE`): a summary,
// the failures first with the IDE's text, a timeline with one lane per IDE, the applications that
// took much longer than last time, and every chosen application; for a part of the list with
// nothing in it (an empty shard), a page that says so. No script, font or image from elsewhere
// (inline CSS and SVG), and well-formed XML as well as HTML, so any viewer shows it as it is.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "console/batch_report.h"
#include "store/last_results.h"

namespace console {

// An application took much longer than last time when it took at least kMuchLongerRatio times
// its last time and kMuchLongerMargin (hundredths) more: the ratio alone would flag a 2 s make
// that took 4 s, the margin alone every long make's ordinary spread.
inline constexpr double kMuchLongerRatio = 1.5;
inline constexpr std::int64_t kMuchLongerMargin = 3000;
bool MuchLonger(std::int64_t hundredths, std::int64_t last_hundredths);

// The last made times of `kept` (store::LastResults::ReadAll's map): a time of a result that was
// not "made" tells how soon it failed, not how long a make takes, so it is left out.
std::map<std::string, std::int64_t> LastMadeTimes(const std::map<std::string, store::LastResult>& kept);

// The page, in UTF-8; every text of the records is converted from the code page and escaped.
std::string HtmlReport(const BatchReport& report);

// Writes the page to `file_name`; false with the reason told on `err` when it could not be written.
bool WriteHtmlReport(const std::string& file_name, const BatchReport& report, std::ostream& err);

}  // namespace console
