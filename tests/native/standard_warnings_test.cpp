// ShowStandardWarning through the headless runtime: every warning's box and effect, the store-error
// description (kept and current, the 150-character cut) and the consumption of the kept error.
#include "messages/standard_warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"

namespace messages {
namespace {

using rt::BoxIcon;
using rt::headless::Halted;
using rt::headless::HeadlessBackend;

constexpr BoxIcon kQ = BoxIcon::Question;
constexpr BoxIcon kX = BoxIcon::Exclamation;

// What one call did: its result, or the halt text when it ended the program.
struct Outcome {
  std::int32_t result = -1;
  std::optional<std::string> halt;
};

class StandardWarningsTest : public ::testing::Test {
 protected:
  // Raises `id`, answering its box with `answer`.
  Outcome Raise(std::int32_t id, std::string_view first, std::string_view second, int answer) {
    backend_.script().Answer(answer);
    Outcome out;
    try {
      out.result = ShowStandardWarning(context_, id, first, second);
    } catch (const Halted& h) {
      out.halt = h.text;
      // The halt must come after the box was shown and answered.
      const auto& trace = backend_.trace();
      EXPECT_GE(trace.size(), 2u);
      if (trace.size() >= 2) {
        EXPECT_EQ(trace[trace.size() - 2].rfind("box ", 0), 0u) << trace[trace.size() - 2];
      }
    }
    EXPECT_TRUE(backend_.script().Done()) << "the warning showed no box";
    return out;
  }

  // The error description as warning 14 shows it.
  std::string DescriptionShown() {
    Raise(WarnInsertError, "", "", rt::ButtonOk);
    const std::string prefix = "An error was experienced during the update of record.  Error: ";
    const std::string& text = backend_.boxes().back().text;
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    EXPECT_EQ(text.back(), '.') << text;
    return text.substr(prefix.size(), text.size() - prefix.size() - 1);
  }

  void ExpectNothingKept() {
    EXPECT_EQ(kept_.SavedErrorCode, 0);
    EXPECT_EQ(kept_.SavedErrorText, "");
    EXPECT_EQ(kept_.SavedFileErrorCode, 0);
    EXPECT_EQ(kept_.SavedFileErrorText, "");
  }

  HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  StoreErrorState current_;
  KeptStoreError kept_;
  WarningContext context_{runtime_, current_, kept_};
};

struct WarningCase {
  std::int32_t id;
  const char* first;
  const char* second;
  const char* caption;
  const char* text;
  BoxIcon icon;
  int buttons;
  int default_button;
  const char* halt;  // nullptr: returns `result`
  std::int32_t result;
};

// The store's current error in every row is code 33 with a blank-padded text; the texts carry
// trailing blanks too, which no message may show. The script presses the box's lowest button.
const WarningCase kWarningCases[] = {
    {1, "APPS  ", "", "Invalid File",
     "Error: (Record Not Available (33)) accessing APPS.  Press OK to end this application.", kX, 1, 1,
     "Invalid File!", 0},
    {2, "APPS  ", "", "Invalid Key", "APPS key file is invalid.  Do you want to rebuild the key?", kQ, 6, 2, nullptr,
     2},
    {3, "APPS", "", "Key Rebuild Error",
     "Error: (Record Not Available (33)) repairing key for APPS.  Press OK to end this application.", kX, 1, 1,
     "Error Rebuilding Key!", 0},
    {4, "APPS", "", "File Creation Error",
     "Error: (Record Not Available (33)) creating APPS.  Press OK to end this application.", kX, 1, 1,
     "File Creation Error!", 0},
    {5, "APPS", "", "File Creation Error",
     "Error: (Record Not Available (33)) opening created file:APPS.  Press OK to end this application.", kX, 1, 1,
     "File Creation Error!", 0},
    {6, "UpdateApps ", "", "Procedure not defined", "The Procedure UpdateApps has not been defined.", kX, 1, 1,
     nullptr, 1},
    {7, "", "", "Record Read Error",
     "Unable to read keyed record.  Error: Record Not Available (33).  Insert Aborted", kX, 1, 0, nullptr, 1},
    {8, "Minutes ", "60 ", "Range Error", "The value of Minutes must be lower than 60.", kX, 1, 1, nullptr, 1},
    {9, "Minutes", "0", "Range Error", "The value of Minutes must be higher than 0.", kX, 1, 1, nullptr, 1},
    {10, "Minutes", "1 and 59", "Range Error", "The value of Minutes must be between 1 and 59.", kX, 1, 1, nullptr,
     1},
    {11, "Application", "APPS  ", "Field Contents Error", "The value for Application must be found in the APPS file.",
     kX, 1, 1, nullptr, 1},
    {12, "TEMPFILE ", "", "Referential Integrity Update Error",
     "This record is referenced from the file TEMPFILE.  Linking field(s) have been restricted from change and have "
     "been reset to original values.",
     kX, 1, 1, nullptr, 1},
    {13, "TEMPFILE", "", "Referential Integrity Delete Error",
     "This record is referenced from the file TEMPFILE.  This record cannot be deleted while these references exist.",
     kX, 1, 1, nullptr, 1},
    {14, "", "", "Record Insert Error",
     "An error was experienced during the update of record.  Error: Record Not Available (33).", kX, 1, 1, nullptr, 1},
    {15, "Record Locked  ", "", "Update Operation Error",
     "An error (Record Not Available (33)) was experienced when attempting to update a record from the file.  "
     "Probable Cause: Record Locked.",
     kX, 1, 1, nullptr, 1},
    {16, "", "", "Record Update Error",
     "An error was experienced changing this record.  Do you want to try to save again?", kX, 70, 64, nullptr, 2},
    {17, "APPS ", "", "Delete Operation Error",
     "An error (Record Not Available (33)) was experienced when attempting to delete a record from the file APPS.",
     kX, 1, 1, nullptr, 1},
    {18, "", "", "Record Update Error",
     "An error was experienced deleting this record.  Do you want to try to save again?", kX, 70, 64, nullptr, 2},
    {19, "", "", "Invalid Request",
     "This procedure was called to insert a record, however inserts are not allowed for this procedure.  Press OK "
     "to return to the calling procedure",
     kX, 1, 1, nullptr, 1},
    {20, "", "", "Invalid Request",
     "This procedure was called to change a record, however changes are not allowed for this procedure.  Press OK "
     "to return to the calling procedure",
     kX, 1, 1, nullptr, 1},
    {21, "", "", "Invalid Request",
     "This procedure was called to delete a record, however deletions are not allowed for this procedure.  Press OK "
     "to return to the calling procedure",
     kX, 1, 1, nullptr, 1},
    {22, "APPS", "", "File Creation Not Allowed",
     "The File APPS was not found, and creation of the file is not allowed.  Press OK to end this application.", kX,
     1, 1, "File Creation Error!", 0},
    {23, "", "", "Update Cancelled", "Are you sure you want to cancel?", kQ, 6, 4, nullptr, 2},
    {24, "APP:NameKey ", "", "Duplicate Key Error", "Adding this record creates a duplicate entry for the key:APP:NameKey",
     kX, 1, 1, nullptr, 1},
    {25, "", "", "Auto Increment Error",
     "Attempts to automatically number this record have failed.  Error: Record Not Available (33).", kX, 80, 64,
     nullptr, 16},
    {26, "README.TXT ", "", "File Load Error", "README.TXT File Load Error.  Error: Record Not Available (33).", kX, 1,
     1, nullptr, 1},
    {27, "README.TXT", "", "Cancel Request", "Are you certain you want to stop loading README.TXT?", kQ, 65, 64,
     nullptr, 1},
    {28, "README.TXT", "", "File Load Error",
     "README.TXT File Load Error.  The file you've requested contains no text.", kX, 1, 1, nullptr, 1},
    {29, "Down  ", "", "End of File Error",
     "The end of the viewed file was encountered.  Do you want to start again from the beginning?", kQ, 6, 2, nullptr,
     2},
    {29, "Up", "", "Beginning of File Error",
     "The beginning of the viewed file was encountered.  Do you want to start again from the end of the file?", kQ, 6,
     2, nullptr, 2},
    {29, "down", "", "Beginning of File Error",
     "The beginning of the viewed file was encountered.  Do you want to start again from the end of the file?", kQ, 6,
     2, nullptr, 2},
    {30, "APPS ", "", "File Access Error", "File (APPS) could not be opened.  Error: Record Not Available (33).", kX,
     1, 1, nullptr, 1},
    {31, "Put ", "APPS ", "Process PUT Error",
     "An error was experienced when making changes to the APPS file.  Error: Record Not Available (33)", kX, 1, 1,
     nullptr, 1},
    {31, "Delete", "APPS", "Process DELETE Error",
     "An error was experienced when deleting a record from the APPS file.  Error: Record Not Available (33)", kX, 1,
     1, nullptr, 1},
    {32, "", "", "Confirm Delete",
     "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.", kQ, 65, 64,
     nullptr, 1},
    {33, "", "", "Update Cancelled", "Do you want to save the changes to this record?", kQ, 70, 4, nullptr, 2},
    {34, "Delete ", "TempFile ", "Transaction Framing Error",
     "Error: (Record Not Available (33)) attempting to frame the delete transaction on TempFile.  Delete transaction "
     "cancelled.",
     kX, 1, 1, nullptr, 0},
    {34, "Update", "Apps", "Transaction Framing Error",
     "Error: (Record Not Available (33)) attempting to frame the update transaction on Apps.  Update transaction "
     "cancelled.",
     kX, 1, 1, nullptr, 0},
    {35, "APPS", "", "Record Retrieval Error",
     "Error: (Record Not Available (33)) attempting to access a record from the APPS file.  Returning to previous "
     "window.",
     kX, 1, 1, nullptr, 0},
    {36, "", "", "View Open Error",
     "Error: (Record Not Available (33)) attempting to open the current VIEW. Filter and Range Limits ignored.", kX,
     1, 1, nullptr, 0},
    {37, "", "", "Record Added", "This record has been added to the file. Do you want to add another record?", kQ, 6,
     2, nullptr, 2},
    {38, "", "", "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button or "
     "Ctrl+' to recall your changes.",
     kX, 1, 1, nullptr, 1},
};

TEST(StandardWarnings, EveryWarningShowsItsBoxAndHasItsEffect) {
  std::set<std::int32_t> covered;
  for (const WarningCase& c : kWarningCases) {
    SCOPED_TRACE(::testing::Message() << "warning " << c.id << " first \"" << c.first << "\" second \"" << c.second
                                      << "\"");
    covered.insert(c.id);
    HeadlessBackend backend;
    rt::Runtime runtime(backend);
    StoreErrorState current{.code = 33, .text = "Record Not Available   "};
    KeptStoreError kept;
    WarningContext context{runtime, current, kept};
    const int answer = c.buttons & -c.buttons;  // the lowest button of the set
    backend.script().Answer(answer);

    std::int32_t result = -1;
    std::optional<std::string> halt;
    try {
      result = ShowStandardWarning(context, c.id, c.first, c.second);
    } catch (const Halted& h) {
      halt = h.text;
    }

    ASSERT_EQ(backend.boxes().size(), 1u);
    const rt::MessageBoxSpec& box = backend.boxes()[0];
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.icon, c.icon);
    EXPECT_EQ(box.buttons, c.buttons);
    EXPECT_EQ(box.default_button, c.default_button);
    if (c.halt) {
      ASSERT_TRUE(halt.has_value()) << "returned " << result;
      EXPECT_EQ(*halt, c.halt);
      ASSERT_EQ(backend.trace().size(), 2u);
      EXPECT_EQ(backend.trace()[0].rfind("box ", 0), 0u);  // the box came first
    } else {
      EXPECT_FALSE(halt.has_value()) << "halted: " << *halt;
      EXPECT_EQ(result, c.result);
    }
  }
  EXPECT_EQ(covered.size(), static_cast<std::size_t>(kStandardWarningCount));
}

TEST_F(StandardWarningsTest, EntryFormsWithFewerTextsLeaveTheRestEmpty) {
  current_ = {.code = 2, .text = "File Not Found"};
  backend_.script().Answer(rt::ButtonOk).Answer(rt::ButtonOk).Answer(rt::ButtonOk);
  EXPECT_EQ(ShowStandardWarning(context_, WarnFileAccessError, "TEMPFILE"), rt::ButtonOk);
  EXPECT_EQ(ShowStandardWarning(context_, WarnAboveRange, "Minutes"), rt::ButtonOk);
  EXPECT_EQ(ShowStandardWarning(context_, WarnFileEmpty), rt::ButtonOk);
  ASSERT_EQ(backend_.boxes().size(), 3u);
  EXPECT_EQ(backend_.boxes()[0].text, "File (TEMPFILE) could not be opened.  Error: File Not Found (2).");
  EXPECT_EQ(backend_.boxes()[1].text, "The value of Minutes must be lower than .");
  EXPECT_EQ(backend_.boxes()[2].text, " File Load Error.  The file you've requested contains no text.");
}

TEST_F(StandardWarningsTest, QuestionsReturnWhicheverButtonWasPressed) {
  for (int answer : {rt::ButtonYes, rt::ButtonNo, rt::ButtonCancel}) {
    SCOPED_TRACE(answer);
    EXPECT_EQ(Raise(WarnSaveOnCancel, "", "", answer).result, answer);
  }
  EXPECT_EQ(Raise(WarnAutoNumberError, "", "", rt::ButtonCancel).result, rt::ButtonCancel);
  EXPECT_EQ(Raise(WarnConfirmDelete, "", "", rt::ButtonCancel).result, rt::ButtonCancel);
}

TEST_F(StandardWarningsTest, InvalidKeyReturnsYesUnlessTheAnswerIsNo) {
  Outcome yes = Raise(WarnInvalidKey, "APPS", "", rt::ButtonYes);
  EXPECT_FALSE(yes.halt.has_value());
  EXPECT_EQ(yes.result, 2);

  Outcome no = Raise(WarnInvalidKey, "APPS", "", rt::ButtonNo);
  ASSERT_TRUE(no.halt.has_value()) << "returned " << no.result;
  EXPECT_EQ(*no.halt, "Invalid Key!");
  EXPECT_EQ(backend_.boxes().size(), 2u);
}

TEST_F(StandardWarningsTest, FileAccessErrorNamesTheFileAndTheStoreError) {
  current_ = {.code = 5, .text = "Access Denied"};
  Raise(WarnFileAccessError, "APPS", "", rt::ButtonOk);
  EXPECT_EQ(backend_.boxes().back().text, "File (APPS) could not be opened.  Error: Access Denied (5).");
}

struct DescriptionCase {
  const char* what;
  StoreErrorState current;
  KeptStoreError kept;
  const char* expected;
};

TEST_F(StandardWarningsTest, ErrorDescriptionPrefersTheKeptErrorAndTheFileSystemMessage) {
  const StoreErrorState file_error{.code = 90, .text = "File System Error", .file_code = "5  ",
                                   .file_message = "Access is denied.   "};
  const DescriptionCase cases[] = {
      {"current store error", {.code = 33, .text = "Record Not Available  "}, {}, "Record Not Available (33)"},
      {"current file-system error", file_error, {}, "Access is denied. (5)"},
      {"kept store error over current",
       {.code = 33, .text = "Record Not Available"},
       {.SavedErrorCode = 47, .SavedErrorText = "Invalid Record Declaration   "},
       "Invalid Record Declaration (47)"},
      {"kept file-system error uses its file text and code",
       file_error,
       {.SavedErrorCode = 90, .SavedErrorText = "File System Error", .SavedFileErrorCode = 32,
        .SavedFileErrorText = "The process cannot access the file  "},
       "The process cannot access the file (32)"},
      {"kept non-file error ignores the kept file fields",
       {},
       {.SavedErrorCode = 89, .SavedErrorText = "Record Changed By Another Station", .SavedFileErrorCode = 5,
        .SavedFileErrorText = "Access is denied."},
       "Record Changed By Another Station (89)"},
  };
  for (const DescriptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    current_ = c.current;
    kept_ = c.kept;
    EXPECT_EQ(DescriptionShown(), c.expected);
  }
}

TEST_F(StandardWarningsTest, ErrorDescriptionIsCutAt150Characters) {
  struct Cut {
    std::size_t text_length;
    const char* tail;  // what is left of " (33)" after the run of x's
  };
  // " (33)" adds five characters; a cut that ends on its blank loses the blank as well.
  for (Cut c : {Cut{145, " (33)"}, Cut{148, " ("}, Cut{149, ""}, Cut{200, ""}}) {
    SCOPED_TRACE(::testing::Message() << "store text of " << c.text_length << " characters");
    current_ = {.code = 33, .text = std::string(c.text_length, 'x')};
    EXPECT_EQ(DescriptionShown(), std::string(std::min<std::size_t>(c.text_length, 150), 'x') + c.tail);
  }
  // The kept text can hold 255 characters; only 150 reach the message.
  kept_ = {.SavedErrorCode = 47, .SavedErrorText = std::string(255, 'k')};
  EXPECT_EQ(DescriptionShown(), std::string(150, 'k'));
}

TEST_F(StandardWarningsTest, KeptErrorIsShownOnceByWhicheverWarningComesNext) {
  current_ = {.code = 33, .text = "Record Not Available"};
  kept_ = {.SavedErrorCode = 47, .SavedErrorText = "Invalid Record Declaration", .SavedFileErrorCode = 3,
           .SavedFileErrorText = "Path not found"};
  Raise(WarnConfirmDelete, "", "", rt::ButtonOk);  // a warning that does not show the description
  ExpectNothingKept();
  EXPECT_EQ(DescriptionShown(), "Record Not Available (33)");

  kept_ = {.SavedErrorCode = 47, .SavedErrorText = "Invalid Record Declaration"};
  EXPECT_EQ(DescriptionShown(), "Invalid Record Declaration (47)");
  ExpectNothingKept();
  EXPECT_EQ(DescriptionShown(), "Record Not Available (33)");
}

TEST_F(StandardWarningsTest, HaltingWarningAndUnknownIdsAlsoClearTheKeptError) {
  kept_ = {.SavedErrorCode = 47, .SavedErrorText = "Invalid Record Declaration"};
  Outcome out = Raise(WarnFileCreationError, "APPS", "", rt::ButtonOk);
  EXPECT_EQ(out.halt, "File Creation Error!");
  EXPECT_EQ(backend_.boxes().back().text,
            "Error: (Invalid Record Declaration (47)) creating APPS.  Press OK to end this application.");
  ExpectNothingKept();

  // No box is expected: the script holds no answer, so one would fail the test.
  for (std::int32_t id : {0, -1, 39, 1000}) {
    SCOPED_TRACE(id);
    kept_ = {.SavedErrorCode = 90, .SavedErrorText = "File System Error", .SavedFileErrorCode = 5,
             .SavedFileErrorText = "Access is denied."};
    EXPECT_EQ(ShowStandardWarning(context_, id, "APPS", "TempFile"), 0);
    ExpectNothingKept();
  }
  EXPECT_EQ(backend_.boxes().size(), 1u);
}

TEST_F(StandardWarningsTest, UpdateErrorSaysChangedByAnotherStationForCodes0And89) {
  const std::string changed = "This record was changed by another station.";
  struct UpdateCase {
    const char* what;
    StoreErrorState current;
    KeptStoreError kept;
    std::string expected;
  };
  const UpdateCase cases[] = {
      {"kept 89 over current 33",
       {.code = 33, .text = "Record Not Available"},
       {.SavedErrorCode = 89, .SavedErrorText = "Record Changed By Another Station"},
       changed},
      {"current 89", {.code = 89, .text = "Record Changed By Another Station"}, {}, changed},
      {"current 0", {}, {}, changed},
      {"kept 47 over current 0",
       {},
       {.SavedErrorCode = 47, .SavedErrorText = "Invalid Record Declaration"},
       "An error (Invalid Record Declaration (47)) was experienced when attempting to update a record from the "
       "file.  Probable Cause: Record Locked."},
      {"current 90",
       {.code = 90, .text = "File System Error", .file_code = "32", .file_message = "Sharing violation"},
       {},
       "An error (Sharing violation (32)) was experienced when attempting to update a record from the file.  "
       "Probable Cause: Record Locked."},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.what);
    current_ = c.current;
    kept_ = c.kept;
    Raise(WarnUpdateError, "Record Locked", "", rt::ButtonOk);
    EXPECT_EQ(backend_.boxes().back().caption, "Update Operation Error");
    EXPECT_EQ(backend_.boxes().back().text, c.expected);
    ExpectNothingKept();
  }
}

}  // namespace
}  // namespace messages
