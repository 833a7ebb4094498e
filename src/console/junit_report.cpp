// The batch's JUnit report, and its durations read back: see junit_report.h.
#include "console/junit_report.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "console/console_command.h"
#include "console/xml_text.h"
#include "platform/code_page.h"
#include "platform/time_text.h"
#include "store/last_results.h"

namespace console {
namespace {

// What a case's output says of the path its record holds, when people know it by another.
constexpr std::string_view kStoredAs = "Stored as ";

std::string Seconds(std::int64_t hundredths) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(hundredths) / 100.0);
  return text;
}

// An attribute's value with its references replaced; nullopt for a reference XML does not know.
std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const std::size_t end = text.find(';', i);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view name = text.substr(i + 1, end - i - 1);
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      const std::string digits(name.substr(hex ? 2 : 1));
      if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos ||
          digits.size() > 8)
        return std::nullopt;
      const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
      if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
      platform::AppendUtf8(out, static_cast<char32_t>(code));
    } else {
      return std::nullopt;
    }
    i = end;
  }
  return out;
}

// Seconds as written in a report ("12", "3.5", "0.07") in hundredths, rounded; nullopt otherwise.
std::optional<std::int64_t> Hundredths(std::string_view seconds) {
  const std::size_t point = seconds.find('.');
  const std::string_view whole = seconds.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : seconds.substr(point + 1);
  if (whole.empty() || whole.size() > 12 || whole.find_first_not_of("0123456789") != std::string_view::npos ||
      fraction.find_first_not_of("0123456789") != std::string_view::npos ||
      (point != std::string_view::npos && fraction.empty()))
    return std::nullopt;
  std::int64_t value = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  std::int64_t cents = 0;
  for (std::size_t i = 0; i < 3; ++i) cents = cents * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return value * 100 + (cents + 5) / 10;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// A start tag's name and attributes.
struct Tag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  const std::string* Get(std::string_view attribute) const {
    for (const auto& [key, value] : attributes)
      if (key == attribute) return &value;
    return nullptr;
  }
};

class Reader {
 public:
  Reader(std::string_view xml, std::map<std::string, std::int64_t>& hundredths)
      : xml_(xml), hundredths_(hundredths) {}

  // Empty when the report was read; otherwise why not.
  std::string Read() {
    if (xml_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
    std::vector<std::string> open;
    bool root_seen = false;
    while (pos_ < xml_.size()) {
      if (xml_[pos_] != '<') {
        if (open.empty() && !std::isspace(static_cast<unsigned char>(xml_[pos_])))
          return Where() + "text outside the report's element";
        if (in_case_ && !open.empty() && open.back() == "system-out") output_ += xml_[pos_];
        ++pos_;
        continue;
      }
      if (Skip("<?", "?>") || Skip("<!--", "-->") || Skip("<![CDATA[", "]]>") || Skip("<!DOCTYPE", ">")) {
        if (!error_.empty()) return error_;
        continue;
      }
      if (xml_.substr(pos_).starts_with("</")) {
        const std::size_t end = xml_.find('>', pos_);
        if (end == std::string_view::npos) return Where() + "an end tag is not closed";
        std::string name(xml_.substr(pos_ + 2, end - pos_ - 2));
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
        if (open.empty() || open.back() != name) return Where() + "</" + name + "> closes no open element";
        open.pop_back();
        if (name == "testcase") EndCase();
        pos_ = end + 1;
        continue;
      }
      Tag tag;
      bool empty = false;
      if (!StartTag(tag, empty)) return error_;
      if (open.empty()) {
        if (root_seen) return Where() + "a second element after the report's end";
        if (tag.name != "testsuite" && tag.name != "testsuites")
          return "not a JUnit report: its element is <" + tag.name + ">, not <testsuite> or <testsuites>";
        root_seen = true;
      }
      if (tag.name == "testcase") {
        if (in_case_) return Where() + "a test case inside a test case";
        if (!BeginCase(tag)) return error_;
      } else if (in_case_ && tag.name == "skipped") {
        ran_ = false;
      } else if (in_case_ && tag.name == "failure") {
        const std::string* type = tag.Get("type");
        if (type != nullptr && (*type == "not reached" || *type == "skipped")) ran_ = false;
      }
      if (empty) {
        if (tag.name == "testcase") EndCase();
      } else {
        open.push_back(tag.name);
      }
    }
    if (!root_seen) return "not a JUnit report: it holds no element";
    if (!open.empty()) return "cut short: <" + open.back() + "> is not closed";
    return "";
  }

 private:
  std::string Where() const {
    std::size_t line = 1;
    for (std::size_t i = 0; i < pos_ && i < xml_.size(); ++i) line += xml_[i] == '\n';
    return "line " + std::to_string(line) + ": ";
  }

  // Past a construct from `begin` to `end` when one starts here; error_ set when it is not ended.
  bool Skip(std::string_view begin, std::string_view end) {
    if (!xml_.substr(pos_).starts_with(begin)) return false;
    const std::size_t found = xml_.find(end, pos_ + begin.size());
    if (found == std::string_view::npos) {
      error_ = Where() + std::string(begin) + " is not ended";
      pos_ = xml_.size();
      return true;
    }
    pos_ = found + end.size();
    return true;
  }

  bool StartTag(Tag& tag, bool& empty) {
    std::size_t i = pos_ + 1;
    while (i < xml_.size() && IsNameChar(xml_[i])) tag.name += xml_[i++];
    if (tag.name.empty()) return Fail("a \"<\" that starts no element");
    for (;;) {
      while (i < xml_.size() && std::isspace(static_cast<unsigned char>(xml_[i]))) ++i;
      if (i >= xml_.size()) return Fail("<" + tag.name + " is not closed");
      if (xml_[i] == '>') break;
      if (xml_.substr(i).starts_with("/>")) {
        empty = true;
        ++i;
        break;
      }
      std::string attribute;
      while (i < xml_.size() && IsNameChar(xml_[i])) attribute += xml_[i++];
      while (i < xml_.size() && std::isspace(static_cast<unsigned char>(xml_[i]))) ++i;
      if (attribute.empty() || i >= xml_.size() || xml_[i] != '=') return Fail("a malformed attribute in <" + tag.name + ">");
      ++i;
      while (i < xml_.size() && std::isspace(static_cast<unsigned char>(xml_[i]))) ++i;
      if (i >= xml_.size() || (xml_[i] != '"' && xml_[i] != '\'')) return Fail("an attribute's value is not quoted");
      const char quote = xml_[i];
      const std::size_t close = xml_.find(quote, i + 1);
      if (close == std::string_view::npos) return Fail("an attribute's value is not closed");
      const std::string_view raw = xml_.substr(i + 1, close - i - 1);
      if (raw.find('<') != std::string_view::npos) return Fail("a \"<\" inside an attribute's value");
      std::optional<std::string> value = Unescaped(raw);
      if (!value) return Fail("an unknown reference (&...;) in an attribute's value");
      tag.attributes.emplace_back(attribute, *value);
      i = close + 1;
    }
    pos_ = i + 1;
    return true;
  }

  bool BeginCase(const Tag& tag) {
    in_case_ = true;
    ran_ = true;
    name_.reset();
    time_.reset();
    output_.clear();
    if (const std::string* name = tag.Get("name")) name_ = *name;
    if (const std::string* time = tag.Get("time")) {
      time_ = Hundredths(*time);
      if (!time_) return Fail("the time \"" + *time + "\" of a test case is not a number of seconds");
    }
    return true;
  }

  void EndCase() {
    in_case_ = false;
    if (!ran_ || !name_ || !time_) return;
    std::vector<std::string> names = {*name_};
    std::istringstream lines(Unescaped(output_).value_or(""));
    for (std::string line; std::getline(lines, line);)
      if (line.starts_with(kStoredAs)) names.push_back(line.substr(kStoredAs.size()));
    for (const std::string& name : names) {
      std::string in_code_page;
      if (platform::FromUtf8(name, in_code_page))  // else it names no application of ours
        hundredths_[store::LastResultKey("", in_code_page)] = *time_;
    }
  }

  bool Fail(const std::string& why) {
    error_ = Where() + why;
    return false;
  }

  std::string_view xml_;
  std::map<std::string, std::int64_t>& hundredths_;
  std::size_t pos_ = 0;
  std::string error_;
  bool in_case_ = false;
  bool ran_ = true;
  std::optional<std::string> name_;
  std::optional<std::int64_t> time_;
  std::string output_;  // the case's system-out, as written
};

}  // namespace

std::string JUnitReport(const BatchReport& report) {
  const std::string operation = OperationName(report.operation);
  std::string cases;
  int failures = 0;
  for (const ide::ApplicationOutcome& outcome : report.outcomes) {
    std::string body;
    if (outcome.outcome == ide::Outcome::kUpToDate) {
      body += "    <skipped message=\"" + XmlEscaped(outcome.detail) + "\"/>\n";
    } else if (!ide::CountsAsMade(outcome.outcome)) {
      ++failures;
      const std::string ide_error = IdeErrorText(outcome);
      body += "    <failure type=\"" + std::string(ide::OutcomeName(outcome.outcome)) + "\" message=\"" +
              XmlEscaped(WhyNotMade(outcome)) + "\"" + (ide_error.empty() ? "/>\n" : ">" + XmlEscaped(ide_error) + "</failure>\n");
    }
    // Which IDE it went to, where the batch's IDEs are told apart by process, and the path the
    // record holds, where people know it by another.
    std::string output;
    if (outcome.ide_process != 0 && !NeverSent(outcome))
      output += "Sent to the IDE of process " + std::to_string(outcome.ide_process) + "\n";
    const std::string stored = outcome.folder + outcome.application;
    if (outcome.ShownPath() != stored) output += std::string(kStoredAs) + XmlEscaped(stored) + "\n";
    if (!output.empty()) body += "    <system-out>" + output + "</system-out>\n";
    cases += "  <testcase classname=\"nightjar." + operation + "\" name=\"" + XmlEscaped(outcome.ShownPath()) +
             "\" time=\"" + Seconds(outcome.hundredths) + "\"" + (body.empty() ? "/>\n" : ">\n" + body + "  </testcase>\n");
  }
  // When the batch began, in ISO 8601 as the format has it; left out for a clock out of range.
  const std::string began = platform::IsoMomentText(report.started);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"nightjar " + operation +
                    "\" tests=\"" + std::to_string(report.outcomes.size()) + "\" failures=\"" +
                    std::to_string(failures) + "\" errors=\"0\" time=\"" + Seconds(report.batch_hundredths) + "\"" +
                    (began.empty() ? "" : " timestamp=\"" + began + "\"") + ">\n" + cases;
  if (!report.log_failure.empty())
    xml += "  <system-err>A record of the activity log could not be written: " + XmlEscaped(report.log_failure) +
           "</system-err>\n";
  return xml + "</testsuite>\n";
}

bool WriteJUnitReport(const std::string& file_name, const BatchReport& report, std::ostream& err) {
  return WriteReportFile(file_name, JUnitReport(report), "JUnit report", err);
}

bool ParseJUnitTimings(std::string_view xml, std::map<std::string, std::int64_t>& hundredths, std::string& error) {
  std::map<std::string, std::int64_t> read;
  error = Reader(xml, read).Read();
  if (!error.empty()) return false;
  hundredths = std::move(read);
  return true;
}

bool ReadJUnitTimings(const std::string& file_name, std::map<std::string, std::int64_t>& hundredths,
                      std::string& error) {
  std::ifstream in(std::filesystem::path(file_name), std::ios::binary);
  if (!in) {
    error = "The timings file " + file_name + " could not be opened: " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "The timings file " + file_name + " could not be read: " + std::strerror(errno);
    return false;
  }
  if (!ParseJUnitTimings(text.str(), hundredths, error)) {
    error = "The timings file " + file_name + " is not a report nightjar can read: " + error;
    return false;
  }
  return true;
}

}  // namespace console
