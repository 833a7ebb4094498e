// ShowStandardWarning: the program's standard error, confirmation and notice boxes, each named by a
// warning id. The file routines, the change guard, the forms and the browse engine raise them; the
// store fills the error state they describe but this layer never calls the store.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/store_errors.h"

namespace rt {
class Runtime;
}

namespace messages {

using store::StoreErrorState;

// A store error saved by the guarded change and delete before they roll back (the rollback replaces
// the store's current error). SavedErrorCode 0 means nothing is kept. The next standard warning,
// whatever it is, describes the kept error instead of the current one and clears it.
struct KeptStoreError {
  std::int32_t SavedErrorCode = 0;
  std::string SavedErrorText;
  std::int32_t SavedFileErrorCode = 0;
  std::string SavedFileErrorText;
};

// What a warning needs from its caller: where to show boxes and halt, and the store's errors.
struct WarningContext {
  rt::Runtime& runtime;
  const StoreErrorState& current;
  KeptStoreError& kept;
};

// The warning ids.
inline constexpr std::int32_t WarnInvalidFile = 1;
inline constexpr std::int32_t WarnInvalidKey = 2;
inline constexpr std::int32_t WarnKeyRebuildError = 3;
inline constexpr std::int32_t WarnFileCreationError = 4;
inline constexpr std::int32_t WarnCreatedFileOpenError = 5;
inline constexpr std::int32_t WarnProcedureNotDefined = 6;
inline constexpr std::int32_t WarnKeyedReadError = 7;
inline constexpr std::int32_t WarnAboveRange = 8;
inline constexpr std::int32_t WarnBelowRange = 9;
inline constexpr std::int32_t WarnOutOfRange = 10;
inline constexpr std::int32_t WarnNotInFile = 11;
inline constexpr std::int32_t WarnRestrictedUpdate = 12;
inline constexpr std::int32_t WarnRestrictedDelete = 13;
inline constexpr std::int32_t WarnInsertError = 14;
inline constexpr std::int32_t WarnUpdateError = 15;
inline constexpr std::int32_t WarnRetryChange = 16;
inline constexpr std::int32_t WarnDeleteError = 17;
inline constexpr std::int32_t WarnRetryDelete = 18;
inline constexpr std::int32_t WarnInsertNotAllowed = 19;
inline constexpr std::int32_t WarnChangeNotAllowed = 20;
inline constexpr std::int32_t WarnDeleteNotAllowed = 21;
inline constexpr std::int32_t WarnCreationNotAllowed = 22;
inline constexpr std::int32_t WarnConfirmCancel = 23;
inline constexpr std::int32_t WarnDuplicateKey = 24;
inline constexpr std::int32_t WarnAutoNumberError = 25;
inline constexpr std::int32_t WarnFileLoadError = 26;
inline constexpr std::int32_t WarnConfirmStopLoading = 27;
inline constexpr std::int32_t WarnFileEmpty = 28;
inline constexpr std::int32_t WarnEndOfViewedFile = 29;
inline constexpr std::int32_t WarnFileAccessError = 30;
inline constexpr std::int32_t WarnProcessError = 31;
inline constexpr std::int32_t WarnConfirmDelete = 32;
inline constexpr std::int32_t WarnSaveOnCancel = 33;
inline constexpr std::int32_t WarnTransactionError = 34;
inline constexpr std::int32_t WarnRecordRetrievalError = 35;
inline constexpr std::int32_t WarnViewOpenError = 36;
inline constexpr std::int32_t WarnAddAnother = 37;
inline constexpr std::int32_t WarnChangedByOtherStation = 38;
inline constexpr std::int32_t kStandardWarningCount = 38;

// Shows warning `id` with its texts (trailing blanks ignored) and returns the button pressed.
// Before anything else it describes the store's error (the kept one when there is one, else the
// current one) and clears `context.kept`; this happens for every id. Exceptions to the result:
//  - WarnInvalidFile, WarnKeyRebuildError, WarnFileCreationError, WarnCreatedFileOpenError and
//    WarnCreationNotAllowed halt the program once the box is closed, and do not return;
//  - WarnInvalidKey halts when the answer is No and otherwise returns rt::ButtonYes (2);
//  - WarnTransactionError, WarnRecordRetrievalError, WarnViewOpenError return 0 (callers ignore it);
//  - an id outside 1..38 shows nothing and returns 0.
std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id);
std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id, std::string_view first);
std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id, std::string_view first,
                                 std::string_view second);

}  // namespace messages
