// The batch's report as one self-contained HTML page: see html_report.h.
#include "console/html_report.h"


#include <algorithm>
#include <cstdio>

#include "console/console_command.h"
#include "console/xml_text.h"
#include "ide/batch_plan.h"
#include "platform/directory_lister.h"
#include "platform/time_text.h"

namespace console {
namespace {

// The timeline's drawing, in the SVG's own units (it scales to the page's width).
constexpr int kWidth = 1000;
constexpr int kLaneLabel = 120;  // the lanes' names, left of the bars
constexpr int kPlotWidth = kWidth - kLaneLabel - 16;
constexpr int kAxisHeight = 22;
constexpr int kLaneHeight = 30;
constexpr int kBarHeight = 22;
constexpr double kCharWidth = 6.4;  // about one character of the bars' 11-unit sans-serif text

struct Shade {
  const char* fill;
  const char* text;  // the text drawn on it
};
Shade ShadeOf(ide::Outcome outcome) {
  switch (outcome) {
    case ide::Outcome::kMade: return {"#2e7d32", "#ffffff"};
    case ide::Outcome::kFailed: return {"#c62828", "#ffffff"};
    case ide::Outcome::kNotFound: return {"#ad1457", "#ffffff"};
    case ide::Outcome::kTimedOut: return {"#e65100", "#ffffff"};
    case ide::Outcome::kStopped: return {"#6a1b9a", "#ffffff"};
    case ide::Outcome::kSkipped: return {"#78909c", "#ffffff"};
    case ide::Outcome::kNotReached: return {"#cfd8dc", "#263238"};
    case ide::Outcome::kUpToDate: return {"#a5d6a7", "#1b5e20"};
  }
  return {"#9e9e9e", "#000000"};
}

// One number by a printf format of one conversion.
std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// People's text of a moment or a duration in an HTML <time> that holds its ISO 8601 form for
// machines; the text alone where there is none (a moment out of range, a negative duration).
std::string Timed(const std::string& iso, const std::string& shown) {
  return iso.empty() ? shown : "<time datetime=\"" + iso + "\">" + shown + "</time>";
}

// "<time datetime="2026-12-08T01:00:00">12/8/26 1:00AM</time>", the system's short date and time.
std::string When(platform::Moment moment) {
  return Timed(platform::IsoMomentText(moment), XmlEscaped(platform::MomentText(moment)));
}

// "<time datetime="PT37.90S">0:37</time>".
std::string Took(std::int64_t hundredths) {
  return Timed(platform::IsoDurationText(hundredths), platform::DurationText(hundredths));
}

std::string Number(double value) { return Format("%.1f", value); }

// The application's last made time, or -1 when it has none.
std::int64_t LastTime(const BatchReport& report, const ide::ApplicationOutcome& outcome) {
  auto found = report.last_hundredths.find(store::LastResultKey(outcome.folder, outcome.application));
  return found == report.last_hundredths.end() ? -1 : found->second;
}

bool TookMuchLonger(const BatchReport& report, const ide::ApplicationOutcome& outcome) {
  const std::int64_t last = LastTime(report, outcome);
  return last >= 0 && outcome.outcome != ide::Outcome::kNotReached && MuchLonger(outcome.hundredths, last);
}

// "1:40, last 0:58" (what a bar's tooltip and the tables say of its time).
std::string TimeAgainstLast(const BatchReport& report, const ide::ApplicationOutcome& outcome) {
  const std::int64_t last = LastTime(report, outcome);
  return ide::DurationText(outcome.hundredths) + (last >= 0 ? ", last " + ide::DurationText(last) : ", no last time");
}

// The path people know, its folder greyed ("C:\Dev\Sales\"), its name ("Quotes.APP") in bold where
// it must stand out.
std::string PathShown(const ide::ApplicationOutcome& outcome, bool bold) {
  std::string folder, name;
  platform::SplitFolder(outcome.ShownPath(), folder, name);
  return "<span class=\"folder\">" + XmlEscaped(folder) + "</span>" +
         (bold ? "<strong>" + XmlEscaped(name) + "</strong>" : XmlEscaped(name));
}

std::string Badge(ide::Outcome outcome) {
  const Shade shade = ShadeOf(outcome);
  return std::string("<span class=\"badge\" style=\"background:") + shade.fill + ";color:" + shade.text + "\">" +
         ide::OutcomeName(outcome) + "</span>";
}

// The IDEs the batch sent to, in the order it first sent to each: one lane each, named "IDE" when
// there is one, "IDE 1", "IDE 2"... when several. Applications sent to none (not found, skipped, up
// to date) have a lane of their own below them; those not reached have no bar.
struct Lanes {
  std::vector<std::uint32_t> processes;  // 0: an IDE the batch could not tell apart by process
  bool unsent = false;

  explicit Lanes(const std::vector<ide::ApplicationOutcome>& outcomes) {
    for (const ide::ApplicationOutcome& outcome : outcomes) {
      if (outcome.outcome == ide::Outcome::kNotReached) continue;
      if (NeverSent(outcome)) unsent = true;
      else if (std::find(processes.begin(), processes.end(), outcome.ide_process) == processes.end())
        processes.push_back(outcome.ide_process);
    }
  }
  int Count() const { return std::max(1, static_cast<int>(processes.size()) + (unsent ? 1 : 0)); }
  int Of(const ide::ApplicationOutcome& outcome) const {
    auto found = std::find(processes.begin(), processes.end(), outcome.ide_process);
    return NeverSent(outcome) ? static_cast<int>(processes.size()) : static_cast<int>(found - processes.begin());
  }
  std::string Name(int lane) const {
    if (lane >= static_cast<int>(processes.size())) return "not sent";
    return processes.size() == 1 ? "IDE" : "IDE " + std::to_string(lane + 1);
  }
  // Under the name: the process, so that a lane can be matched to the IDE's window or log.
  std::string Detail(int lane) const {
    if (lane < static_cast<int>(processes.size()) && processes[lane] != 0)
      return "process " + std::to_string(processes[lane]);
    return "";
  }
};

// A step of the time axis that gives it at most about ten ticks.
std::int64_t AxisStep(std::int64_t total) {
  constexpr std::int64_t kSteps[] = {100,    200,    500,    1000,   1500,    3000,    6000,    12000,
                                     30000,  60000,  90000,  180000, 360000,  720000, 1440000, 2880000};
  for (std::int64_t step : kSteps)
    if (total / step <= 10) return step;
  return total / 10 + 1;
}

// As much of code-page `text` as fits in `width` units, cut with an ellipsis, escaped; "" when not
// even a few characters fit. Cut before escaping: in the code page a byte is a character, and an
// entity is never split.
std::string Fitted(std::string_view text, double width) {
  const auto fits = static_cast<std::size_t>(std::max(0.0, (width - 8) / kCharWidth));
  if (text.size() <= fits) return XmlEscaped(text);
  if (fits < 4) return "";
  return XmlEscaped(std::string(text.substr(0, fits - 1)) + "\x85");  // the code page's ellipsis
}

std::string Timeline(const BatchReport& report) {
  const Lanes lanes(report.outcomes);
  std::int64_t total = std::max<std::int64_t>(report.batch_hundredths, 1);
  for (const ide::ApplicationOutcome& outcome : report.outcomes)
    total = std::max(total, outcome.offset + outcome.hundredths);
  const double scale = static_cast<double>(kPlotWidth) / static_cast<double>(total);
  const int height = kAxisHeight + lanes.Count() * kLaneHeight + 6;

  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"timeline\" viewBox=\"0 0 " +
                    std::to_string(kWidth) + " " + std::to_string(height) + "\" role=\"img\" aria-label=\"Timeline of " +
                    "the batch, one lane per IDE\">\n";
  // The lanes' backgrounds and names.
  for (int lane = 0; lane < lanes.Count(); ++lane) {
    const int y = kAxisHeight + lane * kLaneHeight;
    svg += "<rect class=\"lane\" x=\"0\" y=\"" + std::to_string(y) + "\" width=\"" + std::to_string(kWidth) +
           "\" height=\"" + std::to_string(kLaneHeight) + "\" fill=\"" + (lane % 2 == 0 ? "#f5f7f8" : "#eceff1") +
           "\"/>\n";
    const std::string detail = lanes.Detail(lane);
    svg += "<text class=\"lane-name\" x=\"6\" y=\"" + std::to_string(y + (detail.empty() ? 19 : 14)) + "\">" +
           lanes.Name(lane) + "</text>\n";
    if (!detail.empty())
      svg += "<text class=\"lane-detail\" x=\"6\" y=\"" + std::to_string(y + 26) + "\">" + detail + "</text>\n";
  }
  // The time axis: a tick and its time every step, a faint line down through the lanes.
  const std::int64_t step = AxisStep(total);
  for (std::int64_t at = 0; at <= total; at += step) {
    const double x = kLaneLabel + static_cast<double>(at) * scale;
    svg += "<line class=\"tick\" x1=\"" + Number(x) + "\" y1=\"" + std::to_string(kAxisHeight - 4) + "\" x2=\"" +
           Number(x) + "\" y2=\"" + std::to_string(height - 6) + "\"/>\n";
    svg += "<text class=\"axis\" x=\"" + Number(x) + "\" y=\"" + std::to_string(kAxisHeight - 8) + "\">" +
           ide::DurationText(at) + "</text>\n";
  }
  // The bars: an application that never started (not reached) has none.
  for (const ide::ApplicationOutcome& outcome : report.outcomes) {
    if (outcome.outcome == ide::Outcome::kNotReached) continue;
    const Shade shade = ShadeOf(outcome.outcome);
    const bool slow = TookMuchLonger(report, outcome);
    const double x = kLaneLabel + static_cast<double>(outcome.offset) * scale;
    const double width = std::max(3.0, static_cast<double>(outcome.hundredths) * scale);
    const int y = kAxisHeight + lanes.Of(outcome) * kLaneHeight + (kLaneHeight - kBarHeight) / 2;
    svg += "<g class=\"bar\"><title>" + XmlEscaped(outcome.ShownPath()) + "\n" +
           ide::OutcomeName(outcome.outcome) + ", " + TimeAgainstLast(report, outcome) +
           (slow ? "\nmuch longer than last time" : "") + "</title>";
    svg += "<rect x=\"" + Number(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" + Number(width) + "\" height=\"" +
           std::to_string(kBarHeight) + "\" rx=\"3\" fill=\"" + shade.fill + "\"" +
           (slow ? " class=\"slow\" stroke=\"#111111\" stroke-width=\"2.5\" stroke-dasharray=\"5 3\"" : "") + "/>";
    // Its name and its time beside its last one, as much as the bar holds.
    const std::int64_t last = LastTime(report, outcome);
    std::string folder, name;
    platform::SplitFolder(outcome.ShownPath(), folder, name);
    const std::string label =
        name + " " + ide::DurationText(outcome.hundredths) + (last >= 0 ? " / " + ide::DurationText(last) : "");
    // A much longer one is marked by a triangle ahead of its name, as wide as two characters.
    std::string text = Fitted(label, slow ? width - 2 * kCharWidth : width);
    if (slow && !text.empty()) text = "&#9650; " + text;
    if (!text.empty())
      svg += "<text class=\"bar-label\" x=\"" + Number(x + 4) + "\" y=\"" + std::to_string(y + 15) + "\" fill=\"" +
             shade.text + "\">" + text + "</text>";
    svg += "</g>\n";
  }
  svg += "</svg>\n";
  return svg;
}

// The outcomes present, each in its colour with its count, and the mark of a much longer time.
std::string Legend(const int (&counts)[ide::kOutcomeCount], int slow) {
  std::string legend = "<p class=\"legend\">";
  for (int i = 0; i < ide::kOutcomeCount; ++i) {
    if (counts[i] == 0) continue;
    const Shade shade = ShadeOf(ide::Outcome(i));
    legend += std::string("<span class=\"key\"><span class=\"swatch\" style=\"background:") + shade.fill +
              "\"></span>" + ide::OutcomeName(ide::Outcome(i)) + " (" + std::to_string(counts[i]) + ")</span> ";
  }
  if (slow > 0)
    legend += "<span class=\"key\"><span class=\"swatch slow-swatch\"></span>much longer than last time (" +
              std::to_string(slow) + ")</span>";
  legend += "</p>\n";
  return legend;
}

constexpr const char* kStyle = R"(
body{font-family:"Segoe UI",Tahoma,"DejaVu Sans",Arial,sans-serif;margin:24px;color:#263238;background:#fff}
h1{font-size:22px;margin:0 0 6px}
h2{font-size:17px;margin:26px 0 8px;border-bottom:1px solid #cfd8dc;padding-bottom:3px}
.status{font-size:15px;font-weight:600;padding:8px 12px;border-radius:4px;display:inline-block}
.status.ok{background:#e8f5e9;color:#1b5e20}
.status.bad{background:#ffebee;color:#b71c1c}
.summary{margin:8px 0}
.note{color:#b71c1c}
.badge{display:inline-block;padding:1px 7px;border-radius:9px;font-size:12px;white-space:nowrap}
.path{word-break:break-all}
.folder{color:#607d8b}
ol.failures{padding-left:22px}
ol.failures li{margin:0 0 10px}
.ide-text{font-family:Consolas,"DejaVu Sans Mono",monospace;background:#fff3e0;padding:3px 6px;margin-top:3px;white-space:pre-wrap;word-break:break-word}
.detail{color:#546e7a;font-size:13px;margin-top:2px}
svg.timeline{width:100%;height:auto;display:block;font-family:"Segoe UI",Tahoma,"DejaVu Sans",Arial,sans-serif}
svg .lane-name{font-size:12px;font-weight:600;fill:#37474f}
svg .lane-detail{font-size:10px;fill:#78909c}
svg .axis{font-size:10px;fill:#78909c;text-anchor:middle}
svg .tick{stroke:#b0bec5;stroke-width:0.5}
svg .bar-label{font-size:11px}
.legend{font-size:13px}
.key{margin-right:14px;white-space:nowrap}
.swatch{display:inline-block;width:12px;height:12px;border-radius:2px;vertical-align:-1px;margin-right:4px}
.slow-swatch{border:2px dashed #111;width:9px;height:9px;background:#fff}
table{border-collapse:collapse;font-size:13px;width:100%}
th,td{text-align:left;padding:4px 8px;border-bottom:1px solid #eceff1;vertical-align:top}
th{background:#eceff1}
td.num{text-align:right;white-space:nowrap}
tr.slow td{background:#fff8e1}
.mark{font-weight:700;color:#e65100;white-space:nowrap}
)";

}  // namespace

bool MuchLonger(std::int64_t hundredths, std::int64_t last_hundredths) {
  if (last_hundredths < 0) return false;
  return static_cast<double>(hundredths) >= kMuchLongerRatio * static_cast<double>(last_hundredths) &&
         hundredths - last_hundredths >= kMuchLongerMargin;
}

std::map<std::string, std::int64_t> LastMadeTimes(const std::map<std::string, store::LastResult>& kept) {
  std::map<std::string, std::int64_t> times;
  for (const auto& [key, result] : kept)
    if (const std::optional<std::int64_t> time = ide::ExpectedTime(result)) times[key] = *time;
  return times;
}

std::string HtmlReport(const BatchReport& report) {
  int counts[ide::kOutcomeCount] = {};
  int failures = 0, slow = 0;
  for (const ide::ApplicationOutcome& outcome : report.outcomes) {
    ++counts[static_cast<int>(outcome.outcome)];
    failures += !ide::CountsAsMade(outcome.outcome);
    slow += TookMuchLonger(report, outcome);
  }
  const int chosen = static_cast<int>(report.outcomes.size());
  const std::string operation = OperationName(report.operation);
  const bool all_made = failures == 0 && report.log_failure.empty();

  std::string status = all_made ? "All " + std::to_string(chosen) + " made"
                                : std::to_string(failures) + " of " + std::to_string(chosen) + " not made";
  // An agent whose shard held nothing still leaves a page, for a CI's publisher to find.
  if (chosen == 0) status = report.part.empty() ? "No application was chosen" : "Nothing to make in " + report.part;
  const std::string heading = "Nightjar " + operation + (report.part.empty() ? "" : ", " + report.part);
  std::string tally;
  for (int i = 0; i < ide::kOutcomeCount; ++i)
    if (counts[i] > 0) tally += (tally.empty() ? "" : ", ") + std::to_string(counts[i]) + " " + ide::OutcomeName(ide::Outcome(i));

  std::string page = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
                     "<meta charset=\"utf-8\"/>\n<title>" + heading + ": " + status + "</title>\n<style>" +
                     kStyle + "</style>\n</head>\n<body>\n";
  page += "<h1>" + heading + "</h1>\n";
  page += std::string("<p class=\"status ") + (all_made ? "ok" : "bad") + "\">" + status + "</p>\n";
  page += "<p class=\"summary\">" + (tally.empty() ? std::string("Nothing") : tally) + ", of " + std::to_string(chosen) +
          "; the batch took " + Took(report.batch_hundredths) + ", started " + When(report.started) + ".</p>\n";
  if (!report.log_failure.empty())
    page += "<p class=\"note\">A record of the activity log could not be written: " + XmlEscaped(report.log_failure) +
            "</p>\n";
  if (!report.last_unread.empty())
    page += "<p class=\"note\">The last times could not be read (" + XmlEscaped(report.last_unread) +
            "), so none is shown and none is compared.</p>\n";

  // The failures first, with what the IDE said.
  if (failures > 0) {
    page += "<h2>Failures (" + std::to_string(failures) + ")</h2>\n<ol class=\"failures\">\n";
    for (const ide::ApplicationOutcome& outcome : report.outcomes) {
      if (ide::CountsAsMade(outcome.outcome)) continue;
      page += "<li><span class=\"path\">" + PathShown(outcome, true) + "</span> " + Badge(outcome.outcome);
      if (const std::string ide_error = IdeErrorText(outcome); !ide_error.empty())
        page += "<div class=\"ide-text\">" + XmlEscaped(ide_error) + "</div>";
      const std::string detail = WhyNotMade(outcome);
      if (!detail.empty() && detail != outcome.ide_error_text)
        page += "<div class=\"detail\">" + XmlEscaped(detail) + "</div>";
      page += "</li>\n";
    }
    page += "</ol>\n";
  }

  if (chosen > 0) {
    page += "<h2>Timeline</h2>\n" + Legend(counts, slow) + Timeline(report);
    page += "<p class=\"detail\">Each bar is one application, placed by when it started and as long as it took, "
            "in the lane of the IDE it was sent to; its tooltip and label give its time and its last time "
            "(the last batch that made it).</p>\n";
  }

  // Much longer than last time, by a rule written on the page.
  const std::string rule = "at least " + Number(kMuchLongerRatio) + " times its last time and " +
                           std::to_string(kMuchLongerMargin / 100) + " s more";
  page += "<h2>Much longer than last time (" + std::to_string(slow) + ")</h2>\n<p>An application is marked when it took " +
          rule + ".</p>\n";
  if (slow > 0) {
    page += "<table>\n<tr><th>Application</th><th>Outcome</th><th>Time</th><th>Last time</th><th>Longer by</th></tr>\n";
    for (const ide::ApplicationOutcome& outcome : report.outcomes) {
      if (!TookMuchLonger(report, outcome)) continue;
      const std::int64_t last = LastTime(report, outcome);
      page += "<tr class=\"slow\"><td class=\"path\">" + XmlEscaped(outcome.ShownPath()) + "</td><td>" +
              Badge(outcome.outcome) + "</td><td class=\"num\">" + Took(outcome.hundredths) +
              "</td><td class=\"num\">" + Took(last) + "</td><td class=\"num\">" + Took(outcome.hundredths - last) +
              (last > 0 ? " (" + Number(static_cast<double>(outcome.hundredths) / static_cast<double>(last)) + "&#215;)"
                        : std::string()) +
              "</td></tr>\n";
    }
    page += "</table>\n";
  }

  // Every chosen application, in the batch's order.
  const Lanes lanes(report.outcomes);
  page += "<h2>Applications (" + std::to_string(chosen) + ")</h2>\n";
  page += "<table>\n<tr><th>#</th><th>Application</th><th>Outcome</th><th>IDE</th><th>Start</th><th>Time</th>"
          "<th>Last time</th><th></th></tr>\n";
  for (const ide::ApplicationOutcome& outcome : report.outcomes) {
    const bool marked = TookMuchLonger(report, outcome);
    const std::int64_t last = LastTime(report, outcome);
    const bool ran = outcome.outcome != ide::Outcome::kNotReached;
    page += std::string("<tr") + (marked ? " class=\"slow\"" : "") + "><td class=\"num\">" +
            std::to_string(outcome.position) + "</td><td class=\"path\">" + PathShown(outcome, false) + "</td><td>" +
            Badge(outcome.outcome) + "</td><td>" + (ran ? lanes.Name(lanes.Of(outcome)) : std::string()) +
            "</td><td class=\"num\">" + (ran ? Took(outcome.offset) : std::string()) +
            "</td><td class=\"num\">" + (ran ? Took(outcome.hundredths) : std::string()) +
            "</td><td class=\"num\">" + (last >= 0 ? Took(last) : std::string()) + "</td><td>" +
            (marked ? "<span class=\"mark\">much longer</span>" : "") + "</td></tr>\n";
  }
  page += "</table>\n</body>\n</html>\n";
  return page;
}

bool WriteHtmlReport(const std::string& file_name, const BatchReport& report, std::ostream& err) {
  return WriteReportFile(file_name, HtmlReport(report), "HTML report", err);
}

}  // namespace console
