// The application form as the user meets it through the main window, over a real Apps file in a
// folder of its own: adding from an empty list, the path split and its existence check (wildcards,
// paths too long for the record, short names), changing with another station in the way, and
// deleting without ever seeing the form.
#include "procedures/application_form.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ide_fake_services.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "files/files.h"
#include "store/last_results.h"
#include "store/store_test_support.h"
#include "procedures/application_form_def.h"
#include "procedures/main.h"
#include "procedures/main_def.h"
#include "files/app_path.h"
#include "procedures/program.h"
#include "short_names_lister.h"

namespace procedures {
namespace {

namespace af = application_form_field;
namespace mf = main_field;
namespace fs = std::filesystem;
constexpr const char* kForm = "UPDATEAPPS$FORMWINDOW";
constexpr const char* kMain = "MAIN$WINDOW";

class ApplicationFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_.set_visible_rows(4);
    program_.files.store.timing.ordinary_wait_ms = 20;
    program_.files.store.timing.second_ms = 10;
  }

  std::string Dir() const { return dir_.string() + "/"; }
  std::string Touch(const std::string& name) {
    std::ofstream(dir_ / name) << "app";
    return Dir() + name;
  }
  // Adds a record as another station would.
  void Seed(const std::string& directory, const std::string& name, int tag = 0) {
    store_test::SeedApps({{directory, name, tag}});
  }
  // The stored records in key order, as "directory|name|tag".
  static std::vector<std::string> Stored() {
    std::vector<std::string> rows;
    files::Files reader;
    reader.Apps.Open();
    reader.Apps.Set(store::Order::Key);
    for (reader.Apps.Next(); reader.store.error.code == 0; reader.Apps.Next())
      rows.push_back(reader.APP.DriveNPath.str() + "|" + reader.APP.Application.str() + "|" +
                     std::to_string(reader.APP.Tag));
    return rows;
  }
  // Another station rewrites the first record's directory.
  static void MoveElsewhere(const std::string& directory) {
    files::Files other;
    other.Apps.Open();
    other.Apps.Set(store::Order::Key);
    other.Apps.Next();
    other.APP.DriveNPath = directory;
    other.Apps.Put();
    ASSERT_EQ(other.store.error.code, 0) << other.store.error.text;
  }
  static std::string Text(rt::Window& w, int field) { return w.state(field).text; }

  rt::headless::Script& script() { return backend_.script(); }
  void RunMain() {
    script().In(kMain).CloseBox();
    Main(program_);
    EXPECT_TRUE(script().Done()) << script().Remaining() << " steps left";
  }
  std::vector<std::string> BoxCaptions() const {
    std::vector<std::string> captions;
    for (const rt::MessageBoxSpec& box : backend_.boxes()) captions.push_back(box.caption);
    return captions;
  }

  store_test::InFreshDirectory folder_;
  const fs::path dir_ = folder_.path();
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices fakes_{backend_.virtual_clock()};
  test_doubles::ShortNamesLister lister_;
  Services services_{fakes_.ide, fakes_.starter, lister_};
  Program program_{runtime_, services_};
};

TEST_F(ApplicationFormTest, InsertFromAnEmptyFolderSplitsTheTypedPathAndShowsTheNewRowHighlighted) {
  Touch("invoice.app");
  Seed(Dir() + "zz/", "LAST.APP");  // a second row, after the new one in key order
  script()
      .In(kMain)
      .Press(mf::Insert)
      .In(kForm)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.Title(), "Record will be Added");
        EXPECT_EQ(w.FocusField(), af::FileName);
        EXPECT_EQ(Text(w, af::FileName), "");
      })
      .Type(af::FileName, Dir() + "invoice.app")
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(Text(w, af::APP_DriveNPath), Dir());
        EXPECT_EQ(Text(w, af::APP_Application), "invoice.app");
        EXPECT_EQ(w.FocusField(), af::OK);
      })
      .Check(af::APP_Tag, true)
      .Press(af::OK)
      .In(kMain)
      .Inspect([](rt::Window& w) {
        const rt::ListSource& rows = *w.state(mf::Browse_1).source;
        ASSERT_EQ(rows.RowCount(), 2);
        EXPECT_EQ(w.SelectedRow(mf::Browse_1), 1);
        EXPECT_EQ(rows.CellAt(1, 3).text, "invoice.app");
        EXPECT_EQ(rows.IconAt(1), 1);  // tagged
        EXPECT_TRUE(w.state(mf::Change).enabled);
      });
  RunMain();
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "|invoice.app|1", Dir() + "zz/|LAST.APP|0"}));
  EXPECT_TRUE(backend_.boxes().empty());
}

TEST_F(ApplicationFormTest, LookupStartsAtCw20OrTheCutPathAndCancellingStillSplits) {
  const std::string app = Touch("PAYROLL.APP");
  const std::string deep = Dir() + std::string(70, 'd') + "/X.APP";  // over 80 characters
  script()
      .In(kMain)
      .Press(mf::Insert)
      .In(kForm)
      .Press(af::LookupFile)
      .ChooseFile(deep)  // a path too long for the record, with no short name on this system
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(Text(w, af::APP_Application), "X.APP");
        EXPECT_EQ(Text(w, af::APP_DriveNPath), files::KeyedFolder(Dir() + std::string(70, 'd') + "/"));
      })
      .Press(af::OK)
      .Answer(rt::ButtonOk, "File not found")  // looked for by its long path
      .Press(af::LookupFile)
      .CancelFile()
      .Type(af::FileName, app)
      .Press(af::LookupFile)
      .CancelFile()
      .Inspect([](rt::Window& w) { EXPECT_EQ(Text(w, af::APP_Application), "PAYROLL.APP"); })
      .Press(af::OK);
  RunMain();
  const auto& dialogs = backend_.file_dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[0].initial, "\\cw20");
  EXPECT_EQ(dialogs[0].title, "Choose a File");
  EXPECT_EQ(dialogs[0].filter, "Application files|*.app|Dictionary Files|*.dct");
  EXPECT_EQ(dialogs[1].initial, deep.substr(0, 79));  // the dialog's path holds 80 bytes with its NUL
  EXPECT_EQ(dialogs[2].initial, app);
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "|PAYROLL.APP|0"}));
}

TEST_F(ApplicationFormTest, OnlyAnExistingSingleFileThatTheRecordCanHoldIsSaved) {
  Touch("ACME.APP");
  Touch("aux.App");
  // A path far over the entry's old 90 characters, and the short one the system gives it.
  const std::string long_folder = std::string(120, 'f');
  fs::create_directory(dir_ / long_folder);
  const std::string long_path = Touch(long_folder + "/LONGAPPLICATIONNAME.APP");
  lister_.Name(long_folder, "FFFFFF~1");
  lister_.Name("LONGAPPLICATIONNAME.APP", "LONGAP~1.APP");
  script()
      .In(kMain)
      .Press(mf::Insert)
      .In(kForm)
      .Type(af::FileName, Dir() + "MISSING.APP")
      .Press(af::OK)
      .Answer(rt::ButtonOk, "File not found. Press DosFileLookUp button")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.FocusField(), af::LookupFile); })
      .Type(af::FileName, Dir() + "*.APP")  // matches files, but names none of them
      .Press(af::OK)
      .Answer(rt::ButtonOk, "stands for many files")
      .Type(af::FileName, Dir() + "aux.App")  // a file on disk, but a device to Windows
      .Press(af::OK)
      .Answer(rt::ButtonOk, "aux.App is the name of the device AUX, which Windows opens instead of a file")
      .Type(af::FileName, long_path)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(Text(w, af::FileName), long_path);  // the user's names; the record's short ones below
        EXPECT_EQ(Text(w, af::APP_DriveNPath), Dir() + "FFFFFF~1/");
        EXPECT_EQ(Text(w, af::APP_Application), "LONGAP~1.APP");
      })
      .Press(af::OK);
  RunMain();
  EXPECT_EQ(BoxCaptions(), (std::vector<std::string>{"Don't Do That!", "Don't Do That!", "Don't Do That!"}));
  EXPECT_EQ(backend_.beeps(), 3);
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "FFFFFF~1/|LONGAP~1.APP|0"}));
}

TEST_F(ApplicationFormTest, TheDirectoryGetsItsFinalSeparatorAndTheExistingKeyIsRefused) {
  Touch("ACME.APP");
  Seed(Dir(), "ACME.APP");
  std::string bare = dir_.string();  // no final separator
  script()
      .In(kMain)
      .Press(mf::Insert)
      .In(kForm)
      .Type(af::APP_DriveNPath, bare)
      .Inspect([this](rt::Window& w) { EXPECT_EQ(Text(w, af::APP_DriveNPath), Dir()); })
      .Type(af::APP_DriveNPath, std::string(80, 'x'))  // full: no room for the separator
      .Inspect([](rt::Window& w) { EXPECT_EQ(Text(w, af::APP_DriveNPath), std::string(80, 'x')); })
      .Type(af::APP_DriveNPath, bare)
      .Type(af::APP_Application, "acme.app")  // the key ignores letter case
      .Press(af::OK)
      .Answer(rt::ButtonOk, "duplicate entry for the key:APP:DriveKey")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.FocusField(), af::FileName); })
      .Press(af::Cancel);
  RunMain();
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "|ACME.APP|0"}));
}

TEST_F(ApplicationFormTest, ChangeSavesTheEditAndAnUnchangedOkWritesNothing) {
  Touch("ACME.APP");
  Seed(Dir(), "ACME.APP");
  script()
      .In(kMain)
      .Press(mf::Change)
      .In(kForm)
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(w.Title(), "Record will be Changed");
        EXPECT_EQ(Text(w, af::FileName), Dir() + "ACME.APP");
      })
      .Check(af::APP_Tag, true)
      .Press(af::OK)
      .In(kMain)
      .Key(mf::Browse_1, rt::key::kMouseLeft2)  // a double click opens the form to change too
      .In(kForm)
      // Another station changes the record now; confirming without a change writes nothing, so
      // it meets no conflict and the other station's change stands.
      .Inspect([this](rt::Window&) { MoveElsewhere(Dir() + "moved/"); })
      .Press(af::OK);
  RunMain();
  EXPECT_TRUE(backend_.boxes().empty());
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "moved/|ACME.APP|1"}));
}

TEST_F(ApplicationFormTest, AChangeAnotherStationMadeFirstShowsItsPathAndTheFormStays) {
  Touch("ACME.APP");
  Seed(Dir(), "ACME.APP");
  script()
      .In(kMain)
      .Press(mf::Change)
      .In(kForm)
      .Inspect([this](rt::Window&) { MoveElsewhere(Dir() + "moved/"); })
      .Check(af::APP_Tag, true)
      .Press(af::OK)
      .Answer(rt::ButtonOk, "This record was changed by another station")
      .Inspect([this](rt::Window& w) {
        EXPECT_EQ(Text(w, af::FileName), Dir() + "moved/ACME.APP");
        EXPECT_EQ(Text(w, af::APP_DriveNPath), Dir() + "moved/");
        EXPECT_FALSE(w.state(af::APP_Tag).checked);
        EXPECT_EQ(w.FocusField(), af::FileName);
      })
      .Key(af::FileName, rt::key::kEsc);  // Esc leaves as Cancel does
  RunMain();
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "moved/|ACME.APP|0"}));
}

// Another station holds the file in a transaction until the user has said to try again.
TEST_F(ApplicationFormTest, AFailedChangeAsksToRetryAndYesSavesOnceTheFileIsFree) {
  Touch("ACME.APP");
  Seed(Dir(), "ACME.APP");
  files::Files other;
  other.Apps.Open();
  store_test::VirtualWaitClock clock;
  program_.files.store.timing.clock = &clock;
  clock.on_wait = [&](const std::string&) {
    if (clock.waits == 2) other.Apps.Rollback();
  };
  script()
      .In(kMain)
      .Inspect([&](rt::Window&) { other.Apps.BeginTransaction(1); })
      .Press(mf::Change)
      .In(kForm)
      .Check(af::APP_Tag, true)
      .Press(af::OK)
      .Answer(rt::ButtonOk, "Update")  // the transaction could not start
      .Answer(rt::ButtonYes, "Do you want to try to save again?");
  RunMain();
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "|ACME.APP|1"}));
}

TEST_F(ApplicationFormTest, DeleteAsksOnlyForConfirmationAndNeverShowsTheForm) {
  Seed(Dir(), "A.APP");
  Seed(Dir(), "B.APP");
  ASSERT_TRUE(store::LastResults().SetOrder(Dir(), "A.APP", 3));
  ASSERT_TRUE(store::LastResults().SetOrder(Dir(), "B.APP", 4));
  files::Files other;
  other.Apps.Open();
  store_test::VirtualWaitClock clock;
  program_.files.store.timing.clock = &clock;
  script()
      .In(kMain)
      .Press(mf::Delete)
      .Answer(rt::ButtonCancel, "Press OK to confirm deletion")
      .Inspect([&](rt::Window&) { other.Apps.BeginTransaction(1); })
      .Key(mf::Browse_1, rt::key::kDelete)
      .Answer(rt::ButtonOk, "Press OK to confirm deletion")
      .Answer(rt::ButtonOk, "Delete")  // the transaction could not start
      .Answer(rt::ButtonNo, "deleting this record")
      .Inspect([&](rt::Window&) { other.Apps.Rollback(); })
      .Press(mf::Delete)
      .Answer(rt::ButtonOk, "Press OK to confirm deletion")
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.state(mf::Browse_1).source->RowCount(), 1);
        EXPECT_EQ(w.state(mf::Browse_1).source->CellAt(1, 3).text, "B.APP");
      });
  RunMain();
  EXPECT_EQ(Stored(), (std::vector<std::string>{Dir() + "|B.APP|0"}));
  EXPECT_GT(clock.waits, 0);
  // The deleted application's build order goes with it; the other keeps its own.
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(store::LastResults().ReadAll(kept));
  EXPECT_FALSE(kept.contains(store::LastResultKey(Dir(), "A.APP")));
  EXPECT_EQ(kept[store::LastResultKey(Dir(), "B.APP")].order, 4);
}

// With lower-case paths the thumb still follows the highlight through the list.
TEST_F(ApplicationFormTest, TheThumbFollowsLowerCasePaths) {
  for (char c = 'a'; c <= 'z'; ++c) Seed(std::string("c:/") + c + "/", "x.app");
  std::vector<int> thumbs;
  auto note = [&](rt::Window& w) { thumbs.push_back(w.Thumb(mf::Browse_1)); };
  script().In(kMain).Inspect(note);
  for (int i = 0; i < 3; ++i) script().Key(mf::Browse_1, rt::key::kPgDn).Inspect(note);
  RunMain();
  ASSERT_EQ(thumbs.size(), 4u);
  for (std::size_t i = 1; i < thumbs.size(); ++i) EXPECT_GT(thumbs[i], thumbs[i - 1]) << i;
}

}  // namespace
}  // namespace procedures
