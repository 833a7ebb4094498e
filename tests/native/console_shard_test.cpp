// The console's shards: `list --shard` and `run --shard` over a fresh folder, the numbered
// applications' first stage, bad K/N and timings files that send nothing; the JUnit report of ours
// and the times read back from it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "console/junit_report.h"
#include "console_folder.h"
#include "platform/directory_lister.h"
#include "store/last_results.h"

namespace {

namespace fs = std::filesystem;

class ConsoleShardTest : public ConsoleFolderTest {
 protected:
  platform::DirectoryLister& Lister() override { return *lister_; }

  // An application NAME in the folder `folder` (made when new), added to the list and tagged.
  std::string Add(const std::string& folder, const std::string& name) {
    fs::create_directories(folder_ / folder);
    const std::string path = (folder_ / folder / name).string();
    std::ofstream(path) << "x";
    EXPECT_EQ(Nightjar({"add", path}), 0) << err_.str();
    EXPECT_EQ(Nightjar({"tag", path}), 0) << err_.str();
    return path;
  }

  // The applications `list --shard` printed (the text after the tag's column), in order.
  std::vector<std::string> Listed() const {
    std::vector<std::string> apps;
    std::istringstream lines(out_.str());
    for (std::string line; std::getline(lines, line);)
      if (auto at = line.find(folder_.string()); at != std::string::npos) apps.push_back(line.substr(at));
    return apps;
  }

  static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
  static bool Has(const std::ostringstream& stream, const std::string& part) { return Has(stream.str(), part); }

  std::string Read(const std::string& file) const {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
};

// Seven applications in four folders (one folder named in two letter cases), two of them
// numbered: every shard of many splits lists its own, each once, each folder whole, the numbered
// ones first on shard 1; a run of a shard sends only those, and its report holds only those.
TEST_F(ConsoleShardTest, ShardsTakeEachApplicationOnceAndARunSendsOnlyItsOwn) {
  std::vector<std::string> all = {Add("lib", "CORE.APP"), Add("lib", "UTIL.APP"), Add("sales", "INV.APP"),
                                  Add("sales", "ORDERS.APP"), Add("stock", "ITEMS.APP"), Add("hr", "STAFF.APP"),
                                  Add("hr", "PAY.APP")};
  ASSERT_EQ(Nightjar({"order", "UTIL.APP", "1"}), 0);
  ASSERT_EQ(Nightjar({"order", "INV.APP", "2"}), 0);
  for (int total = 1; total <= 6; ++total) {
    std::multiset<std::string> seen;
    std::map<std::string, int> shard_of_folder;
    for (int k = 1; k <= total; ++k) {
      const std::string shard = std::to_string(k) + "/" + std::to_string(total);
      ASSERT_EQ(Nightjar({"list", "--shard", shard}), 0) << err_.str();
      EXPECT_TRUE(out_.str().starts_with("shard " + std::to_string(k) + " of " + std::to_string(total) + ": "))
          << out_.str();
      if (!Listed().empty()) {
        EXPECT_TRUE(Has(out_, "no times known yet")) << out_.str();
      }
      std::vector<std::string> listed = Listed();
      if (k == 1) {
        ASSERT_GE(listed.size(), 2u) << out_.str();
        EXPECT_EQ(listed[0], all[1]);  // UTIL, numbered 1
        EXPECT_EQ(listed[1], all[2]);  // INV, numbered 2, though its folder may go elsewhere
      }
      for (const std::string& app : listed) {
        seen.insert(app);
        if (app == all[1] || app == all[2]) continue;
        const std::string folder = fs::path(app).parent_path().string();
        auto [it, fresh] = shard_of_folder.emplace(folder, k);
        EXPECT_EQ(it->second, k) << folder << " split over shards of " << total;
      }
    }
    EXPECT_EQ(seen, std::multiset<std::string>(all.begin(), all.end())) << total << " shards";
  }

  ASSERT_EQ(Nightjar({"list", "--shard", "2/3"}), 0);
  const std::vector<std::string> second = Listed();
  ASSERT_FALSE(second.empty());
  ASSERT_EQ(Nightjar({"run", "make-exe", "--shard", "2/3", "--junit", "shard.xml"}), 0) << err_.str();
  EXPECT_TRUE(Has(err_, "shard 2 of 3: " + std::to_string(second.size()) + " application")) << err_.str();
  ASSERT_EQ(ide_.Commands().size(), second.size());
  for (std::size_t i = 0; i < second.size(); ++i)
    EXPECT_NE(ide_.Commands()[i].find(second[i].substr(0, second[i].size() - 4)), std::string::npos)
        << ide_.Commands()[i];
  const std::string report = Read("shard.xml");
  EXPECT_TRUE(Has(report, "tests=\"" + std::to_string(second.size()) + "\"")) << report;
  for (const std::string& app : all) EXPECT_EQ(Has(report, "name=\"" + app + "\""), std::count(second.begin(), second.end(), app) == 1) << app;
}

// The first stage makes only the numbered applications, in order; the second all but them. A
// shard with nothing in it ends at once, passing, with a report of no test case and a page that
// says the shard held nothing.
TEST_F(ConsoleShardTest, TheNumberedStageTheRestAndAnEmptyShard) {
  const std::string a = Add("one", "A.APP"), b = Add("one", "B.APP"), c = Add("two", "C.APP");
  ASSERT_EQ(Nightjar({"order", "C.APP", "1"}), 0);
  ASSERT_EQ(Nightjar({"order", "B.APP", "2"}), 0);
  ASSERT_EQ(Nightjar({"run", "make-exe", "--ordered-only"}), 0) << err_.str();
  ASSERT_EQ(ide_.Commands().size(), 2u);
  EXPECT_NE(ide_.Commands()[0].find(c.substr(0, c.size() - 4)), std::string::npos);
  EXPECT_NE(ide_.Commands()[1].find(b.substr(0, b.size() - 4)), std::string::npos);
  ASSERT_EQ(Nightjar({"run", "make-exe", "--skip-ordered", "--shard", "1/1"}), 0) << err_.str();
  ASSERT_EQ(ide_.Commands().size(), 3u);
  EXPECT_NE(ide_.Commands()[2].find(a.substr(0, a.size() - 4)), std::string::npos);

  // Two folders, three shards: the third has none of them, and the IDE is not even asked.
  const int attempts = ide_.ConnectAttempts();
  ASSERT_EQ(Nightjar({"run", "make-exe", "--skip-ordered", "--shard", "3/3", "--junit", "empty.xml", "--html",
                      "empty.html"}),
            0);
  EXPECT_EQ(ide_.ConnectAttempts(), attempts);
  EXPECT_TRUE(Has(err_, "shard 3 of 3, without the numbered applications: 0 applications")) << err_.str();
  EXPECT_TRUE(Has(Read("empty.xml"), "tests=\"0\"")) << Read("empty.xml");
  EXPECT_TRUE(Has(Read("empty.html"), "Nothing to make in shard 3 of 3, without the numbered applications</p>"))
      << Read("empty.html");
}

TEST_F(ConsoleShardTest, BadShardsAndTimingsSendNothing) {
  Add("one", "A.APP");
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
           {"run", "make-exe", "--shard", "0/3"},
           {"run", "make-exe", "--shard", "4/3"},
           {"run", "make-exe", "--shard", "1/1001"},
           {"run", "make-exe", "--shard", "two"},
           {"run", "make-exe", "--shard"},
           {"run", "make-exe", "--shard", "1/2", "--ordered-only"},
           {"run", "make-exe", "--ordered-only", "--skip-ordered"},
           {"run", "make-exe", "--timings", "t.xml"},
           {"list", "--shard", "3/2"},
           {"list", "--shard", "1/2", "--by-order"},
           {"list", "--all"},
       }) {
    auto parsed = console::ParseCommand(bad);
    EXPECT_FALSE(parsed.command) << bad.back();
    EXPECT_FALSE(parsed.error.empty()) << bad.back();
  }

  // "auto" with none of the CI's variables set, and with one out of range.
  const char* names[] = {"CI_NODE_INDEX", "CI_NODE_TOTAL", "CIRCLE_NODE_INDEX", "CIRCLE_NODE_TOTAL",
                         "BUILDKITE_PARALLEL_JOB", "BUILDKITE_PARALLEL_JOB_COUNT", "SYSTEM_JOBPOSITIONINPHASE",
                         "SYSTEM_TOTALJOBSINPHASE"};
  std::map<std::string, std::string> saved;
  for (const char* name : names)
    if (const char* value = std::getenv(name)) saved[name] = value;
  for (const char* name : names) unsetenv(name);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--shard", "auto"}), 2);
  EXPECT_TRUE(Has(err_, "none of the CI's variables is set")) << err_.str();
  setenv("CIRCLE_NODE_INDEX", "2", 1);
  setenv("CIRCLE_NODE_TOTAL", "2", 1);
  EXPECT_EQ(Nightjar({"run", "make-exe", "--shard", "auto"}), 2);
  EXPECT_TRUE(Has(err_, "does not exist; nothing was sent")) << err_.str();
  setenv("CIRCLE_NODE_INDEX", "0", 1);
  EXPECT_EQ(Nightjar({"list", "--shard", "auto"}), 0) << err_.str();
  EXPECT_TRUE(out_.str().starts_with("shard 1 of 2: 1 application")) << out_.str();
  for (const char* name : names) unsetenv(name);
  for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);

  EXPECT_EQ(Nightjar({"run", "make-exe", "--shard", "1/2", "--timings", "missing.xml"}), 2);
  EXPECT_TRUE(Has(err_, "missing.xml could not be opened")) << err_.str();
  std::ofstream("bad.xml") << "<testsuite><testcase name=\"x\" time=\"fast\"/></testsuite>";
  EXPECT_EQ(Nightjar({"run", "make-exe", "--shard", "1/2", "--timings", "bad.xml"}), 2);
  EXPECT_TRUE(Has(err_, "bad.xml is not a report nightjar can read")) << err_.str();
  EXPECT_TRUE(ide_.Commands().empty());
}

// A report of ours read back: each case's time under its application's key, letter case folded,
// names with "&" and letters beyond ASCII included; a report's times steer the split.
TEST_F(ConsoleShardTest, TimingsFromAnEarlierReportOfOurs) {
  const std::string plain = Add("one", "A.APP");
  const std::string ampersand = Add("R&D", "B.APP");
  fs::create_directories(folder_ / "Caf\xC3\xA9");
  std::ofstream(folder_ / "Caf\xC3\xA9" / "C.APP") << "x";
  ASSERT_EQ(Nightjar({"add", (folder_ / "Caf\xE9" / "C.APP").string()}), 0) << err_.str();  // as arguments come
  ide_.SetResultDelay(250);
  ASSERT_EQ(Nightjar({"run", "make-exe", "--all", "--junit", "all.xml"}), 0) << err_.str();
  std::map<std::string, std::int64_t> times;
  std::string error;
  ASSERT_TRUE(console::ReadJUnitTimings("all.xml", times, error)) << error;
  ASSERT_EQ(times.size(), 3u) << Read("all.xml");
  const std::string cafe = (folder_ / "Caf\xE9").string() + "/";  // as the record holds it
  // The report's times (the application in "Café" is seen made by the batch's 10-second look).
  const std::map<std::string, std::int64_t> expected = {{store::LastResultKey("", plain), 250},
                                                        {store::LastResultKey("", ampersand), 250},
                                                        {store::LastResultKey(cafe, "C.APP"), 1000}};
  EXPECT_EQ(times, expected) << Read("all.xml");

  // Times from two reports, the later one's winning: A known long, B unknown (the median of the
  // known: A's and C's).
  std::ofstream("t1.xml") << "<testsuite><testcase name=\"" << plain << "\" time=\"50\"/></testsuite>";
  std::ofstream("t.xml") << "<?xml version=\"1.0\"?>\n<testsuites><testsuite name=\"x\">\n"
                         << "  <testcase name=\"" << plain << "\" time=\"100.00\"/>\n"
                         << "  <testcase name=\"" << (folder_ / "Caf\xC3\xA9").string()
                         << "/c.app\" time=\"20\"><failure type=\"failed\"/></testcase>\n"
                         << "</testsuite></testsuites>\n";
  ASSERT_EQ(Nightjar({"list", "--shard", "1/1", "--all", "--timings", "t1.xml", "--timings", "t.xml"}), 0) << err_.str();
  EXPECT_TRUE(Has(out_, "1:40  -  * " + plain)) << out_.str();
  EXPECT_TRUE(Has(out_, "1:40~ -  * " + ampersand)) << out_.str();
  EXPECT_TRUE(Has(out_, " 0:20  -    " + cafe)) << out_.str();
  EXPECT_TRUE(Has(out_, "expected 3:40")) << out_.str();
}

TEST(JUnitTimings, ReadsCasesThatRanAndRefusesWhatIsNoReport) {
  std::map<std::string, std::int64_t> times;
  std::string error;
  ASSERT_TRUE(console::ParseJUnitTimings(
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- ours --><testsuite>"
      "<testcase name='C:\\A\\x&amp;y.app' time=\"1.234\"/>"
      "<testcase name=\"C:\\A\\&#xC9;T&#201;.APP\" time=\"2\"/>"
      "<testcase name=\"C:\\A\\UP.APP\" time=\"0.00\"><skipped message=\"Up to date\"/></testcase>"
      "<testcase name=\"C:\\A\\LATE.APP\" time=\"0.00\"><failure type=\"not reached\"/></testcase>"
      "<testcase name=\"C:\\A\\BAD.APP\" time=\"4.5\"><failure type=\"failed\">x &lt; y</failure></testcase>"
      "<testcase name=\"C:\\A\\X&amp;Y.APP\" time=\"3\"/>"
      "<testcase name=\"C:\\A\\\xE4\xB8\xAD.APP\" time=\"3\"/>"
      "<system-err><![CDATA[<not a tag>]]></system-err></testsuite>\n",
      times, error))
      << error;
  const std::map<std::string, std::int64_t> expected = {
      {"C:\\A\\X&Y.APP", 300}, {"C:\\A\\\xC9T\xC9.APP", 200}, {"C:\\A\\BAD.APP", 450}};
  EXPECT_EQ(times, expected);

  for (const char* bad : {"", "plain text", "<html></html>", "<testsuite>", "<testsuite></testcase>",
                          "<testsuite><testcase name=\"a\" time=\"-1\"/></testsuite>",
                          "<testsuite><testcase name=\"a\" time=\"1,5\"/></testsuite>",
                          "<testsuite><testcase name=\"a&bogus;\" time=\"1\"/></testsuite>",
                          "<testsuite><testcase name=a time=\"1\"/></testsuite>",
                          "<testsuite/><testsuite/>", "<testsuite><!-- open </testsuite>"}) {
    std::map<std::string, std::int64_t> none;
    EXPECT_FALSE(console::ParseJUnitTimings(bad, none, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace

namespace {

// A pooled batch's report: each case named by the path people know, its output naming the IDE it
// went to and the path its record holds, none for an application never sent; valid against the
// schema (a test case holds only what strict readers take). Read back, a time is found under the
// long path and under the stored one, so old reports and new both steer the split.
TEST(JUnitReport, NamesTheShownPathKeepsTheStoredOneAndStrictReadersTakeIt) {
  auto told = [](std::string folder, std::string application, ide::Outcome outcome, std::uint32_t process) {
    ide::ApplicationOutcome one;
    one.folder = std::move(folder);
    one.application = std::move(application);
    one.outcome = outcome;
    one.ide_process = process;
    one.hundredths = 1234;
    one.detail = "what the log said";
    return one;
  };
  console::BatchReport report{.log_failure = "disk full"};
  report.outcomes = {told("C:\\DEV\\SALE~KF2\\", "CAMP~NSY.APP", ide::Outcome::kMade, 71),
                     told("C:\\B\\", "REFUSED.APP", ide::Outcome::kFailed, 72),
                     told("C:\\B\\", "GONE.APP", ide::Outcome::kNotFound, 72),
                     told("C:\\C\\", "FRESH.APP", ide::Outcome::kUpToDate, 0),
                     told("C:\\C\\", "LATE.APP", ide::Outcome::kNotReached, 0)};
  report.outcomes[0].long_path = "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP";
  report.outcomes[1].ide_error_number = 7;
  const std::string xml = console::JUnitReport(report);
  EXPECT_NE(xml.find("name=\"C:\\Dev\\Sales &amp; Marketing\\CampaignTracker.APP\" time=\"12.34\">\n    <system-out>"
                     "Sent to the IDE of process 71\nStored as C:\\DEV\\SALE~KF2\\CAMP~NSY.APP\n</system-out>"),
            std::string::npos)
      << xml;
  EXPECT_NE(xml.find("name=\"C:\\B\\GONE.APP\" time=\"12.34\">\n    <failure type=\"not found\" message=\"what the log "
                     "said\"/>\n  </testcase>"),
            std::string::npos)
      << xml;

  std::ofstream("pooled.xml", std::ios::binary) << xml;
  const auto schema = std::filesystem::path(__FILE__).parent_path().parent_path() / "windows" / "console" / "junit.xsd";
  EXPECT_EQ(std::system(("xmllint --noout --schema '" + schema.string() + "' pooled.xml").c_str()), 0)
      << "xmllint (libxml2-utils) refused the report:\n" << xml;

  std::map<std::string, std::int64_t> times;
  std::string error;
  ASSERT_TRUE(console::ParseJUnitTimings(xml, times, error)) << error;
  EXPECT_EQ(times[store::LastResultKey("C:\\DEV\\SALE~KF2\\", "CAMP~NSY.APP")], 1234);
  EXPECT_EQ(times[store::LastResultKey("", "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP")], 1234);
}

}  // namespace
