// UpdateApps over UPDATEAPPS$FORMWINDOW. Its own logic is the application's file name: a full path
// typed or looked up, split into the directory and the name the record stores (files::StoreAppPath:
// each folder stored alike for all its applications, short forms or stand-ins where the long names
// do not fit), and checked before it is saved: the file must exist. The path the user gave, by its
// long names, is what the form shows and what it keeps beside Apps with the application's build
// order number and last result, once the record itself is saved; other records of its folder
// stored under another spelling then take this one.
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
#include "files/folder_mend.h"
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
    if (found != kept.end()) {
      BuildOrder = found->second.order;
      long_path_ = found->second.long_path;
    }
    found_order_ = BuildOrder;
    found_key_ = Key();
    found_long_path_ = long_path_;
    FillFileName();
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
  // changed takes its number along) and the long path it was given; a deleted one takes its
  // number and last result away, so the same path added again starts afresh. A number that cannot
  // be kept or removed is reported.
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
    KeepLongPath();
    MendFolder();
    if (BuildOrder == found_order_ && (Key() == found_key_ || BuildOrder == 0)) return;
    store::LastResults results;
    if (results.SetOrder(app_.DriveNPath.str(), app_.Application.str(), BuildOrder)) return;
    runtime_.Message("The application was saved, but its build order could not be kept.\n\n" + results.Error(),
                     "Build Order", rt::BoxIcon::Exclamation, rt::ButtonOk);
  }

 private:
  std::string Key() const { return store::LastResultKey(app_.DriveNPath.str(), app_.Application.str()); }
  std::string StoredPath() const { return app_.DriveNPath.str() + app_.Application.str(); }

  // The long path beside the saved record: the one it was given, or none where it is the stored
  // path itself (then an old one is forgotten).
  void KeepLongPath() {
    const std::string long_path = long_path_ == StoredPath() ? std::string() : long_path_;
    if (long_path == found_long_path_ && (Key() == found_key_ || long_path.empty())) return;
    store::LastResults results;
    if (results.SetLongPath(app_.DriveNPath.str(), app_.Application.str(), long_path)) return;
    runtime_.Message("The application was saved, but its long path could not be kept.\n\n" + results.Error(),
                     "Long Path", rt::BoxIcon::Exclamation, rt::ButtonOk);
  }

  // The other applications of the saved one's folder take its spelling, and the record saved
  // stays the current one for the list to show.
  void MendFolder() {
    files::Files& files = program_.files;
    const store::AppsRecord saved = app_;
    const store::RecordPosition position = files.Apps.Position(store::Order::Key);
    store::LastResults results;
    const files::MendReport report = files::MendFolder(files, lister_, results, saved.DriveNPath.str());
    files.Apps.Reread(position);
    if (files.store.error.code != store::kNoError) app_ = saved;
    std::string problems;
    for (const std::string& line : report.problems) problems += line + "\n";
    if (!report.unread.empty()) problems += report.unread + "\n";
    if (problems.empty()) return;
    runtime_.Message("The application was saved, but other applications of its folder keep another spelling of "
                     "it.\n\n" + problems,
                     "One Folder, One Spelling", rt::BoxIcon::Exclamation, rt::ButtonOk);
  }

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
        if (!window.InAcceptAll()) OwnPath();  // the user has made the directory their own
        window.Display(f::APP_DriveNPath);
        break;
      case f::APP_Application:
        if (!window.InAcceptAll()) OwnPath();
        break;
      default:
        break;
    }
  }

  // The existence check on what will be stored: the directory (with its final separator, which the
  // accept-all pass adds) and the name, exactly as the record's fields hold them.
  bool CheckBeforeSave(rt::Window& window) override {
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
    // A stand-in names nothing on disk: the file is looked for by the long path kept with it.
    std::vector<platform::DirectoryEntry> found;
    if (name.empty() || lister_.List(files::CommandPath(directory, name, long_path_), found) != 0 || found.empty()) {
      runtime_.Beep();
      runtime_.Message("File not found. Press DosFileLookUp button to call File Lookup Dialog.",
                       "Don't Do That!", rt::BoxIcon::Stop, rt::ButtonOk);
      window.Select(f::LookupFile);
      return false;
    }
    return true;
  }

  // The path shown: the long one kept, or the record's own.
  void FillFileName() { FileName = long_path_.empty() ? StoredPath() : long_path_; }

  // The directory or name typed by the user: the record's own path is now the one to keep.
  void OwnPath() { long_path_.clear(); }

  // Splits `full` into the record's directory and name, as StoreAppPath stores it; the long path
  // is shown and kept.
  void SplitFileName(rt::Window& window, const std::string& full) {
    const files::StoredPath stored = files::StoreAppPath(full, lister_);
    long_path_ = stored.long_path;
    FileName = long_path_;
    app_.Application = stored.parts.name;
    app_.DriveNPath = stored.parts.directory;
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
  std::string long_path_;         // the path the user gave, by its long names; "" when none is known
  std::string found_long_path_;   // the long path kept when the form opened
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
