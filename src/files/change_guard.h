// The guarded change and delete of single records, each in a transaction of its own file, with the
// change watch that detects a record changed by another station; and KeepStoreError, which saves a
// failed operation's error for the warning before the rollback replaces it. The forms call these.
#pragma once

#include <cstdint>

#include "files/files.h"

namespace rt {
class Runtime;
}

namespace files {

// Results of the delete procedures.
inline constexpr std::int32_t kDeleted = 0;
inline constexpr std::int32_t kDeleteFailed = 1;
// Results of the change procedures.
inline constexpr std::int32_t kChanged = 0;
inline constexpr std::int32_t kChangeFailed = 1;
inline constexpr std::int32_t kChangedElsewhere = 2;  // the buffer now holds the stored record
inline constexpr std::int32_t kRecordGone = 3;        // another station deleted the record

// Saves the store's current error as the kept error, then rolls back the open transaction.
void KeepStoreError(Files& files);

// Delete the current record of the file (its record buffer names it). 0 deleted and committed, or
// already deleted by another station; 1 failed: rolled back, warning shown.
std::int32_t DeleteAppsRecord(rt::Runtime& runtime, Files& files);
std::int32_t DeleteTempFileRecord(rt::Runtime& runtime, Files& files);

// Write the record buffer over the current record. 0 written and committed; 1 failed: rolled back,
// warning shown; 2 changed by another station: rolled back, warning shown, the buffer re-read;
// 3 deleted by another station: rolled back, warning shown (the form ends, nothing to retry).
std::int32_t ChangeAppsRecord(rt::Runtime& runtime, Files& files);
std::int32_t ChangeTempFileRecord(rt::Runtime& runtime, Files& files);

}  // namespace files
