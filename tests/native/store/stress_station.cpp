// A station of the stress run and the kill sweep: its own process state (Files), a headless runtime
// that answers the warnings the guarded procedures show, and a page of kept positions as the list
// keeps them between a browse and the user's next action.
#include "stress_station.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "files/change_guard.h"
#include "files/files.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"

namespace store_test {

std::string JournalEntry::Format() const {
  // A blank field (a record read back with a blank Application) must not shift the others.
  auto field = [](const std::string& text) { return text.empty() ? std::string("?") : text; };
  std::ostringstream line;
  line << kind << ' ' << field(intent) << ' ' << field(target) << ' ' << field(pred) << ' ' << field(value) << ' '
       << tag << ' ' << reread << ' ' << result << ' ' << after;
  return line.str();
}

bool JournalEntry::Parse(const std::string& line, JournalEntry& entry) {
  std::istringstream in(line);
  JournalEntry e;
  if (!(in >> e.kind >> e.intent >> e.target >> e.pred >> e.value >> e.tag >> e.reread >> e.result >> e.after))
    return false;
  entry = e;
  return true;
}

namespace {

constexpr std::size_t kPageRows = 20;  // a page of the list

void Say(const std::string& line) { std::cout << line << std::endl; }

// A position kept from a browse read or an add, with the record it was taken at.
struct Row {
  store::RecordPosition position;
  std::string application;
};

class Station {
 public:
  Station(int number, std::uint64_t seed) : number_(number), random_(seed) {}

  // Called with each finished operation, and before each write with its kind, record and value.
  std::function<void(const JournalEntry&)> journal;
  std::function<void(const JournalEntry&)> before_write;

  bool Open() {
    files_.Apps.Open();
    if (code() != 0) return false;
    view_.Open();
    return code() == 0;
  }
  int code() const { return files_.store.error.code; }
  int Random(int n) { return static_cast<int>(random_() % static_cast<std::uint64_t>(n)); }
  bool PageEmpty() const { return page_.empty(); }
  Row PickRow() { return page_[static_cast<std::size_t>(Random(static_cast<int>(page_.size())))]; }

  void Add() {
    JournalEntry e;
    e.kind = "add";
    e.intent = e.target = "S" + std::to_string(number_) + "N" + std::to_string(++adds_);
    e.value = NextValue();
    files_.APP.Clear();
    files_.APP.Application = e.target;
    files_.APP.DriveNPath = e.value;
    before_write(e);
    files_.Apps.Add();
    e.result = code();
    if (e.result == 0) Keep({files_.Apps.Position(store::Order::Key), e.target});
    journal(e);
  }

  // A page read as the list fills one: from the start or from a key value, some records forward.
  void Browse() {
    JournalEntry e;
    e.kind = "browse";
    // Half the pages from the start of the file, so that stations often hold the same records.
    if (Random(2) == 0) {
      view_.Set();
    } else {
      files_.APP.Clear();
      files_.APP.DriveNPath = "S" + std::to_string(1 + Random(4));
      view_.SetToKeyValue();
    }
    page_.clear();
    std::string previous_path, previous_application;
    const int rows = 1 + Random(static_cast<int>(kPageRows));
    for (int i = 0; i < rows; ++i) {
      view_.Next();
      if (code() != 0) break;
      ++e.result;
      const std::string path = files_.APP.DriveNPath.str(), application = files_.APP.Application.str();
      // The key order: DriveNPath, then Application; every read lies beyond the one before.
      if (i > 0 && std::tie(path, application) <= std::tie(previous_path, previous_application)) ++e.after;
      previous_path = path;
      previous_application = application;
      Keep({view_.Position(), application});
    }
    journal(e);
  }

  // The form over a record of the page: read watched, some time for the user, then saved.
  void Change(const Row& row) {
    JournalEntry e;
    e.kind = "change";
    if (!ReadKept(row, e)) return journal(e);
    FormOpen();
    Save(e);
  }

  void Delete(const Row& row) {
    JournalEntry e;
    e.kind = "delete";
    if (!ReadKept(row, e)) return journal(e);
    FormOpen();
    before_write(e);
    const std::size_t boxes = ArmAnswer();
    e.result = files::DeleteAppsRecord(runtime_, files_);
    // The procedure re-read the record inside its transaction: the buffer holds what it deleted.
    e.target = files_.APP.Application.str();
    e.pred = files_.APP.DriveNPath.str();
    e.after = e.result == files::kDeleted ? 0 : ShownErrorNumber(boxes);
    if (e.result == files::kDeleted) {
      Forget(e.intent);
      Forget(e.target);
    }
    journal(e);
  }

  // The main window's Tag: the highlighted row re-read watched by its kept position, its Tag
  // flipped and put back at once, outside any transaction.
  void Tag(const Row& row) {
    JournalEntry e;
    e.kind = "tag";
    if (!ReadKept(row, e)) return journal(e);
    files_.APP.Tag = static_cast<std::int16_t>(std::abs(files_.APP.Tag - 1));
    e.tag = files_.APP.Tag;
    e.value = NextValue();
    files_.APP.DriveNPath = e.value;
    before_write(e);
    files_.Apps.Put();
    e.result = code();
    journal(e);
  }

 private:
  std::string NextValue() { return "S" + std::to_string(number_) + "V" + std::to_string(++versions_); }

  void Keep(Row row) {
    if (page_.size() == kPageRows) page_.erase(page_.begin());
    page_.push_back(std::move(row));
  }
  void Forget(const std::string& application) {
    std::erase_if(page_, [&](const Row& row) { return row.application == application; });
  }

  // The list's re-read before a form or a Tag: watched, by the position the page kept.
  bool ReadKept(const Row& row, JournalEntry& e) {
    e.intent = row.application;
    view_.Watch();
    view_.Reread(row.position);
    e.reread = code();
    if (e.reread != 0) {
      if (e.reread == store::kRecordNotAvailable) Forget(row.application);
      return false;
    }
    e.target = files_.APP.Application.str();
    e.pred = files_.APP.DriveNPath.str();
    return true;
  }

  // The user keeps the form open a moment: other stations go on meanwhile.
  void FormOpen() { std::this_thread::sleep_for(std::chrono::microseconds(Random(2000))); }

  // The form's save: the guarded change of the buffer. Told that another station changed the
  // record, the form shows the stored record and the user may save again.
  void Save(JournalEntry e) {
    e.value = NextValue();
    files_.APP.DriveNPath = e.value;
    e.tag = files_.APP.Tag;
    before_write(e);
    const std::size_t boxes = ArmAnswer();
    e.result = files::ChangeAppsRecord(runtime_, files_);
    e.after = e.result == files::kChanged ? 0 : e.result == files::kChangedElsewhere ? code() : ShownErrorNumber(boxes);
    journal(e);
    if (e.result == files::kChangedElsewhere && e.after == 0 && Random(2) == 0) {
      JournalEntry again;
      again.kind = "change";
      again.intent = e.intent;
      again.target = files_.APP.Application.str();
      again.pred = files_.APP.DriveNPath.str();
      Save(again);
    }
  }

  // One answer always waits in the script for the next warning; the count of boxes shown so far.
  std::size_t ArmAnswer() {
    if (backend_.script().Done()) backend_.script().Answer(rt::ButtonOk);
    return backend_.boxes().size();
  }
  // The error number in the warning shown since `boxes` ("... (File Locked (32)) ..."); -1 none.
  int ShownErrorNumber(std::size_t boxes) const {
    if (backend_.boxes().size() <= boxes) return -1;
    const std::string& text = backend_.boxes().back().text;
    for (std::size_t at = text.find('('); at != std::string::npos; at = text.find('(', at + 1))
      if (at + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[at + 1])))
        return std::atoi(text.c_str() + at + 1);
    return -1;
  }

  const int number_;
  std::mt19937_64 random_;
  files::Files files_;
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  store::View view_{files_.Apps};
  std::vector<Row> page_;
  int adds_ = 0;
  int versions_ = 0;
};

}  // namespace

int RunStressStation(int station, std::uint64_t seed, int operations, const std::string& journal_path) {
  std::ofstream journal(journal_path);
  Station s(station, seed);
  s.journal = [&](const JournalEntry& e) { journal << e.Format() << std::endl; };
  s.before_write = [](const JournalEntry&) {};
  if (!journal || !s.Open()) {
    Say("failed to open: " + std::to_string(s.code()));
    return 3;
  }
  Say("ready");
  std::string go;
  std::getline(std::cin, go);
  try {
    for (int i = 0; i < operations; ++i) {
      // With no kept position (an empty file, or all kept records deleted) only an add or a browse.
      const int pick = s.PageEmpty() ? s.Random(2) * 80 : s.Random(100);
      // Nearly as many deletes as adds keep the file small, so that the stations' pages overlap.
      if (pick >= 80) s.Browse();
      else if (pick < 25) s.Add();
      else if (pick < 45) s.Change(s.PickRow());
      else if (pick < 65) s.Delete(s.PickRow());
      else s.Tag(s.PickRow());
    }
  } catch (const std::exception& error) {  // the headless runtime's script error or halt
    Say(std::string("failed: ") + error.what());
    return 4;
  }
  Say("finished");
  return 0;
}

int RunKillWriter(int station, std::uint64_t seed) {
  Station s(station, seed);
  s.journal = [](const JournalEntry& e) {
    if (e.kind != "browse") Say("done " + e.Format());
  };
  s.before_write = [](const JournalEntry& e) {
    Say("try " + e.kind + " " + e.target + " " + e.value + " " + std::to_string(e.tag));
  };
  if (!s.Open()) {
    Say("failed to open: " + std::to_string(s.code()));
    return 3;
  }
  try {
    // Until killed; the bound only stops a writer whose test has gone.
    for (int i = 0; i < 100000; ++i) {
      const int pick = s.PageEmpty() ? s.Random(2) * 90 : s.Random(100);
      if (pick >= 90) s.Browse();
      else if (pick < 45) s.Add();
      else if (pick < 70) s.Change(s.PickRow());
      else if (pick < 80) s.Tag(s.PickRow());
      else s.Delete(s.PickRow());
    }
  } catch (const std::exception& error) {
    Say(std::string("failed: ") + error.what());
    return 4;
  }
  return 0;
}

}  // namespace store_test
