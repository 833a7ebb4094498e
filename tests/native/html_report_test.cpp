// The batch's HTML report: the page is parsed by a real XML parser (Python's, as a browser's strict
// XHTML mode would), and what the parser reads back is checked: every application named as the
// records hold it, the failures ahead of the rest, a lane per IDE, the much longer ones marked.
// Then `run --html` through the console, as nightjar.com writes it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "console/html_report.h"
#include "console_folder.h"
#include "platform/code_page.h"
#include "store/last_results.h"
#include "store/store_test_support.h"

namespace {

namespace fs = std::filesystem;

// What the parser read of the page, one record a line: its sections' headings in order, the
// failures' items, the table rows, the timeline's lanes, lane names and bars.
constexpr const char* kReader = R"(import sys, xml.etree.ElementTree as E
X = '{http://www.w3.org/1999/xhtml}'
S = '{http://www.w3.org/2000/svg}'
root = E.parse(sys.argv[1]).getroot()
out = open(sys.argv[2], 'w', encoding='utf-8')
def line(*fields):
    out.write('\t'.join(str(f).replace('\n', ' ').replace('\t', ' ') for f in fields) + '\n')
def text(e):
    return ''.join(e.itertext())
body = root.find(X + 'body')
for e in body.iter():
    if e.tag == X + 'h2': line('section', text(e))
    if e.tag == X + 'li': line('failure', text(e))
    if e.tag == X + 'tr' and e.findall(X + 'td'):
        line('row', e.get('class', ''), '|'.join(text(td) for td in e.findall(X + 'td')))
    if e.tag == S + 'rect' and e.get('class') == 'lane': line('lane', e.get('y'), e.get('height'))
    if e.tag == S + 'text' and e.get('class') in ('lane-name', 'lane-detail'): line(e.get('class'), e.get('y'), text(e))
    if e.tag == S + 'g' and e.get('class') == 'bar':
        rect = e.find(S + 'rect')
        line('bar', rect.get('y'), rect.get('class', ''), text(e.find(S + 'title')))
)";

struct Parsed {
  bool ok = false;
  std::string error;
  std::vector<std::vector<std::string>> records;  // each: kind, fields...

  std::vector<std::vector<std::string>> Of(const std::string& kind) const {
    std::vector<std::vector<std::string>> found;
    for (const auto& record : records)
      if (record[0] == kind) found.push_back(record);
    return found;
  }
  // The name and process of the lane a bar at `y` is drawn in.
  std::string LaneAt(double y) const {
    std::string name;
    for (const auto& lane : Of("lane")) {
      const double top = std::stod(lane[1]), bottom = top + std::stod(lane[2]);
      if (y < top || y >= bottom) continue;
      for (const auto& label : records)
        if ((label[0] == "lane-name" || label[0] == "lane-detail") && std::stod(label[1]) >= top &&
            std::stod(label[1]) < bottom)
          name += (name.empty() ? "" : " ") + label[2];
    }
    return name;
  }
  std::size_t SectionIndex(const std::string& start) const {
    const auto sections = Of("section");
    for (std::size_t i = 0; i < sections.size(); ++i)
      if (sections[i][1].starts_with(start)) return i;
    return sections.size();
  }
};

Parsed Parse(const std::string& page) {
  Parsed parsed;
  std::ofstream("page.html", std::ios::binary) << page;
  std::ofstream("reader.py") << kReader;
  std::remove("read.txt");
  if (std::system("python3 reader.py page.html read.txt 2> parse-error.txt") != 0) {
    std::ifstream error("parse-error.txt");
    parsed.error = "python3 could not read the page (python3 is needed): " +
                   std::string(std::istreambuf_iterator<char>(error), std::istreambuf_iterator<char>());
    return parsed;
  }
  std::ifstream read("read.txt", std::ios::binary);
  for (std::string line; std::getline(read, line);) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
      fields.push_back(line.substr(from, tab - from));
    fields.push_back(line.substr(from));
    parsed.records.push_back(fields);
  }
  parsed.ok = true;
  return parsed;
}

ide::ApplicationOutcome Outcome(int position, std::string folder, std::string application, ide::Outcome outcome,
                                std::int64_t offset, std::int64_t hundredths, std::uint32_t process) {
  ide::ApplicationOutcome told;
  told.position = position;
  told.folder = std::move(folder);
  told.application = std::move(application);
  told.outcome = outcome;
  told.offset = offset;
  told.hundredths = hundredths;
  told.ide_process = process;
  return told;
}

class HtmlReportTest : public ::testing::Test {
 protected:
  store_test::InFreshDirectory in_folder_;
};

// Names that markup, quotes, the code page's accents and control characters all try to break, in
// narrow bars and wide: the page still parses, and the parser reads every name back as it was.
TEST_F(HtmlReportTest, PageParsesAndNamesEveryApplicationWhateverItsName) {
  const std::string hostile = "C:\\Q&A <tmp> \"new\" 'x' Caf\xE9\\";
  const std::string long_folder = "C:\\" + std::string(96, 'd') + "\\";  // 100 characters
  console::BatchReport report;
  report.started = {.date = platform::DayNumber(2026, 12, 8), .time = 100};
  report.outcomes = {
      Outcome(1, hostile, "A&B<1>.APP", ide::Outcome::kMade, 0, 4000, 7),
      Outcome(2, hostile, "\"Q\".APP", ide::Outcome::kFailed, 4000, 20, 7),
      Outcome(3, long_folder, "\xC9T\xC9.APP", ide::Outcome::kMade, 4020, 9000, 7),
      Outcome(4, long_folder, "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&.APP", ide::Outcome::kMade, 13020, 700, 7),
      Outcome(5, "C:\\X\\", "TAB\x01.APP", ide::Outcome::kNotReached, 13720, 0, 0),
  };
  report.outcomes[1].ide_error_number = 3;
  report.outcomes[1].ide_error_text = "Project has <3> errors & \x01warnings in \"Caf\xE9\"";
  report.outcomes[2].long_path = "C:\\Summer & Autumn\\Sales <2026>.APP";  // shown where it is known
  report.last_hundredths[store::LastResultKey(hostile, "A&B<1>.APP")] = 3900;
  report.log_failure = "disk full <C:>";

  const Parsed page = Parse(console::HtmlReport(report));
  ASSERT_TRUE(page.ok) << page.error;
  const auto rows = page.Of("row");
  ASSERT_EQ(rows.size(), report.outcomes.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string path = report.outcomes[i].ShownPath();
    if (auto at = path.find('\x01'); at != std::string::npos) path.replace(at, 1, "\\x01");  // as on a console
    EXPECT_NE(rows[i][2].find(platform::ToUtf8(path)), std::string::npos) << rows[i][2];
  }
  const auto failures = page.Of("failure");
  ASSERT_EQ(failures.size(), 2u);  // the refusal and the one not reached
  EXPECT_NE(failures[0][1].find(platform::ToUtf8("IDE error 3: Project has <3> errors & \\x01warnings in \"Caf\xE9\"")),
            std::string::npos)
      << failures[0][1];
  // Every bar but the one not reached, each named in its tooltip.
  const auto bars = page.Of("bar");
  ASSERT_EQ(bars.size(), 4u);
  EXPECT_NE(bars[0][3].find(platform::ToUtf8(hostile + "A&B<1>.APP")), std::string::npos) << bars[0][3];
}

// The failures come first, each with the IDE's text; the made ones are not among them.
TEST_F(HtmlReportTest, FailuresComeFirstWithTheIdesText) {
  console::BatchReport report;
  report.outcomes = {
      Outcome(1, "C:\\A\\", "GOOD.APP", ide::Outcome::kMade, 0, 500, 9),
      Outcome(2, "C:\\A\\", "REFUSED.APP", ide::Outcome::kFailed, 500, 100, 9),
      Outcome(3, "C:\\A\\", "LATE.APP", ide::Outcome::kTimedOut, 600, 9000, 9),
      Outcome(4, "C:\\A\\", "FRESH.APP", ide::Outcome::kUpToDate, 9600, 1, 0),
  };
  report.outcomes[1].ide_error_number = 12;
  report.outcomes[1].ide_error_text = "Project has 3 errors";
  report.outcomes[2].detail = "Timed out waiting for LATE.EXE";

  const Parsed page = Parse(console::HtmlReport(report));
  ASSERT_TRUE(page.ok) << page.error;
  const auto failures = page.Of("failure");
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_NE(failures[0][1].find("REFUSED.APP"), std::string::npos);
  EXPECT_NE(failures[0][1].find("IDE error 12: Project has 3 errors"), std::string::npos) << failures[0][1];
  EXPECT_NE(failures[1][1].find("LATE.APP"), std::string::npos);
  EXPECT_NE(failures[1][1].find("Timed out waiting for LATE.EXE"), std::string::npos) << failures[1][1];
  EXPECT_EQ(page.SectionIndex("Failures (2)"), 0u);
  EXPECT_LT(page.SectionIndex("Failures"), page.SectionIndex("Applications (4)"));
  EXPECT_LT(page.SectionIndex("Applications"), page.Of("section").size());

  // With every one made there is no failures section at all.
  report.outcomes.resize(1);
  const Parsed clean = Parse(console::HtmlReport(report));
  ASSERT_TRUE(clean.ok) << clean.error;
  EXPECT_TRUE(clean.Of("failure").empty());
  EXPECT_EQ(clean.SectionIndex("Failures"), clean.Of("section").size());
}

// One lane per IDE, each bar in its IDE's lane; what no IDE was sent has a lane of its own, with
// one IDE (or one not told apart by process) too.
TEST_F(HtmlReportTest, OneLanePerIdeWithEachBarInItsIdesLane) {
  console::BatchReport report;
  report.outcomes = {
      Outcome(1, "C:\\A\\", "ONE.APP", ide::Outcome::kMade, 0, 3000, 301),
      Outcome(2, "C:\\B\\", "TWO.APP", ide::Outcome::kMade, 0, 2000, 502),
      Outcome(3, "C:\\C\\", "THREE.APP", ide::Outcome::kFailed, 10, 500, 703),
      Outcome(4, "C:\\C\\", "GONE.APP", ide::Outcome::kNotFound, 510, 2, 0),
      Outcome(5, "C:\\B\\", "FOUR.APP", ide::Outcome::kMade, 2000, 1500, 502),
  };
  const Parsed page = Parse(console::HtmlReport(report));
  ASSERT_TRUE(page.ok) << page.error;
  EXPECT_EQ(page.Of("lane").size(), 4u);
  const std::map<std::string, std::string> expected = {{"ONE.APP", "IDE 1 process 301"},
                                                       {"TWO.APP", "IDE 2 process 502"},
                                                       {"THREE.APP", "IDE 3 process 703"},
                                                       {"GONE.APP", "not sent"},
                                                       {"FOUR.APP", "IDE 2 process 502"}};
  const auto bars = page.Of("bar");
  ASSERT_EQ(bars.size(), expected.size());
  for (const auto& bar : bars) {
    const std::string name = bar[3].substr(bar[3].rfind('\\') + 1, bar[3].find(' ') - bar[3].rfind('\\') - 1);
    ASSERT_TRUE(expected.count(name)) << bar[3];
    EXPECT_EQ(page.LaneAt(std::stod(bar[1])), expected.at(name)) << bar[3];
  }

  for (std::uint32_t process : {0u, 44u}) {
    for (ide::ApplicationOutcome& outcome : report.outcomes)
      if (outcome.outcome != ide::Outcome::kNotFound) outcome.ide_process = process;
    const Parsed one = Parse(console::HtmlReport(report));
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(one.Of("lane").size(), 2u) << "process " << process;
    for (const auto& bar : one.Of("bar"))
      EXPECT_EQ(one.LaneAt(std::stod(bar[1])).substr(0, 3), bar[3].find("GONE.APP") != std::string::npos ? "not" : "IDE") << bar[3];
  }
}

// Much longer: at least 1.5 times the last made time and 30 s more, both needed; marked in the
// timeline and the table, and those without a last made time never are.
TEST_F(HtmlReportTest, MarksWhatTookMuchLongerThanItsLastMadeTime) {
  EXPECT_TRUE(console::MuchLonger(9000, 6000));    // 1.5 times, 30 s more
  EXPECT_FALSE(console::MuchLonger(8999, 6000));   // just under 1.5 times
  EXPECT_FALSE(console::MuchLonger(4500, 3000));   // 1.5 times, but 15 s more
  EXPECT_TRUE(console::MuchLonger(50000, 30000));  // 1.67 times, 200 s more
  EXPECT_FALSE(console::MuchLonger(50000, 40000));

  // Only a made result's time is a last time: a refusal after 2 s says nothing of a make's length.
  std::map<std::string, store::LastResult> kept;
  kept["MADE"] = {.outcome = "made", .hundredths = 6000};
  kept["FAILED"] = {.outcome = "failed", .hundredths = 200};
  EXPECT_EQ(console::LastMadeTimes(kept), (std::map<std::string, std::int64_t>{{"MADE", 6000}}));

  console::BatchReport report;
  report.outcomes = {
      Outcome(1, "C:\\A\\", "SLOW.APP", ide::Outcome::kMade, 0, 9500, 1),
      Outcome(2, "C:\\A\\", "STEADY.APP", ide::Outcome::kMade, 9500, 6100, 1),
      Outcome(3, "C:\\A\\", "NEW.APP", ide::Outcome::kMade, 15600, 90000, 1),
  };
  report.last_hundredths = {{store::LastResultKey("C:\\A\\", "SLOW.APP"), 6000},
                            {store::LastResultKey("C:\\A\\", "STEADY.APP"), 6000}};
  const Parsed page = Parse(console::HtmlReport(report));
  ASSERT_TRUE(page.ok) << page.error;
  EXPECT_LT(page.SectionIndex("Much longer than last time (1)"), page.SectionIndex("Applications"));
  std::vector<std::string> marked_rows, marked_bars;
  for (const auto& row : page.Of("row"))
    if (row[1] == "slow") marked_rows.push_back(row[2]);
  for (const auto& bar : page.Of("bar"))
    if (bar[2] == "slow") marked_bars.push_back(bar[3]);
  // The section's row and the table's row; the one bar.
  ASSERT_EQ(marked_rows.size(), 2u);
  for (const std::string& row : marked_rows) EXPECT_NE(row.find("SLOW.APP"), std::string::npos) << row;
  EXPECT_NE(marked_rows[1].find("much longer"), std::string::npos) << marked_rows[1];
  ASSERT_EQ(marked_bars.size(), 1u);
  EXPECT_NE(marked_bars[0].find("SLOW.APP made, 1:35, last 1:00"), std::string::npos) << marked_bars[0];
}

class HtmlReportConsoleTest : public ConsoleFolderTest {
 protected:
  HtmlReportConsoleTest() { fs::create_directory(folder_ / "apps"); }
  platform::DirectoryLister& Lister() override { return *lister_; }
  std::string App(const std::string& name) const { return (folder_ / "apps" / name).string(); }

  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
};

// `run --html`: the page is written after the batch, against the times kept before it (the batch
// itself keeps the new ones); a page that cannot be written is no success.
TEST_F(HtmlReportConsoleTest, RunWritesThePageAgainstTheTimesKeptBeforeTheBatch) {
  std::ofstream(App("A.APP")) << "x";
  std::ofstream(App("B.APP")) << "x";
  ASSERT_EQ(Nightjar({"add", (folder_ / "apps" / "*.APP").string()}), 0) << err_.str();
  ide_.SetResultDelay(300);
  ASSERT_EQ(Nightjar({"run", "make-exe", "--all"}), 0) << err_.str();
  ide_.SetResultDelay(5000);
  ASSERT_EQ(Nightjar({"run", "make-exe", "--all", "--html", "nightly.html"}), 0) << err_.str();

  std::ifstream file("nightly.html", std::ios::binary);
  const Parsed page = Parse(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
  ASSERT_TRUE(page.ok) << page.error;
  const auto rows = page.Of("row");
  ASSERT_EQ(rows.size(), 4u);  // two much longer, then both in the table
  EXPECT_NE(rows[2][2].find(App("A.APP")), std::string::npos) << rows[2][2];
  EXPECT_NE(rows[3][2].find(App("B.APP")), std::string::npos) << rows[3][2];
  for (const auto& row : rows) EXPECT_EQ(row[1], "slow") << row[2];

  // Kept times that cannot be read: the page says so and marks nothing, rather than pass for a
  // batch that took as long as ever.
  std::ofstream(store::kLastResultsFile, std::ios::binary | std::ios::trunc) << "not a database";
  Nightjar({"run", "make-exe", "--all", "--html", "nightly.html"});
  std::ifstream again("nightly.html", std::ios::binary);
  const Parsed unread = Parse(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()));
  ASSERT_TRUE(unread.ok) << unread.error;
  EXPECT_EQ(unread.Of("row").size(), 2u);
  for (const auto& row : unread.Of("row")) EXPECT_EQ(row[1], "") << row[2];
  std::ifstream text("nightly.html");
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(text), std::istreambuf_iterator<char>())
                .find("The last times could not be read ("),
            std::string::npos);

  EXPECT_EQ(Nightjar({"run", "make-exe", "--all", "--html", (folder_ / "none" / "r.html").string()}), 2);
  EXPECT_NE(err_.str().find("The HTML report could not be written to"), std::string::npos) << err_.str();
  EXPECT_FALSE(console::ParseCommand({"run", "make-exe", "--html"}).command);
  EXPECT_FALSE(console::ParseCommand({"run", "make-exe", "--html="}).command);
}

}  // namespace
