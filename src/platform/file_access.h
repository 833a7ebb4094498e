// File-system calls the record store needs beyond what its database engine does itself: a probe
// that tells why a file cannot be opened, deleting and replacing files, and the platform's own
// error numbers and texts. POSIX and Win32 implementations; the store reaches the OS only here.
// Paths are code-page text, converted here for the system (UTF-16 on Windows, UTF-8 on POSIX).
#pragma once

#include <string>

namespace platform::file_access {

// How the store reacts to a platform error number (errno on POSIX, GetLastError on Windows).
enum class ErrorKind {
  None,          // 0: no error
  NotFound,      // the file (or a directory of its path) does not exist
  AccessDenied,  // the platform refused access (permissions, a read-only file, a directory)
  Locked,        // another process holds the file in a way that excludes us (Windows sharing)
  Other,
};
ErrorKind KindOf(int error_number);

// The platform's message for `error_number`, one line without a trailing line break.
std::string MessageOf(int error_number);

// Opens the existing file `path` for reading and writing, sharing it with every other opener, and
// closes it again. 0 when that worked, else the platform's error number. Creates nothing.
int ProbeReadWrite(const std::string& path);

// Makes the new file `path` and deletes it again: 0 when the folder takes a new file of that name,
// else the platform's error number (access denied for a read-only folder). For the reason when a
// new file could not be made: the database engine's own retry reports only "not found".
int ProbeCreate(const std::string& path);

// Deletes the file `path`. 0 when it was deleted or did not exist; else the error number.
int DeleteIfPresent(const std::string& path);

// Renames `from` to `to`, replacing a file named `to`. 0 or the error number.
int ReplaceWith(const std::string& from, const std::string& to);

// Renames `from` to `to` only while no file is named `to`; the check and the rename are one step, so
// of two processes doing this at once one fails. 0, or the error number (ErrorKind::Exists when
// `to` is there).
int MoveNoReplace(const std::string& from, const std::string& to);

// True for the error number MoveNoReplace gives when its target exists.
bool IsAlreadyExists(int error_number);

// The full path of the folder `folder` names (relative to the current folder, or already full),
// ending in its separator, in the code page: a part the code page cannot hold is taken by its
// short (8.3) form where the system has one. False when it cannot be given in the code page
// (`folder` then holds the path in UTF-8, to be shown).
bool FullFolderPath(const std::string& relative, std::string& folder);

// The platform's error number for a full disk: the store reports with it what its database engine
// finds without an error number of its own.
int DiskFullError();

}  // namespace platform::file_access
