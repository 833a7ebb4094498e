// The record store's error codes and their texts, and the helpers that set the store's current
// error state. Every store operation leaves its outcome here; callers test the code right after.
#pragma once

#include <cstdint>
#include <string>

namespace store {

// The record store's current error, as the store reports it after every operation. `code` 0 means
// the last operation succeeded. For code 90 (a file-system error) `file_code` and `file_message`
// hold the platform's error number (as text, e.g. "5") and message.
struct StoreErrorState {
  std::int32_t code = 0;
  std::string text;
  std::string file_code;
  std::string file_message;
};

inline constexpr std::int32_t kNoError = 0;
inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kFileLocked = 32;
inline constexpr std::int32_t kRecordNotAvailable = 33;  // no further record, or no current one
inline constexpr std::int32_t kFileNotOpen = 37;
inline constexpr std::int32_t kDuplicateKey = 40;
inline constexpr std::int32_t kInvalidKeyFile = 46;       // keys must be rebuilt
inline constexpr std::int32_t kInvalidFile = 47;          // the file does not match the record layout
// A record holds a value (written by another program) longer than its field, or a number beyond its
// range: the buffer has it cut, and writing the cut value back would lose the stored one.
inline constexpr std::int32_t kValueTooLong = 48;
inline constexpr std::int32_t kFileAlreadyOpen = 52;
inline constexpr std::int32_t kTransactionActive = 56;
inline constexpr std::int32_t kChangedByAnotherStation = 89;
inline constexpr std::int32_t kFileSystemError = 90;      // file_code and file_message say more

// The text that goes with `code` ("" for 0, a generic text for codes the store never sets).
const char* ErrorText(std::int32_t code);

// Sets `state` to `code` with its text; the file-system part is cleared.
void SetError(StoreErrorState& state, std::int32_t code);

// Sets `state` from a platform error number (errno on POSIX, GetLastError on Windows): not found 2,
// access denied 5, a Windows sharing or lock violation 32, anything else 90; the number and the
// platform's message are kept as the file-system part in every case.
void SetPlatformError(StoreErrorState& state, int error_number);

// As SetPlatformError, for a failure in the middle of an operation on a file that existed: a
// missing file or directory is then a file-system error (90) too.
void SetFileSystemFailure(StoreErrorState& state, int error_number);

}  // namespace store
