// Error texts of the record store and the mapping of platform errors onto store codes.
#include "store/store_errors.h"

#include "platform/file_access.h"

namespace store {

const char* ErrorText(std::int32_t code) {
  switch (code) {
    case kNoError: return "";
    case kFileNotFound: return "File Not Found";
    case kAccessDenied: return "Access Denied";
    case kFileLocked: return "File Locked";
    case kRecordNotAvailable: return "No Record Available";
    case kFileNotOpen: return "File Not Open";
    case kDuplicateKey: return "Duplicate Key Value";
    case kInvalidKeyFile: return "Keys Must Be Rebuilt";
    case kInvalidFile: return "File Does Not Match Record Layout";
    case kValueTooLong: return "Stored Value Too Long For Its Field";
    case kFileAlreadyOpen: return "File Already Open";
    case kTransactionActive: return "Transaction Already Active";
    case kChangedByAnotherStation: return "Record Changed By Another Station";
    case kFileSystemError: return "File System Error";
    default: return "Record Store Error";
  }
}

void SetError(StoreErrorState& state, std::int32_t code) {
  state.code = code;
  state.text = ErrorText(code);
  state.file_code.clear();
  state.file_message.clear();
}

void SetPlatformError(StoreErrorState& state, int error_number) {
  namespace fa = platform::file_access;
  switch (fa::KindOf(error_number)) {
    case fa::ErrorKind::None: SetError(state, kNoError); return;
    case fa::ErrorKind::NotFound: SetError(state, kFileNotFound); break;
    case fa::ErrorKind::AccessDenied: SetError(state, kAccessDenied); break;
    case fa::ErrorKind::Locked: SetError(state, kFileLocked); break;
    case fa::ErrorKind::Other: SetError(state, kFileSystemError); break;
  }
  state.file_code = std::to_string(error_number);
  state.file_message = fa::MessageOf(error_number);
}

void SetFileSystemFailure(StoreErrorState& state, int error_number) {
  SetPlatformError(state, error_number);
  if (state.code == kFileNotFound) {
    state.code = kFileSystemError;
    state.text = ErrorText(kFileSystemError);
  }
}

}  // namespace store
