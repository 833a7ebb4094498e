// A claim on a file that one holder at a time can have, held until released or until its process
// ends, however it ends: the system drops the lock with the process, so a claim left by a killed
// program blocks nobody. The holder writes who it is into the file, for the others to read. The
// batch operations claim the activity log with it for their whole run.
#pragma once

#include <memory>
#include <string>

namespace platform {

class FileClaim {
 public:
  virtual ~FileClaim() = default;  // releases the claim and empties the file
};

// Claims `path` (made when missing) and writes `holder` into it. nullptr when another holder has
// it, in this process or another: `held_by` then holds what that holder wrote ("" when it could not
// be read), or, when the file cannot be opened at all, the system's reason in brackets.
std::unique_ptr<FileClaim> ClaimFile(const std::string& path, const std::string& holder, std::string& held_by);

// This computer's name, as a station's name in messages ("" when the system gives none).
std::string StationName();
// This process's id.
unsigned long ProcessId();

}  // namespace platform
