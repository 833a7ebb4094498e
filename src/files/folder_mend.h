// A folder stored under two spellings made one. Records written before every application of a
// folder took its folder alike hold some under the folder's short form (their names needed short
// forms) and others under its long form; the pool and the shards already key them as one folder,
// and this re-spells them as StoreFolder spells it, their last results moving with them. The
// console's list and add, and the application list after its form, call it.
#pragma once

#include <string>
#include <vector>

#include "files/files.h"

namespace platform {
class DirectoryLister;
}
namespace store {
class LastResults;
}

namespace files {

struct MendReport {
  // "C:\DEV\SALE~KF2\CAMP~NSY.APP is now C:\Dev\Sales & Marketing\CAMP~NSY.APP": one per record
  // re-spelt.
  std::vector<std::string> respelt;
  // What could not be mended, with the reason: the record left as it was (a second record of the
  // same file under the other spelling, a store error, a last result that could not move).
  std::vector<std::string> problems;
  // The store's error when Apps could not be read to its end (nothing was then changed).
  std::string unread;
};

// Every folder of Apps (open) stored under more than one spelling, keyed by store::PathKeys. Apps's
// buffer and current record are left as the last read or write left them.
MendReport MendFolders(Files& files, platform::DirectoryLister& lister, store::LastResults& results);
// The same for the one folder `folder` (any spelling), found through the key's index: the cost of
// a few searches, whatever the size of Apps.
MendReport MendFolder(Files& files, platform::DirectoryLister& lister, store::LastResults& results,
                      const std::string& folder);

}  // namespace files
