// The record store's part of the process-wide state: the two record buffers APP and TMP, the two
// record files bound to them, their use counts, the store's error state and the kept store error,
// and the change guard's SavedPosition. The Program context (windows/program.h) holds one of these.
#pragma once

#include <cstdint>

#include "messages/standard_warnings.h"
#include "store/record_file.h"
#include "store/records.h"

namespace rt {
class Runtime;
}

namespace files {

using store::RecordFile;

struct Files {
  Files() = default;
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  store::Store store;  // current error, lock waits, the open transaction
  store::AppsRecord APP;
  store::TempFileRecord TMP;
  RecordFile Apps{store, store::kAppsLayout, &APP};
  RecordFile TempFile{store, store::kTempFileLayout, &TMP};
  // How many procedures hold each file open; a file is open while its count is above 0.
  std::int32_t AppsUseCount = 0;
  std::int32_t TempFileUseCount = 0;
  // The position a change keeps to re-read its record when another station changed it.
  store::RecordPosition SavedPosition;
  // A store error saved before a rollback, for the next standard warning to show.
  messages::KeptStoreError kept;

  // What the standard warnings need to show the store's errors through `runtime`.
  messages::WarningContext Warnings(rt::Runtime& runtime) { return {runtime, store.error, kept}; }
};

}  // namespace files
