// Values kept between runs (the windows' places, the DDE time-out), by name, in a table of their
// own in the file beside APPS that also keeps the last results: never in APPS itself, never in
// the registry. Whole numbers, and a few texts (a program's path). The window procedures load them
// when a window opens and save them when it closes.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "store/last_results.h"

namespace store {

class Settings {
 public:
  // `wait_ms`: how long a call waits for another station's lock on the file.
  explicit Settings(std::string path = kLastResultsFile, int wait_ms = kSideFileWait)
      : path_(std::move(path)), wait_ms_(wait_ms) {}

  // Every kept value by name; a value that is not a whole number is left out, or, when `texts` is
  // given, goes there if it is a text. Empty, and no error, when there is no file yet: reading
  // never makes one. False with Error() set when the file could not be read.
  bool ReadAll(std::map<std::string, std::int64_t>& values, std::map<std::string, std::string>* texts = nullptr);
  // Keeps `values` and `texts` (others already kept stay), all or none. False with Error() set
  // when the file could not be written.
  bool Write(const std::map<std::string, std::int64_t>& values, const std::map<std::string, std::string>& texts = {});
  const std::string& Error() const { return error_; }
  // Whether the last call failed because another station held the file past the wait.
  bool Busy() const { return busy_; }

 private:
  std::string path_;
  int wait_ms_;
  std::string error_;
  bool busy_ = false;
};

}  // namespace store
