// What the batches left behind for each application of Apps: its last result (operation, outcome,
// when, how long, the IDE's error text) and its build order number. Kept in a database file of its
// own beside APPS, so that APPS keeps exactly the layout every reader of it knows, and re-creating
// the activity log never touches it. The batch's outcome observer writes results; the console and
// the window read them; `nightjar.com order` sets the numbers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace store {

class SideStatement;

// The file beside APPS that holds the results and numbers.
inline constexpr const char* kLastResultsFile = "APPSLAST.db";
// How long a call waits for another station's lock on that file, in milliseconds: long enough for
// any station's write to end. A window that must not freeze passes a shorter wait.
inline constexpr int kSideFileWait = 10000;

struct LastResult {
  std::string folder;       // APP:DriveNPath, as stored
  std::string application;  // APP:Application
  std::string operation;    // the operation's name, "" when no batch has taken it yet
  std::string outcome;      // "made", "failed", ..., "skipped as up to date"
  std::int32_t date = 0;    // day number of its end
  std::int32_t clock = 0;   // hundredths since midnight
  std::int64_t hundredths = 0;  // how long it took
  std::string error;        // the IDE's error text, or why it was not made; "" when made
  std::int32_t order = 0;   // build order number; 0: none
  // When it was last made (day number and hundredths; 0: never, or not known). A result that is
  // not "made" leaves them as they were, so that "not reached" still tells when it was made.
  std::int32_t made_date = 0;
  std::int32_t made_clock = 0;
  // The process of the IDE that made it (or failed to); 0 when none was sent or it is not known.
  std::uint32_t ide_process = 0;
  // The path the user gave (long names and all, in the code page) where the record holds short
  // ones or a key; "" when none is known, and the record's own path is the one shown.
  std::string long_path;
};

// The key of an application in the file: its full path as stored, by PathKeyText (letter case
// folded, "/" as "\"). It names the record, not the file on disk: a record keeps its entry on a
// station where its file is missing, and the spelling a record holds is one (add and the
// application form store every application of a folder alike; Move follows a re-spelt record).
std::string LastResultKey(const std::string& folder, const std::string& application);

class LastResults {
 public:
  // `read_wait_ms`: how long ReadAll waits for another station's lock (a window passes a short
  // wait, so as not to freeze); writes wait as long as any station's write takes.
  explicit LastResults(std::string path = kLastResultsFile, int read_wait_ms = kSideFileWait)
      : path_(std::move(path)), read_wait_ms_(read_wait_ms) {}

  // Keeps `result` as its application's last one; the application's build order stays, and so
  // does when it was last made unless `result` gives a new made_date, and so does its long path
  // unless `result` gives one. False with Error() set when the file could not be written.
  bool Record(const LastResult& result);
  // Keeps the long path the user gave for an application (added, or changed in the form); its last
  // result and build order stay. "" forgets it.
  bool SetLongPath(const std::string& folder, const std::string& application, const std::string& long_path);
  // An application now stored under another spelling (a folder's two spellings made one) keeps its
  // entry: result, order and long path move to the new key (replacing one already there).
  bool Move(const std::string& folder, const std::string& application, const std::string& new_folder,
            const std::string& new_application);
  // Sets the build order number of an application (0 clears it); its last result stays.
  bool SetOrder(const std::string& folder, const std::string& application, std::int32_t order);
  // Takes an application's last result and build order away (it left the list); nothing to do
  // when there is no file.
  bool Forget(const std::string& folder, const std::string& application);
  // Every application's entry by LastResultKey; empty (and no error) when there is no file yet.
  // A number that is not a whole number within its field's range (a hand-edited file) is left
  // out, read as 0. False with Error() set (naming the file and the reason) when the file is
  // there but cannot be read: damaged, not a database, or not readable.
  bool ReadAll(std::map<std::string, LastResult>& results);
  const std::string& Error() const { return error_; }

 private:
  bool SetOne(const std::string& folder, const std::string& application, const char* sql,
              const std::function<void(SideStatement&)>& bind);

  std::string path_;
  int read_wait_ms_;
  std::string error_;
};

}  // namespace store
