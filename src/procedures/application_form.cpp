// UpdateApps over UPDATEAPPS$FORMWINDOW. Its own logic is the application's file name: a full path
// typed or looked up, split into the directory and the name the record stores, and checked before
// it is saved: the file must exist, and the record must hold its path exactly (a path too long
// for the record's fields is replaced by the file's short path where the system has one). The
// form also shows and sets the application's build order number, which is kept beside Apps with
// its last result, once the record itself is saved.
#include "procedures/application_form.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "messages/standard_warnings.h"
#include "platform/directory_lister.h"
#include "platform/fixed_string.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "files/app_path.h"
#include "files/change_guard.h"
#include "procedures/application_form_def.h"
#include "procedures/record_form.h"
#include "store/last_results.h"

namespace procedures {
namespace {

using rt::EventKind;
namespace f = application_form_field;

// A whole Windows path (MAX_PATH with its NUL).
constexpr std::size_t kFullPathWidth = 259;
// The file dialog's path buffer holds 80 bytes with its terminating NUL.
constexpr std::size_t kDialogPathLimit = 79;
constexpr const char* kLookupTitle = "Choose a File";
constexpr const char* kLookupFilter = "Application files|*.app|Dictionary Files|*.dct";
constexpr const char* kLookupStart = "\\cw20";

using files::WithSeparator;

class ApplicationForm final : public RecordForm {
 public:
  explicit ApplicationForm(Program& program)
      : RecordForm(program, kApplicationFormWindow,
                   {program.files.Apps, &program.files.APP, sizeof(store::AppsRecord), files::ChangeAppsRecord,
                    files::DeleteAppsRecord},
                   f::FileName, f::OK, f::Cancel),
        app_(program.files.APP), lister_(program.services.lister) {}

 private:
  void Prepare() override {
    FillFileName();
    if (Request != ChangeRecord) return;
    std::map<std::string, store::LastResult> kept;
    store::LastResults().ReadAll(kept);  // unread, it shows 0, and an unchanged 0 is not written
    auto found = kept.find(Key());
    if (found != kept.end()) BuildOrder = found->second.order;
    found_order_ = BuildOrder;
    found_key_ = Key();
  }

  void Opened(rt::Window& window) override {
    window.Bind(f::FileName, FileName);
    window.Bind(f::APP_DriveNPath, app_.DriveNPath);
    window.Bind(f::APP_Tag, app_.Tag);
    window.Bind(f::APP_Application, app_.Application);
    window.Bind(f::BuildOrder, BuildOrder);
    if (Request == InsertRecord) window.SetTitle("Record will be Added");
    else if (Request == ChangeRecord) window.SetTitle("Record will be Changed");
  }

  bool Insert(rt::Window& window) override {
    store::RecordFile& apps = program_.files.Apps;
    apps.Add();
    const std::int32_t code = program_.files.store.error.code;
    if (code == store::kNoError) {
      Response = RequestCompleted;
      window.Post(EventKind::CloseWindow);
      return false;
    }
    // A duplicate the key cannot confirm is still a failed insert, which the user must learn.
    if (code == store::kDuplicateKey && apps.Duplicate()) Warn(messages::WarnDuplicateKey, "APP:DriveKey");
    else Warn(messages::WarnInsertError);
    window.Select(first_field_);
    return true;
  }

  void ChangedElsewhere() override { FillFileName(); }

 public:
  // After the form: a saved application keeps the build order number shown (one whose path
  // changed takes its number along); a deleted one takes its number and last result away, so the
  // same path added again starts afresh. A number that cannot be kept or removed is reported.
  void KeepBuildOrder() {
    if (Response != RequestCompleted) return;
    if (EntryRequest == DeleteRecord) {
      store::LastResults results;
      if (results.Forget(app_.DriveNPath.str(), app_.Application.str())) return;
      runtime_.Message("The application was deleted, but its build order and last result could not be removed.\n\n" +
                           results.Error(),
                       "Build Order", rt::BoxIcon::Exclamation, rt::ButtonOk);
      return;
    }
    if (EntryRequest != InsertRecord && EntryRequest != ChangeRecord) return;
    if (BuildOrder == found_order_ && (Key() == found_key_ || BuildOrder == 0)) return;
    store::LastResults results;
    if (results.SetOrder(app_.DriveNPath.str(), app_.Application.str(), BuildOrder)) return;
    runtime_.Message("The application was saved, but its build order could not be kept.\n\n" + results.Error(),
                     "Build Order", rt::BoxIcon::Exclamation, rt::ButtonOk);
  }

 private:
  std::string Key() const { return store::LastResultKey(app_.DriveNPath.str(), app_.Application.str()); }

  void ControlEvent(rt::Window& window) override {
    if (window.Kind() != EventKind::Accepted) return;
    switch (window.Field()) {
      case f::FileName:
        // Only the user's own acceptance splits the path: in the accept-all pass the move to OK
        // would end the pass, and the form would never save.
        if (window.InAcceptAll()) break;
        SplitFileName(window, std::string(FileName.Trimmed()));
        window.Select(f::OK);
        break;
      case f::LookupFile:
        LookUpFile(window);
        break;
      case f::APP_DriveNPath:
        app_.DriveNPath = WithSeparator(app_.DriveNPath.Trimmed());
        if (!window.InAcceptAll()) cut_ = false;  // the user has made the directory their own
        window.Display(f::APP_DriveNPath);
        break;
      case f::APP_Application:
        if (!window.InAcceptAll()) cut_ = false;
        break;
      default:
        break;
    }
  }

  // The existence check on what will be stored: the directory (with its final separator, which the
  // accept-all pass adds) and the name, exactly as the record's fields hold them.
  bool CheckBeforeSave(rt::Window& window) override {
    if (cut_) {
      runtime_.Beep();
      runtime_.Message(
          "The path is too long to be stored: the directory may hold 80 characters and the file name 12, "
          "and the system gives this file no short name to use instead.",
          "Path Too Long", rt::BoxIcon::Stop, rt::ButtonOk);
      window.Select(f::FileName);
      return false;
    }
    const std::string directory = WithSeparator(app_.DriveNPath.Trimmed());
    const std::string name(app_.Application.Trimmed());
    if ((directory + name).find_first_of("*?") != std::string::npos) {
      runtime_.Beep();
      runtime_.Message("A name with * or ? stands for many files; a ? may also be a letter that the records' code "
                       "page (Windows-1252) cannot hold. Choose the application file itself, or its short (8.3) name.",
                       "Don't Do That!", rt::BoxIcon::Stop, rt::ButtonOk);
      window.Select(f::LookupFile);
      return false;
    }
    if (std::string device; files::IsDeviceName(name, &device)) {
      runtime_.Beep();
      runtime_.Message(name + " is the name of the device " + device + ", which Windows opens instead of a file. "
                       "Rename the application file.",
                       "Don't Do That!", rt::BoxIcon::Stop, rt::ButtonOk);
      window.Select(f::LookupFile);
      return false;
    }
    std::vector<platform::DirectoryEntry> found;
    if (name.empty() || lister_.List(directory + name, found) != 0 || found.empty()) {
      runtime_.Beep();
      runtime_.Message("File not found. Press DosFileLookUp button to call File Lookup Dialog.",
                       "Don't Do That!", rt::BoxIcon::Stop, rt::ButtonOk);
      window.Select(f::LookupFile);
      return false;
    }
    return true;
  }

  void FillFileName() { FileName = std::string(app_.DriveNPath.Trimmed()) + std::string(app_.Application.Trimmed()); }

  // Splits `full` into the record's directory and name. A path whose parts do not fit the fields is
  // replaced by the file's short path when there is one; otherwise the cut parts are shown, but
  // the form will not save them (cut_).
  void SplitFileName(rt::Window& window, std::string full) {
    files::AppPath parts = files::FitAppPath(full, lister_);
    cut_ = !parts.Fits();
    if (!cut_) FileName = full;
    app_.Application = parts.name;
    app_.DriveNPath = parts.directory;
    window.Display();
  }

  void LookUpFile(rt::Window& window) {
    std::string start(FileName.IsBlank() ? std::string_view(kLookupStart) : FileName.Trimmed());
    if (start.size() > kDialogPathLimit) start.resize(kDialogPathLimit);
    std::string full(FileName.Trimmed());
    if (auto chosen = runtime_.OpenFile(kLookupTitle, kLookupFilter, start)) {
      full = *chosen;
      FileName = full;
      RefreshWindow(window);
    }
    SplitFileName(window, full);
  }

  store::AppsRecord& app_;
  platform::DirectoryLister& lister_;
  // The full path: directory and name joined. It holds a whole Windows path, so that a path too
  // long for the record reaches the short-path lookup uncut.
  platform::FixedString<kFullPathWidth> FileName;
  bool cut_ = false;              // the fields hold a path cut to fit, which must not be saved
  std::int32_t BuildOrder = 0;    // 0: none
  std::int32_t found_order_ = 0;  // the number and key the form found, to tell what changed
  std::string found_key_;
};

}  // namespace

void UpdateApps(Program& program) {
  ApplicationForm form(program);
  form.Run();
  form.KeepBuildOrder();
}

}  // namespace procedures
