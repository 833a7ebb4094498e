// OpenRecordFile, the one routine that opens a record file (creating a missing one, waiting out a
// lock, rebuilding damaged keys on request), and the use counts by which procedures share an open
// file. Every procedure that needs Apps or TempFile goes through here.
#pragma once

#include "files/files.h"

namespace rt {
class Runtime;
}

namespace files {

// Opens `file` (files.Apps or files.TempFile) for shared reading and writing. Returns only with the
// file open; every failure it cannot mend shows its standard warning through `runtime` and halts
// the program there.
void OpenRecordFile(rt::Runtime& runtime, Files& files, RecordFile& file);

// On entry of a procedure that needs `file`: OpenRecordFile when no procedure holds it yet, then
// one more holder. The procedure sets its files-opened flag right after this returns.
void RaiseUseCount(rt::Runtime& runtime, Files& files, RecordFile& file);
// On leaving, only when the procedure's flag is set: one holder fewer; the last one closes the file.
void LowerUseCount(Files& files, RecordFile& file);

// The use count of `file`: files.AppsUseCount or files.TempFileUseCount.
std::int32_t& UseCountOf(Files& files, const RecordFile& file);

}  // namespace files
