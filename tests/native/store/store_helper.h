// The second process of the store tests: holds locks on APPS.db, changes a record as another
// station would, or dies in the middle of a write. Natively a small executable of its own; in the
// Windows suite the test executable itself in its "--store-helper" mode.
#pragma once

#include <string>
#include <vector>

namespace store_test {

// Runs one helper command (args[0]) in the current directory and returns the exit code. Commands:
//   lock <file> exclusive|reserved|shared
//                                   take that lock on <file>, print "ready", wait for a line on
//                                   standard input (or its end), release, print "released"
//   change <name>                   as another station: open Apps, read the first record in key
//                                   order, set its Application to <name>, put it; print "done <code>"
//   die-in-write <rows>             add <rows> records to APPS.db in one transaction with a tiny
//                                   page cache, so that pages reach the file before the commit;
//                                   print "ready" and wait to be killed
//   hold-unshared <file>            (Windows) open <file> allowing no other opener, print "ready",
//                                   wait for a line, close it, print "released"
//   create-add <name>               wait for a line, then open Apps (making it when it is missing)
//                                   and add a record named <name>; print "done <code>"
//   open                            open Apps as an unprivileged user (POSIX: drops root rights
//                                   first); print "code|text|file code|file message"
//   stress <station> <seed> <operations> <journal>
//   writer <station> <seed>         a station of the stress run, a writer of the kill sweep (see
//                                   stress_station.h)
int RunStoreHelper(const std::vector<std::string>& args);

}  // namespace store_test
