// The stations of the store's stress run and kill sweep: helper commands that work APPS.db through
// the program's own operations (add, the guarded change and delete, the main window's Tag, the
// list's browse reads) and journal what the store reported; and the journal line both sides share.
#pragma once

#include <cstdint>
#include <string>

namespace store_test {

// One operation of a station. Records are named by their Application, which a station makes
// unique at its add ("S<station>N<n>") and nobody changes afterwards; each write stamps DriveNPath
// with a value unique to the attempt ("S<station>V<v>"), so the file says who wrote last.
struct JournalEntry {
  std::string kind;          // add, change, delete, tag, browse
  std::string intent = "-";  // the record the station meant: the one its kept position was taken at
  std::string target = "-";  // the record in the buffer when it wrote (what the write reached)
  std::string pred = "-";    // the DriveNPath it read before writing: the value it replaced
  std::string value = "-";   // the DriveNPath it wrote
  int tag = 0;               // the Tag it wrote
  int reread = 0;            // the store's code for the watched re-read by the kept position
  // add, tag: the store's code (0 written); change, delete: the procedure's result (0 done,
  // 1 failed, 2 changed by another station); browse: records read.
  int result = 0;
  // change 2: the store's code after the procedure re-read the record (33: the record was gone);
  // other failed changes and deletes: the error number the warning showed (-1 none); browse: reads
  // out of key order.
  int after = 0;

  bool Done() const { return reread == 0 && result == 0 && kind != "browse"; }
  // The journal line: the fields separated by single blanks (no field holds a blank).
  std::string Format() const;
  // False for a line that is not a journal line.
  static bool Parse(const std::string& line, JournalEntry& entry);
};

// Helper commands (see RunStoreHelper):
//   stress <station> <seed> <operations> <journal>
//       open Apps, print "ready", wait for a line, then do that many operations at random, each
//       journalled as one line of <journal>; print "finished" (or "failed <what>").
//   writer <station> <seed>
//       open Apps and write until killed: adds, guarded changes and deletes; before each write
//       print "try <kind> <record> <value>", after it "done " and its journal line.
int RunStressStation(int station, std::uint64_t seed, int operations, const std::string& journal);
int RunKillWriter(int station, std::uint64_t seed);

}  // namespace store_test
