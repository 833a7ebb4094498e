// The standard warnings as a table of captions, message patterns, icons, buttons and effects, and the
// one function that describes the store's error, fills a pattern in and shows it.
#include "messages/standard_warnings.h"

#include <array>
#include <string>

#include "runtime/runtime.h"

namespace messages {
namespace {

// Message boxes have room for this much of an error description.
constexpr std::size_t kDescriptionLimit = 150;

constexpr int kOk = rt::ButtonOk;
constexpr int kYes = rt::ButtonYes;
constexpr int kNo = rt::ButtonNo;
constexpr int kRetry = rt::ButtonRetry;
constexpr int kCancel = rt::ButtonCancel;
constexpr rt::BoxIcon kQuestion = rt::BoxIcon::Question;

// What follows the closing of the box.
enum class After {
  Result,    // the button pressed is the result
  Halt,      // the program ends with the halt text
  HaltOnNo,  // No ends the program; any other answer gives rt::ButtonYes
  NoResult,  // callers ignore the result; 0
};

// Three warnings have a second caption and message, chosen when the warning is raised.
enum class Choice {
  None,
  FirstTextIsKey,     // the first form when the first text is `key`, else the second
  CodeIsNoneOrChanged,  // the second form when the described error's code is 0 or 89
};

// Message patterns: {first}, {second} and {error} stand for the texts and the error description,
// {lower first} for the first text in lower case; everything else is literal.
struct Warning {
  std::int32_t id;
  const char* caption;
  const char* message;
  rt::BoxIcon icon = rt::BoxIcon::Exclamation;
  int buttons = kOk;
  int default_button = kOk;
  After after = After::Result;
  const char* halt_text = nullptr;
  Choice choice = Choice::None;
  const char* key = nullptr;
  const char* second_caption = nullptr;
  const char* second_message = nullptr;
};

constexpr std::array<Warning, kStandardWarningCount> kWarnings{{
    {.id = WarnInvalidFile,
     .caption = "Invalid File",
     .message = "Error: ({error}) accessing {first}.  Press OK to end this application.",
     .after = After::Halt,
     .halt_text = "Invalid File!"},
    {.id = WarnInvalidKey,
     .caption = "Invalid Key",
     .message = "{first} key file is invalid.  Do you want to rebuild the key?",
     .icon = kQuestion,
     .buttons = kYes | kNo,
     .default_button = kYes,
     .after = After::HaltOnNo,
     .halt_text = "Invalid Key!"},
    {.id = WarnKeyRebuildError,
     .caption = "Key Rebuild Error",
     .message = "Error: ({error}) repairing key for {first}.  Press OK to end this application.",
     .after = After::Halt,
     .halt_text = "Error Rebuilding Key!"},
    {.id = WarnFileCreationError,
     .caption = "File Creation Error",
     .message = "Error: ({error}) creating {first}.  Press OK to end this application.",
     .after = After::Halt,
     .halt_text = "File Creation Error!"},
    {.id = WarnCreatedFileOpenError,
     .caption = "File Creation Error",
     .message = "Error: ({error}) opening created file:{first}.  Press OK to end this application.",
     .after = After::Halt,
     .halt_text = "File Creation Error!"},
    {.id = WarnProcedureNotDefined,
     .caption = "Procedure not defined",
     .message = "The Procedure {first} has not been defined."},
    // Never raised by this program; its caption is ours, and it has no default button.
    {.id = WarnKeyedReadError,
     .caption = "Record Read Error",
     .message = "Unable to read keyed record.  Error: {error}.  Insert Aborted",
     .default_button = 0},
    {.id = WarnAboveRange, .caption = "Range Error", .message = "The value of {first} must be lower than {second}."},
    {.id = WarnBelowRange, .caption = "Range Error", .message = "The value of {first} must be higher than {second}."},
    {.id = WarnOutOfRange, .caption = "Range Error", .message = "The value of {first} must be between {second}."},
    {.id = WarnNotInFile,
     .caption = "Field Contents Error",
     .message = "The value for {first} must be found in the {second} file."},
    {.id = WarnRestrictedUpdate,
     .caption = "Referential Integrity Update Error",
     .message = "This record is referenced from the file {first}.  Linking field(s) have been restricted from "
                "change and have been reset to original values."},
    {.id = WarnRestrictedDelete,
     .caption = "Referential Integrity Delete Error",
     .message = "This record is referenced from the file {first}.  This record cannot be deleted while these "
                "references exist."},
    {.id = WarnInsertError,
     .caption = "Record Insert Error",
     .message = "An error was experienced during the update of record.  Error: {error}."},
    {.id = WarnUpdateError,
     .caption = "Update Operation Error",
     .message = "An error ({error}) was experienced when attempting to update a record from the file.  Probable "
                "Cause: {first}.",
     .choice = Choice::CodeIsNoneOrChanged,
     .second_caption = "Update Operation Error",
     .second_message = "This record was changed by another station."},
    {.id = WarnRetryChange,
     .caption = "Record Update Error",
     .message = "An error was experienced changing this record.  Do you want to try to save again?",
     .buttons = kYes | kNo | kCancel,
     .default_button = kCancel},
    {.id = WarnDeleteError,
     .caption = "Delete Operation Error",
     .message = "An error ({error}) was experienced when attempting to delete a record from the file {first}."},
    {.id = WarnRetryDelete,
     .caption = "Record Update Error",
     .message = "An error was experienced deleting this record.  Do you want to try to save again?",
     .buttons = kYes | kNo | kCancel,
     .default_button = kCancel},
    {.id = WarnInsertNotAllowed,
     .caption = "Invalid Request",
     .message = "This procedure was called to insert a record, however inserts are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"},
    {.id = WarnChangeNotAllowed,
     .caption = "Invalid Request",
     .message = "This procedure was called to change a record, however changes are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"},
    {.id = WarnDeleteNotAllowed,
     .caption = "Invalid Request",
     .message = "This procedure was called to delete a record, however deletions are not allowed for this "
                "procedure.  Press OK to return to the calling procedure"},
    {.id = WarnCreationNotAllowed,
     .caption = "File Creation Not Allowed",
     .message = "The File {first} was not found, and creation of the file is not allowed.  Press OK to end this "
                "application.",
     .after = After::Halt,
     .halt_text = "File Creation Error!"},
    {.id = WarnConfirmCancel,
     .caption = "Update Cancelled",
     .message = "Are you sure you want to cancel?",
     .icon = kQuestion,
     .buttons = kYes | kNo,
     .default_button = kNo},
    {.id = WarnDuplicateKey,
     .caption = "Duplicate Key Error",
     .message = "Adding this record creates a duplicate entry for the key:{first}"},
    {.id = WarnAutoNumberError,
     .caption = "Auto Increment Error",
     .message = "Attempts to automatically number this record have failed.  Error: {error}.",
     .buttons = kRetry | kCancel,
     .default_button = kCancel},
    {.id = WarnFileLoadError, .caption = "File Load Error", .message = "{first} File Load Error.  Error: {error}."},
    {.id = WarnConfirmStopLoading,
     .caption = "Cancel Request",
     .message = "Are you certain you want to stop loading {first}?",
     .icon = kQuestion,
     .buttons = kOk | kCancel,
     .default_button = kCancel},
    {.id = WarnFileEmpty,
     .caption = "File Load Error",
     .message = "{first} File Load Error.  The file you've requested contains no text."},
    {.id = WarnEndOfViewedFile,
     .caption = "End of File Error",
     .message = "The end of the viewed file was encountered.  Do you want to start again from the beginning?",
     .icon = kQuestion,
     .buttons = kYes | kNo,
     .default_button = kYes,
     .choice = Choice::FirstTextIsKey,
     .key = "Down",
     .second_caption = "Beginning of File Error",
     .second_message = "The beginning of the viewed file was encountered.  Do you want to start again from the end "
                       "of the file?"},
    {.id = WarnFileAccessError,
     .caption = "File Access Error",
     .message = "File ({first}) could not be opened.  Error: {error}."},
    {.id = WarnProcessError,
     .caption = "Process PUT Error",
     .message = "An error was experienced when making changes to the {second} file.  Error: {error}",
     .choice = Choice::FirstTextIsKey,
     .key = "Put",
     .second_caption = "Process DELETE Error",
     .second_message = "An error was experienced when deleting a record from the {second} file.  Error: {error}"},
    {.id = WarnConfirmDelete,
     .caption = "Confirm Delete",
     .message = "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
     .icon = kQuestion,
     .buttons = kOk | kCancel,
     .default_button = kCancel},
    {.id = WarnSaveOnCancel,
     .caption = "Update Cancelled",
     .message = "Do you want to save the changes to this record?",
     .icon = kQuestion,
     .buttons = kYes | kNo | kCancel,
     .default_button = kNo},
    {.id = WarnTransactionError,
     .caption = "Transaction Framing Error",
     .message = "Error: ({error}) attempting to frame the {lower first} transaction on {second}.  {first} "
                "transaction cancelled.",
     .after = After::NoResult},
    {.id = WarnRecordRetrievalError,
     .caption = "Record Retrieval Error",
     .message = "Error: ({error}) attempting to access a record from the {first} file.  Returning to previous "
                "window.",
     .after = After::NoResult},
    {.id = WarnViewOpenError,
     .caption = "View Open Error",
     .message = "Error: ({error}) attempting to open the current VIEW. Filter and Range Limits ignored.",
     .after = After::NoResult},
    {.id = WarnAddAnother,
     .caption = "Record Added",
     .message = "This record has been added to the file. Do you want to add another record?",
     .icon = kQuestion,
     .buttons = kYes | kNo,
     .default_button = kYes},
    {.id = WarnChangedByOtherStation,
     .caption = "Record Was Not Updated",
     .message = "This record was changed by another station. Those changes will now be displayed. Use the Ditto "
                "Button or Ctrl+' to recall your changes."},
}};

// The table is looked up by position; a row out of place would show another warning's text.
constexpr bool RowsInIdOrder() {
  for (std::size_t i = 0; i < kWarnings.size(); ++i)
    if (kWarnings[i].id != static_cast<std::int32_t>(i + 1)) return false;
  return true;
}
static_assert(RowsInIdOrder(), "kWarnings must list ids 1..38 in order");

// Texts come from fixed-width, blank-padded fields; their padding never shows in a message.
std::string_view TrimTrailingBlanks(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

// 8-bit text; only the unaccented letters change case, which is all the callers' operation words use.
std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

struct ErrorDescription {
  std::string text;
  std::int32_t code = 0;  // the store code the text describes
};

// The kept error wins over the current one, because the rollback that followed it has replaced the
// current error with its own outcome.
ErrorDescription Describe(const StoreErrorState& current, const KeptStoreError& kept) {
  ErrorDescription d;
  if (kept.SavedErrorCode != 0) {
    d.code = kept.SavedErrorCode;
    if (d.code == store::kFileSystemError)
      d.text = std::string(TrimTrailingBlanks(kept.SavedFileErrorText)) + " (" +
               std::to_string(kept.SavedFileErrorCode) + ")";
    else
      d.text = std::string(TrimTrailingBlanks(kept.SavedErrorText)) + " (" + std::to_string(d.code) + ")";
  } else {
    d.code = current.code;
    if (d.code == store::kFileSystemError)
      d.text = std::string(TrimTrailingBlanks(current.file_message)) + " (" +
               std::string(TrimTrailingBlanks(current.file_code)) + ")";
    else
      d.text = std::string(TrimTrailingBlanks(current.text)) + " (" + std::to_string(d.code) + ")";
  }
  if (d.text.size() > kDescriptionLimit) d.text.resize(kDescriptionLimit);
  return d;
}

struct Texts {
  std::string_view first;
  std::string_view second;
  std::string_view error;
};

std::string Fill(std::string_view pattern, const Texts& texts) {
  std::string out;
  std::size_t at = 0;
  while (at < pattern.size()) {
    const std::size_t open = pattern.find('{', at);
    const std::size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
    if (close == std::string_view::npos) {
      out.append(pattern.substr(at));
      break;
    }
    out.append(pattern.substr(at, open - at));
    const std::string_view name = pattern.substr(open + 1, close - open - 1);
    if (name == "first")
      out.append(texts.first);
    else if (name == "second")
      out.append(texts.second);
    else if (name == "error")
      out.append(texts.error);
    else if (name == "lower first")
      out.append(LowerCase(texts.first));
    else
      out.append(pattern.substr(open, close - open + 1));  // not a placeholder: literal
    at = close + 1;
  }
  return out;
}

}  // namespace

std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id) {
  return ShowStandardWarning(context, id, {}, {});
}

std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id, std::string_view first) {
  return ShowStandardWarning(context, id, first, {});
}

std::int32_t ShowStandardWarning(WarningContext& context, std::int32_t id, std::string_view first,
                                 std::string_view second) {
  // Built and consumed on every call, so a kept error is shown at most once, by whatever comes next.
  const ErrorDescription error = Describe(context.current, context.kept);
  context.kept = KeptStoreError{};
  if (id < 1 || id > kStandardWarningCount) return 0;

  const Warning& w = kWarnings[static_cast<std::size_t>(id - 1)];
  const Texts texts{TrimTrailingBlanks(first), TrimTrailingBlanks(second), TrimTrailingBlanks(error.text)};
  bool second_form = false;
  switch (w.choice) {
    case Choice::None:
      break;
    case Choice::FirstTextIsKey:
      second_form = texts.first != w.key;
      break;
    case Choice::CodeIsNoneOrChanged:
      second_form = error.code == 0 || error.code == store::kChangedByAnotherStation;
      break;
  }
  const std::string caption = second_form ? w.second_caption : w.caption;
  const std::string message = Fill(second_form ? w.second_message : w.message, texts);

  const int pressed = context.runtime.Message(message, caption, w.icon, w.buttons, w.default_button);
  switch (w.after) {
    case After::Result:
      return pressed;
    case After::Halt:
      context.runtime.Halt(w.halt_text);
    case After::HaltOnNo:
      if (pressed == rt::ButtonNo) context.runtime.Halt(w.halt_text);
      return rt::ButtonYes;
    case After::NoResult:
      return 0;
  }
  return 0;
}

}  // namespace messages
