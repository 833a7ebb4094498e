// report-sample FILE: writes the HTML report of a made-up nightly batch to FILE, for the README's
// screenshot (scripts/report-screenshot.sh). Twenty applications over three IDEs, two of them not
// made and one much slower than last time; every time is invented, none is measured.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "console/html_report.h"
#include "store/last_results.h"

namespace {

struct SampleApp {
  const char* folder;  // in the records' code page (Windows-1252)
  const char* application;
  std::int64_t hundredths;
  std::int64_t last;  // -1: never made before
  ide::Outcome outcome = ide::Outcome::kMade;
  std::uint16_t ide_error = 0;
  const char* ide_text = "";
  const char* detail = "";
};

// The libraries first (one IDE makes them while the others take the programs), then the rest.
const SampleApp kApps[] = {
    {"C:\\Apps\\Common\\", "CORELIB.APP", 4120, 3980},
    {"C:\\Apps\\Common\\", "REPORTS.APP", 2710, 2650},
    {"C:\\Apps\\Sales\\", "INVOICE.APP", 8830, 8610},
    {"C:\\Apps\\Sales\\", "QUOTES.APP", 3560, 3490},
    {"C:\\Apps\\Sales\\", "CUSTOMER.APP", 13020, 6100},  // much longer than last time
    {"C:\\Apps\\Stock & Orders\\", "STOCK.APP", 6240, 6330},
    {"C:\\Apps\\Stock & Orders\\", "ORDERS.APP", 1180, 5020, ide::Outcome::kFailed, 3, "Project has 3 errors",
     "IDE refused the command: Project has 3 errors"},
    {"C:\\Apps\\Stock & Orders\\", "PICKING.APP", 4410, 4370},
    {"C:\\Apps\\Caf\xE9 <Kitchen>\\", "MENU.APP", 2290, 2310},
    {"C:\\Apps\\Caf\xE9 <Kitchen>\\", "TILL.APP", 5370, 5120},
    {"C:\\Apps\\Payroll\\", "PAYROLL.APP", 9640, 9420},
    {"C:\\Apps\\Payroll\\", "TIMESHT.APP", 3020, 3150},
    {"C:\\Apps\\Payroll\\", "HOLIDAYS.APP", 12, 2410, ide::Outcome::kNotFound, 0, "",
     "Input file not found: C:\\Apps\\Payroll\\HOLIDAYS.APP"},
    {"C:\\Apps\\Fleet\\", "VEHICLES.APP", 4870, 4790},
    {"C:\\Apps\\Fleet\\", "SERVICE.APP", 3330, 3380},
    {"C:\\Apps\\Fleet\\", "FUEL.APP", 1960, -1},
    {"C:\\Apps\\Members\\", "MEMBERS.APP", 7050, 6920},
    {"C:\\Apps\\Members\\", "RENEWALS.APP", 2580, 2640},
    {"C:\\Apps\\Members\\", "\"QUICK\".APP", 1440, 1400},
    {"C:\\Apps\\Archive\\", "ARCHIVE.APP", 5610, 5560},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: report-sample FILE\n";
    return 2;
  }
  // Three IDEs take the applications as a pool does: the IDE that comes free first takes the first
  // application left whose folder has none at work; one that is not found is never sent to an IDE.
  constexpr std::array<std::uint32_t, 3> kProcesses = {412, 1876, 2240};
  std::array<std::int64_t, 3> free_at = {0, 0, 0};
  std::map<std::string, std::int64_t> folder_free_at;
  console::BatchReport report{.operation = ide::Operation::MakeExe};
  report.started = {.date = platform::DayNumber(2026, 12, 8), .time = (2 * 3600 + 15 * 60) * 100};
  std::vector<bool> taken(std::size(kApps), false);
  for (std::size_t left = std::size(kApps); left > 0;) {
    const auto ide = static_cast<std::size_t>(std::min_element(free_at.begin(), free_at.end()) - free_at.begin());
    const std::int64_t now = free_at[ide];
    std::size_t i = 0;
    while (i < std::size(kApps) && (taken[i] || folder_free_at[kApps[i].folder] > now)) ++i;
    if (i == std::size(kApps)) {  // every folder left is at work: this IDE waits for the first to end
      std::int64_t next = INT64_MAX;
      for (std::size_t j = 0; j < std::size(kApps); ++j)
        if (!taken[j]) next = std::min(next, folder_free_at[kApps[j].folder]);
      free_at[ide] = next;
      continue;
    }
    const SampleApp& app = kApps[i];
    taken[i] = true;
    --left;
    ide::ApplicationOutcome outcome;
    outcome.position = static_cast<int>(i) + 1;
    outcome.folder = app.folder;
    outcome.application = app.application;
    outcome.outcome = app.outcome;
    outcome.ide_error_number = app.ide_error;
    outcome.ide_error_text = app.ide_text;
    outcome.detail = app.detail;
    outcome.hundredths = app.hundredths;
    outcome.offset = now;
    if (app.outcome != ide::Outcome::kNotFound) {
      outcome.ide_process = kProcesses[ide];
      free_at[ide] = now + app.hundredths + 40;  // the next command follows a moment later
      folder_free_at[app.folder] = free_at[ide];
    }
    if (app.last >= 0) report.last_hundredths[store::LastResultKey(app.folder, app.application)] = app.last;
    report.outcomes.push_back(outcome);
  }
  // A batch tells its outcomes in the list's order.
  std::sort(report.outcomes.begin(), report.outcomes.end(),
            [](const ide::ApplicationOutcome& a, const ide::ApplicationOutcome& b) { return a.position < b.position; });
  report.batch_hundredths = *std::max_element(free_at.begin(), free_at.end()) + 25;
  return console::WriteHtmlReport(argv[1], report, std::cerr) ? 0 : 2;
}
