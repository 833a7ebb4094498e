// Several stations sharing one record file, as real processes: a stress run of stations doing the
// program's operations at random on one APPS file, checked against their journals afterwards, and
// a kill sweep that kills a writer at random moments and checks what it had committed.
//
// The ordinary run (CI's) uses one fixed seed, so that the stations' operations are the same every
// time (their interleaving is the processes' own). NIGHTJAR_STRESS=long runs for minutes instead
// of seconds and NIGHTJAR_STRESS=random a short run; both take a fresh seed. NIGHTJAR_STRESS_SEED=<n>
// repeats a run (the seed is printed with every run). NIGHTJAR_STRESS_REPORT_ONLY=1 prints what was
// lost or misplaced without failing, to gather figures from a store with known faults.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "store_test_support.h"
#include "stress_station.h"

namespace store_test {
namespace {

struct Settings {
  bool long_run = false;
  bool report_only = false;
  std::uint64_t seed = 0;
  int stations = 0;
  int operations = 0;  // per station
  int kills = 0;

  std::string Describe() const {
    return std::string(long_run ? "long run" : "short run (NIGHTJAR_STRESS=long for minutes, =random for a fresh seed)") +
           ", seed " +
           std::to_string(seed) + " (NIGHTJAR_STRESS_SEED)" + (report_only ? ", report only" : "");
  }
};

Settings ReadSettings() {
  Settings s;
  const char* mode = std::getenv("NIGHTJAR_STRESS");
  const char* report = std::getenv("NIGHTJAR_STRESS_REPORT_ONLY");
  const char* seed = std::getenv("NIGHTJAR_STRESS_SEED");
  s.long_run = mode != nullptr && std::string(mode) == "long";
  s.report_only = report != nullptr && std::string(report) == "1";
  constexpr std::uint64_t kFixedSeed = 20261207;
  s.seed = seed != nullptr ? std::strtoull(seed, nullptr, 10)
           : mode == nullptr
               ? kFixedSeed
               : static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) % 1000000007u;
  // A few seconds each natively and under wine; minutes when long.
  s.stations = s.long_run ? 6 : 4;
  s.operations = s.long_run ? 8000 : 500;
  s.kills = s.long_run ? 1500 : 60;
  return s;
}

struct Stored {
  std::string value;  // DriveNPath
  int tag = 0;
};

// The records of APPS.db by Application, read through a fresh process state of this process; the
// code its Open reported, and the Applications held by more than one record (a write that reached
// another record renames it).
std::map<std::string, Stored> StoredRecords(std::int32_t& open_code, std::vector<std::string>& twice) {
  std::map<std::string, Stored> records;
  files::Files reader;
  reader.Apps.Open();
  open_code = reader.store.error.code;
  if (open_code != 0) return records;
  reader.Apps.Set(store::Order::Key);
  for (reader.Apps.Next(); reader.store.error.code == 0; reader.Apps.Next()) {
    const Stored record{reader.APP.DriveNPath.str(), reader.APP.Tag};
    auto [at, added] = records.emplace(reader.APP.Application.str(), record);
    if (!added) twice.push_back(at->first + " holding " + at->second.value + " and " + record.value);
  }
  reader.Apps.Close();
  return records;
}

// What went wrong, by invariant, each case one line.
class Findings {
 public:
  void Add(const std::string& invariant, const std::string& what) { found_[invariant].push_back(what); }
  bool empty() const { return found_.empty(); }
  std::size_t Count(const std::string& invariant) const {
    auto it = found_.find(invariant);
    return it == found_.end() ? 0 : it->second.size();
  }
  // Counts per invariant, then the first few cases of each.
  std::string Describe() const {
    std::string text;
    for (const auto& [invariant, cases] : found_) {
      text += "  " + invariant + ": " + std::to_string(cases.size()) + "\n";
      for (std::size_t i = 0; i < cases.size() && i < 6; ++i) text += "    " + cases[i] + "\n";
    }
    return text;
  }

 private:
  std::map<std::string, std::vector<std::string>> found_;
};

// The invariants of shared use, by which the findings are filed.
constexpr const char* kOpen = "the file opens clean";
constexpr const char* kLostRecord = "a record reported added is missing and nobody reported deleting it";
constexpr const char* kLostWrite = "a write reported done vanished without a reported-done write over it";
constexpr const char* kMisplaced = "a write reported done reached another record than the one meant";
constexpr const char* kStrayRead =
    "a kept position re-read another record than the one it was taken at (as when a deleted record's id is given "
    "to a newer record)";
constexpr const char* kUnreported = "an overwrite of another station's change was not reported (89)";
constexpr const char* kWrongRefusal =
    "89 (changed by another station) reported though nobody changed the record (a record deleted elsewhere is 33)";
constexpr const char* kDeletedBack = "a record reported deleted is in the file";
constexpr const char* kFailedTookEffect = "a write reported failed is in the file";
constexpr const char* kUnknown = "the file holds what no station wrote";
constexpr const char* kKeyOrder = "a browse read records out of key order";
constexpr const char* kWrongTag = "a record's Tag is not the one its last writer wrote";

// Every station's journal, checked against the records stored at the end. Records are named by
// Application (unique and never changed) and every write stamps a value of its own, so the done
// writes of one record must form a single chain from its add, each replacing the value before,
// ending at the value stored. Two done writes replacing the same value are an overwrite the watch
// missed; a done write off the chain was lost.
class Ledger {
 public:
  void Take(int station, const JournalEntry& e) { entries_.push_back({station, e}); }

  void Check(const std::map<std::string, Stored>& stored, Findings& findings) {
    Index(findings);
    for (const auto& [application, record] : stored) CheckStored(application, record, findings);
    for (const auto& [application, value] : add_value_) {
      if (stored.contains(application) || deleted_.contains(application)) continue;
      auto stray = stray_deletes_.find(application);
      findings.Add(kLostRecord, application + " (added by " + Who(*write_of_value_.at(value)) + ")" +
                                    (stray != stray_deletes_.end()
                                         ? ": " + Who(*stray->second) + " meant for " + stray->second->e.intent + " deleted it"
                                         : ""));
    }
    for (const auto& [application, by_pred] : children_)
      for (const auto& [pred, writes] : by_pred)
        if (writes.size() > 1) {
          std::string names;
          for (const Entry* w : writes) names += " " + w->e.value + " (" + Who(*w) + ")";
          findings.Add(kUnreported, "on " + application + ", all reported done over " + pred + ":" + names);
        }
    for (const Entry& x : entries_) CheckRefusal(x, findings);
  }

  struct Count {
    int tried = 0, done = 0, refused = 0, gone = 0, failed = 0, read = 0;
  };
  // Per kind: tried, done, and how the others ended.
  std::map<std::string, Count> Counts() const {
    std::map<std::string, Count> counts;
    for (const Entry& x : entries_) {
      Count& c = counts[x.e.kind];
      ++c.tried;
      if (x.e.kind == "browse") c.read += x.e.result;
      else if (x.e.Done()) ++c.done;
      else if (Refused89(x.e)) ++c.refused;
      else if (x.e.reread == store::kRecordNotAvailable || x.e.result == store::kRecordNotAvailable ||
               (x.e.kind == "change" && x.e.result == 3))
        ++c.gone;
      else ++c.failed;
    }
    return counts;
  }

  // The figures of the run, one line.
  std::string Figures() const {
    std::map<std::string, Count> counts = Counts();
    std::string text;
    for (const char* kind : {"add", "change", "delete", "tag", "browse"}) {
      const Count& c = counts[kind];
      text += std::string(text.empty() ? "" : ", ") + kind + " " + std::to_string(c.tried);
      if (std::string(kind) == "browse") text += " (records read " + std::to_string(c.read) + ")";
      else
        text += " (done " + std::to_string(c.done) + ", 89 " + std::to_string(c.refused) + ", gone " +
                std::to_string(c.gone) + ", failed " + std::to_string(c.failed) + ")";
    }
    return text;
  }

 private:
  struct Entry {
    int station;
    JournalEntry e;
  };
  static std::string Who(const Entry& x) { return "S" + std::to_string(x.station) + "'s " + x.e.kind; }
  static bool IsWrite(const JournalEntry& e) { return e.kind == "change" || e.kind == "tag"; }
  static bool Refused89(const JournalEntry& e) {
    return e.reread == 0 && ((e.kind == "change" && e.result == 2) || (e.kind == "tag" && e.result == 89));
  }

  void Index(Findings& findings) {
    for (const Entry& x : entries_) {
      const JournalEntry& e = x.e;
      if (e.kind == "browse") {
        if (e.after > 0) findings.Add(kKeyOrder, Who(x) + ": " + std::to_string(e.after) + " reads");
        continue;
      }
      if (e.kind == "add") {
        if (e.Done()) add_value_[e.target] = e.value;
        else failed_adds_.insert(e.target);
      }
      if (e.Done() && (e.kind == "add" || IsWrite(e))) write_of_value_[e.value] = &x;
      if (!e.Done() && e.value != "-") failed_values_[e.value] = &x;
      if (e.kind == "add" || e.reread != 0) continue;
      // The re-read by the kept position loaded the record in the buffer: it must be the one meant.
      if (e.target != e.intent)
        findings.Add(e.Done() ? kMisplaced : kStrayRead,
                     Who(x) + " meant for " + e.intent + " reached " + e.target +
                         (e.Done() ? " and was reported done" : " (result " + std::to_string(e.result) + ")"));
      if (!e.Done()) continue;
      // A delete that reached another record does not excuse that record's absence.
      if (e.kind == "delete") (e.target == e.intent ? deleted_ : stray_deletes_)[e.target] = &x;
      else children_[e.target][e.pred].push_back(&x);
    }
  }

  void CheckStored(const std::string& application, const Stored& record, Findings& findings) {
    auto added = add_value_.find(application);
    if (added == add_value_.end()) {
      findings.Add(failed_adds_.contains(application) ? kFailedTookEffect : kUnknown,
                   "record " + application + " holding " + record.value);
      return;
    }
    if (auto d = deleted_.find(application); d != deleted_.end())
      findings.Add(kDeletedBack, application + " (deleted by " + Who(*d->second) + ") holds " + record.value);
    // The chain of done writes from the add to the stored value, walked backwards.
    std::set<const Entry*> on_chain;
    const Entry* last = nullptr;
    for (std::string value = record.value; value != added->second;) {
      auto w = write_of_value_.find(value);
      if (w == write_of_value_.end() || w->second->e.target != application || on_chain.contains(w->second)) {
        const bool failed = failed_values_.contains(value);
        findings.Add(failed                                ? kFailedTookEffect
                     : w != write_of_value_.end()          ? kMisplaced
                                                           : kUnknown,
                     application + " holds " + value +
                         (failed                       ? " of " + Who(*failed_values_.at(value)) + ", reported failed"
                          : w != write_of_value_.end() ? " of " + Who(*w->second) + " written to " + w->second->e.target
                                                       : ""));
        return;
      }
      if (last == nullptr) last = w->second;
      on_chain.insert(w->second);
      value = w->second->e.pred;
    }
    const int written_tag = last != nullptr ? last->e.tag : 0;
    if (record.tag != written_tag)
      findings.Add(kWrongTag, application + " has Tag " + std::to_string(record.tag) + ", its last writer wrote " +
                                  std::to_string(written_tag));
    for (const auto& [pred, writes] : children_[application])
      for (const Entry* w : writes)
        if (!on_chain.contains(w))
          findings.Add(kLostWrite, w->e.value + " (" + Who(*w) + " of " + application + " over " + pred +
                                       "), the file holds " + record.value);
  }

  // A refusal as changed by another station must have a change by another station behind it: a
  // done write over the very value the refused write had read.
  void CheckRefusal(const Entry& x, Findings& findings) {
    if (!Refused89(x.e)) return;
    auto on_record = children_.find(x.e.target);
    if (on_record != children_.end() && on_record->second.contains(x.e.pred)) return;
    auto d = deleted_.find(x.e.target);
    findings.Add(kWrongRefusal, Who(x) + " of " + x.e.target + " over " + x.e.pred +
                                    (d != deleted_.end() ? ": deleted by " + Who(*d->second) + " before"
                                                         : ": nobody changed or deleted it"));
  }

  std::vector<Entry> entries_;
  std::map<std::string, std::string> add_value_;        // done adds: Application -> first value
  std::set<std::string> failed_adds_;
  std::map<std::string, const Entry*> write_of_value_;  // done adds and writes by the value written
  std::map<std::string, const Entry*> failed_values_;   // writes not done, by the value they tried
  std::map<std::string, const Entry*> deleted_;         // done deletes of the record meant
  std::map<std::string, const Entry*> stray_deletes_;   // done deletes that reached another record
  // Done writes by record, then by the value they replaced.
  std::map<std::string, std::map<std::string, std::vector<const Entry*>>> children_;
};

class StressTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    settings_ = ReadSettings();
    files_.Apps.Create();
    ASSERT_EQ(code(), 0) << files_.store.error.text;
  }
  // Prints the run's line; fails on any finding unless only a report was asked for.
  void Conclude(const std::string& run, const std::string& figures, const Findings& findings) {
    std::cout << "[" << run << "] " << settings_.Describe() << ": " << figures << "\n" << findings.Describe();
    if (settings_.report_only) return;
    EXPECT_TRUE(findings.empty()) << run << " broke the store's promise of shared use (" << settings_.Describe()
                                  << "):\n"
                                  << findings.Describe();
  }
  Settings settings_;
};

TEST_F(StressTest, StationsSharingTheAppsFileLoseAndMisplaceNothing) {
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int s = 1; s <= settings_.stations; ++s) {
    stations.push_back(ChildProcess::StartHelper({"stress", std::to_string(s), std::to_string(settings_.seed + s),
                                                  std::to_string(settings_.operations),
                                                  "journal-S" + std::to_string(s) + ".txt"}));
    ASSERT_NE(stations.back(), nullptr);
    ASSERT_EQ(stations.back()->ReadLine(), "ready") << "station " << s;
  }
  for (auto& station : stations) station->WriteLine("go");
  for (std::size_t s = 0; s < stations.size(); ++s) {
    EXPECT_EQ(stations[s]->ReadLine(), "finished") << "station " << s + 1 << ", " << settings_.Describe();
    EXPECT_EQ(stations[s]->Wait(), 0);
  }

  Ledger ledger;
  for (int s = 1; s <= settings_.stations; ++s) {
    std::ifstream journal("journal-S" + std::to_string(s) + ".txt");
    JournalEntry entry;
    for (std::string line; std::getline(journal, line);) {
      ASSERT_TRUE(JournalEntry::Parse(line, entry)) << "station " << s << ": " << line;
      ledger.Take(s, entry);
    }
  }
  // A run that did not get its writes through proves nothing.
  for (const auto& [kind, count] : ledger.Counts())
    EXPECT_GT(kind == "browse" ? count.read : count.done, 0) << kind << ": " << ledger.Figures();

  Findings findings;
  std::int32_t open_code = 0;
  std::vector<std::string> twice;
  const std::map<std::string, Stored> stored = StoredRecords(open_code, twice);
  if (open_code != 0) findings.Add(kOpen, "Open reported " + std::to_string(open_code));
  for (const std::string& record : twice) findings.Add(kMisplaced, "two records named " + record);
  ledger.Check(stored, findings);
  Conclude("stress", std::to_string(settings_.stations) + " stations x " + std::to_string(settings_.operations) +
                         " operations: " + ledger.Figures() + "; kills 0; records stored " +
                         std::to_string(stored.size()) + "; lost " + std::to_string(findings.Count(kLostRecord)) +
                         " records and " + std::to_string(findings.Count(kLostWrite)) + " writes, misplaced " +
                         std::to_string(findings.Count(kMisplaced)) + ", stray re-reads " +
                         std::to_string(findings.Count(kStrayRead)) + ", unreported overwrites " +
                         std::to_string(findings.Count(kUnreported)) + ", wrong 89s " +
                         std::to_string(findings.Count(kWrongRefusal)),
           findings);
}

// One write of the kill sweep's writer: announced before, reported after (or never, when the kill
// came first).
struct Attempt {
  std::string kind, record, value;
  int tag = 0;
};

TEST_F(StressTest, AWriterKilledAtRandomMomentsLosesNoCommittedRecord) {
  std::mt19937_64 random(settings_.seed);
  std::map<std::string, Stored> committed;  // what the writers reported done, as the file must hold it
  Findings findings;
  int reported = 0, in_flight_kills = 0, in_flight_taken = 0, kills = 0, journals_left = 0;
  for (int round = 1; round <= settings_.kills; ++round) {
    auto writer = ChildProcess::StartHelper({"writer", std::to_string(100 + round), std::to_string(settings_.seed + round)});
    ASSERT_NE(writer, nullptr);
    std::optional<Attempt> in_flight;
    auto take = [&](const std::string& line) {
      std::istringstream in(line);
      std::string word;
      in >> word;
      JournalEntry e;
      if (word == "try") {
        Attempt a;
        in >> a.kind >> a.record >> a.value >> a.tag;
        in_flight = a;
      } else if (word == "done" && JournalEntry::Parse(line.substr(5), e)) {
        in_flight.reset();
        if (!e.Done()) return;
        ++reported;
        if (e.kind == "delete") committed.erase(e.target);
        else committed[e.target] = {e.value, e.tag};
      } else {
        findings.Add(kUnknown, "writer " + std::to_string(round) + " said: " + line);
      }
    };
    // Let it run for a random number of its lines and a random moment more, then kill it.
    const int lines = static_cast<int>(random() % 40);
    for (int i = 0; i < lines; ++i) {
      const std::string line = writer->ReadLine();
      if (line.empty()) break;
      take(line);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    writer->Kill();
    ++kills;
    for (std::string line = writer->ReadLine(); !line.empty(); line = writer->ReadLine()) take(line);
    // A journal beside the file: the kill came inside a write, which the next open must roll back.
    journals_left += std::filesystem::exists("APPS.db-journal") ? 1 : 0;

    std::int32_t open_code = 0;
    std::vector<std::string> twice;
    const std::map<std::string, Stored> stored = StoredRecords(open_code, twice);
    for (const std::string& record : twice) findings.Add(kMisplaced, "two records named " + record);
    if (open_code != 0) {
      findings.Add(kOpen, "after kill " + std::to_string(kills) + ": Open reported " + std::to_string(open_code));
      break;
    }
    // The write cut short may have committed or not; anything else must be as reported.
    auto cut_short = [&](const std::string& record) { return in_flight && in_flight->record == record; };
    if (in_flight) {
      ++in_flight_kills;
      auto s = stored.find(in_flight->record);
      const bool taken = in_flight->kind == "delete" ? s == stored.end()
                                                     : s != stored.end() && s->second.value == in_flight->value;
      in_flight_taken += taken ? 1 : 0;
    }
    for (const auto& [application, record] : committed) {
      if (cut_short(application)) continue;
      auto s = stored.find(application);
      if (s == stored.end())
        findings.Add(kLostRecord, application + " missing after kill " + std::to_string(kills));
      else if (s->second.value != record.value || s->second.tag != record.tag)
        findings.Add(kLostWrite, application + " holds " + s->second.value + " after kill " + std::to_string(kills) +
                                     ", reported done: " + record.value);
    }
    for (const auto& [application, record] : stored)
      if (!committed.contains(application) && !cut_short(application))
        findings.Add(kUnknown, application + " holding " + record.value + " after kill " + std::to_string(kills));
    committed = stored;  // go on from what the file holds
  }
  EXPECT_GT(reported, 0) << "the writers got nothing done";
  Conclude("kill sweep",
           "1 writer at a time, kills " + std::to_string(kills) + ", writes reported done " + std::to_string(reported) +
               ", kills during a write " + std::to_string(in_flight_kills) + " (committed after all " +
               std::to_string(in_flight_taken) + ", a journal left behind " + std::to_string(journals_left) +
               "), records at the end " + std::to_string(committed.size()) +
               "; lost " + std::to_string(findings.Count(kLostRecord)) + " records and " +
               std::to_string(findings.Count(kLostWrite)) + " writes, open failures " +
               std::to_string(findings.Count(kOpen)),
           findings);
}

}  // namespace
}  // namespace store_test
