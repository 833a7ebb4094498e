// What the console's reports of a batch share: see batch_report.h.
#include "console/batch_report.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace console {

bool NeverSent(const ide::ApplicationOutcome& outcome) {
  using ide::Outcome;
  return outcome.outcome == Outcome::kNotFound || outcome.outcome == Outcome::kSkipped ||
         outcome.outcome == Outcome::kUpToDate;
}

std::string WhyNotMade(const ide::ApplicationOutcome& outcome) {
  return outcome.outcome == ide::Outcome::kNotReached ? "Not processed: the batch ended before it" : outcome.detail;
}

std::string IdeErrorText(const ide::ApplicationOutcome& outcome) {
  if (outcome.ide_error_number == 0 && outcome.ide_error_text.empty()) return "";
  return "IDE error " + std::to_string(outcome.ide_error_number) + ": " + outcome.ide_error_text;
}

bool WriteReportFile(const std::string& file_name, const std::string& text, const char* what, std::ostream& err) {
  errno = 0;
  std::ofstream out(std::filesystem::path(file_name), std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  err << "The " << what << " could not be written to " << file_name;
  if (errno != 0) err << ": " << std::strerror(errno);
  err << ".\n";
  return false;
}

}  // namespace console
