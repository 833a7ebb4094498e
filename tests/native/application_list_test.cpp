// The application list in the main window, over a real Apps file: rows with their tag marks, the
// Tag button walking down the list, type-ahead without regard to case, the empty list, and the
// rebuild after another station changed the file.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ide_fake_services.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/program.h"
#include "files/files.h"
#include "files/open_record_file.h"
#include "store/last_results.h"
#include "store/settings.h"
#include "store/store_test_support.h"
#include "procedures/main.h"
#include "procedures/main_def.h"

namespace procedures {
namespace {

namespace f = main_field;
using rt::EventKind;

// Longer than type-ahead's pause between the letters of one word.
constexpr std::int64_t kPause = 150;

struct App {
  const char* path;
  const char* name;
  int tag;
};

class ApplicationListTest : public ::testing::Test {
 protected:
  void SetUp() override { backend_.set_visible_rows(4); }

  // Writes the records through a connection of its own, as another station would.
  void Seed(const std::vector<App>& apps) {
    std::vector<store_test::SeededApp> seeded;
    for (const App& a : apps) seeded.push_back({a.path, a.name, a.tag});
    store_test::SeedApps(seeded);
  }
  void RemoveOther(const char* path) {
    files::Files other;
    other.Apps.Open();
    other.APP.DriveNPath = path;
    other.APP.Application.Clear();
    other.Apps.SetToKeyValue();
    other.Apps.Next();
    ASSERT_EQ(other.APP.DriveNPath.str(), path);
    other.Apps.Delete();
    ASSERT_EQ(other.store.error.code, 0);
    other.Apps.Close();
  }
  int TagOf(const char* path) {
    files::Files other;
    other.Apps.Open();
    other.APP.DriveNPath = path;
    other.APP.Application.Clear();
    other.Apps.SetToKeyValue();
    other.Apps.Next();
    int tag = other.APP.Tag;
    other.Apps.Close();
    return tag;
  }

  // The page as "path+" (tagged) or "path", the highlighted row marked with '>'.
  static std::string Shown(rt::Window& w) {
    std::string out;
    const rt::ListSource* rows = w.state(f::Browse_1).source;
    for (int r = 1; r <= rows->RowCount(); ++r) {
      if (!out.empty()) out += ' ';
      if (r == w.SelectedRow(f::Browse_1)) out += '>';
      out += rows->CellAt(r, 2).text;
      if (rows->IconAt(r) == 1) out += '+';
    }
    return out;
  }
  rt::headless::Script& Expect(const std::string& page) {
    return backend_.script().Inspect([page](rt::Window& w) { EXPECT_EQ(Shown(w), page); });
  }
  rt::headless::Script& script() { return backend_.script(); }
  void RunMain() {
    script().CloseBox();
    Main(program_);
    EXPECT_TRUE(script().Done());
  }

  store_test::InFreshDirectory folder_;
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices services_{backend_.virtual_clock()};  // the IDE is running
  procedures::Program program_{runtime_, services_.services};
};

TEST_F(ApplicationListTest, ListsTheApplicationsInKeyOrderWithTheirTagMarks) {
  Seed({{"D:\\B\\", "TWO.APP", 1}, {"d:\\a\\", "ONE.APP", 0}, {"E:\\C\\", "THREE.APP", 1}});
  Expect(">d:\\a\\ D:\\B\\+ E:\\C\\+");
  script().Inspect([](rt::Window& w) {
    const rt::ControlState& list = w.state(f::Browse_1);
    EXPECT_EQ(list.icons.at(0), "CHECK.ICO");
    EXPECT_EQ(list.source->CellAt(1, 3).text, "ONE.APP");
    EXPECT_EQ(list.source->CellAt(2, 1).text, " ");  // the tag column shows no text
    EXPECT_FALSE(w.ScrollBarShown(f::Browse_1));     // three rows fit
  });
  RunMain();
}

TEST_F(ApplicationListTest, TagTogglesTheRecordAndMovesTheHighlightDown) {
  Seed({{"A:\\", "A.APP", 0}, {"B:\\", "B.APP", 0}, {"C:\\", "C.APP", 1}});
  script().Press(f::Tag);
  Expect("A:\\+ >B:\\ C:\\+");
  script().Press(f::Tag);
  Expect("A:\\+ B:\\+ >C:\\+");
  script().Press(f::Tag);  // the last application: untagged, and the highlight stays on it
  Expect("A:\\+ B:\\+ >C:\\");
  script().Key(f::Browse_1, rt::key::kUp).Key(f::Browse_1, rt::key::kUp).Press(f::Tag);
  Expect("A:\\ >B:\\+ C:\\");  // A untagged again, the highlight on to B
  RunMain();
  EXPECT_EQ(TagOf("A:\\"), 0);
  EXPECT_EQ(TagOf("B:\\"), 1);
  EXPECT_EQ(TagOf("C:\\"), 0);
}

TEST_F(ApplicationListTest, TypeAheadFindsPathsAndNamesWithoutRegardToCase) {
  Seed({{"C:\\ONE\\", "X.APP", 0}, {"c:\\two\\", "X.APP", 0}, {"D:\\", "pay.APP", 0}, {"E:\\", "X.APP", 0}});
  script().TypeChar(f::Browse_1, 'c');  // the highlighted path begins with C: on to the next
  Expect("C:\\ONE\\ >c:\\two\\ D:\\ E:\\");
  script().TypeChar(f::Browse_1, 'c');  // the next begins with D: back to the first C
  Expect(">C:\\ONE\\ c:\\two\\ D:\\ E:\\");
  script().Wait(kPause).TypeChar(f::Browse_1, 'e');
  Expect("C:\\ONE\\ c:\\two\\ D:\\ >E:\\");
  script().Wait(kPause).TypeChar(f::Browse_1, 'P');  // by the application's name, going round the list
  Expect("C:\\ONE\\ c:\\two\\ >D:\\ E:\\");
  RunMain();
}

// Letters typed within a second make one word, which goes to the next path or application it
// begins (through the key's index, going round to the top); a pause starts a new word, and a word
// that begins nothing beeps and leaves the highlight where it is.
TEST_F(ApplicationListTest, TypeAheadTakesAWordTypedWithinASecond) {
  Seed({{"C:\\A\\", "PAY.APP", 0}, {"C:\\A\\", "PAYABLE.APP", 0}, {"C:\\B\\", "ALPHA.APP", 0},
        {"C:\\B\\", "PAYROLL.APP", 0}, {"D:\\", "PAYROLL.APP", 0}, {"E:\\", "X.APP", 0}, {"PAYROLL\\", "Y.APP", 0}});
  auto type = [&](const char* word, const char* lands_on) {
    for (const char* c = word; *c != '\0'; ++c) script().TypeChar(f::Browse_1, *c);
    script().Inspect([lands_on, word](rt::Window& w) {
      const rt::ListSource* rows = w.state(f::Browse_1).source;
      const int r = w.SelectedRow(f::Browse_1);
      EXPECT_EQ(rows->CellAt(r, 2).text + rows->CellAt(r, 3).text, lands_on) << word;
    });
  };
  type("payroll", "C:\\B\\PAYROLL.APP");
  script().Wait(kPause);
  type("x", "E:\\X.APP");
  script().Wait(kPause);
  type("pay", "PAYROLL\\Y.APP");  // its path
  script().Wait(kPause);
  type("alpha", "C:\\B\\ALPHA.APP");  // round to the top
  type("x", "C:\\B\\ALPHA.APP");
  RunMain();
  EXPECT_EQ(backend_.beeps(), 1);
}

// Applications stored by short names or stand-ins show the long paths kept beside them, the stored
// path in their tips; type-ahead finds them by their long names too, the nearer one first.
TEST_F(ApplicationListTest, LongNamesAreShownTippedAndFoundByTypeAhead) {
  Seed({{"C:\\DEV\\SALE~KF2\\", "CAMP~NSY.APP", 0}, {"C:\\Dev\\", "|K3F9Q2X.APP", 0}, {"E:\\", "PAYEE.APP", 0}});
  store::LastResults results;
  ASSERT_TRUE(results.SetLongPath("C:\\DEV\\SALE~KF2\\", "CAMP~NSY.APP", "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP"));
  ASSERT_TRUE(results.SetLongPath("C:\\Dev\\", "|K3F9Q2X.APP", "C:\\Dev\\Payroll (old).APP"));
  script().Inspect([](rt::Window& w) {
    const rt::ListSource* rows = w.state(f::Browse_1).source;
    EXPECT_EQ(rows->CellAt(1, 2).text + rows->CellAt(1, 3).text, "C:\\Dev\\Payroll (old).APP");
    EXPECT_EQ(rows->CellAt(2, 2).text + rows->CellAt(2, 3).text, "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP");
    EXPECT_EQ(rows->CellAt(2, 3).tip, "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP\nStored as C:\\DEV\\SALE~KF2\\CAMP~NSY.APP");
  });
  script().TypeChar(f::Browse_1, 'c');
  Expect("C:\\Dev\\ >C:\\Dev\\Sales & Marketing\\ E:\\");
  script().Wait(kPause);
  for (const char c : std::string("payroll (")) script().TypeChar(f::Browse_1, c);  // no stored name begins so
  Expect(">C:\\Dev\\ C:\\Dev\\Sales & Marketing\\ E:\\");
  script().Wait(kPause);
  for (const char c : std::string("pay")) script().TypeChar(f::Browse_1, c);  // the stored PAYEE.APP is nearer
  Expect("C:\\Dev\\ C:\\Dev\\Sales & Marketing\\ >E:\\");
  RunMain();
}

TEST_F(ApplicationListTest, EmptyListKeepsTheWindowAndOffersOnlyInsert) {
  Seed({});
  script().Inspect([](rt::Window& w) {
    EXPECT_EQ(w.state(f::Browse_1).source->RowCount(), 0);
    EXPECT_FALSE(w.state(f::Change).enabled);
    EXPECT_FALSE(w.state(f::Delete).enabled);
    EXPECT_TRUE(w.state(f::Insert).enabled);
  });
  script().SelectRow(f::Browse_1, 1, rt::key::kMouseRight).ChoosePopup(0);
  script().Press(f::Tag);  // nothing to tag
  RunMain();
  EXPECT_EQ(backend_.popups(),
            std::vector<std::string>{"&Insert|~Chan&ge|~&Delete|-|~T&ag all|~U&ntag all|~Tag &failed only"});
}

TEST_F(ApplicationListTest, PopupEntriesPressTheListButtonsOrTagEveryApplication) {
  Seed({{"A:\\", "A.APP", 0}, {"B:\\", "B.APP", 1}});
  script().SelectRow(f::Browse_1, 1, rt::key::kMouseRight).ChoosePopup(2);
  script()
      .In("UPDATEAPPS$FORMWINDOW")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.Title(), "Record will be Changed"); })
      .CloseBox()
      .In("MAIN$WINDOW");
  Expect(">A:\\ B:\\+");
  script().SelectRow(f::Browse_1, 1, rt::key::kMouseRight).ChoosePopup(4);
  Expect(">A:\\+ B:\\+");
  script().SelectRow(f::Browse_1, 1, rt::key::kMouseRight).ChoosePopup(5);
  Expect(">A:\\ B:\\");
  RunMain();
  EXPECT_EQ(backend_.popups(),
            std::vector<std::string>(3, "&Insert|Chan&ge|&Delete|-|T&ag all|U&ntag all|Tag &failed only"));
  EXPECT_EQ(TagOf("B:\\"), 0);
}

TEST_F(ApplicationListTest, RegainedFocusShowsWhatAnotherStationChanged) {
  Seed({{"A:\\", "A.APP", 0}, {"B:\\", "B.APP", 0}, {"C:\\", "C.APP", 0}, {"D:\\", "D.APP", 0}, {"E:\\", "E.APP", 0}});
  script().Key(f::Browse_1, rt::key::kDown);
  Expect("A:\\ >B:\\ C:\\ D:\\");
  script().Inspect([this](rt::Window&) {
    Seed({{"BB:\\", "N.APP", 1}});
    RemoveOther("C:\\");
  });
  script().Raise(EventKind::GainFocus);
  Expect(">B:\\ BB:\\+ D:\\ E:\\");
  script().Inspect([this](rt::Window&) { RemoveOther("B:\\"); });
  script().Raise(EventKind::GainFocus);
  // The highlighted record is gone: the next one, on a page topped up from above.
  Expect("A:\\ >BB:\\+ D:\\ E:\\");
  RunMain();
}

// Every path shares "C:\": the thumb's stops still come from the records, so each drop of the thumb
// lands on its own part of the list, and the thumb then shows where the highlight stands.
TEST_F(ApplicationListTest, ThumbReachesEveryPartOfPathsSharingTheirDrive) {
  std::vector<std::string> paths;
  for (int i = 0; i < 206; ++i) paths.push_back("C:\\APP" + std::to_string(1000 + i) + "\\");
  std::vector<App> apps;
  for (const std::string& p : paths) apps.push_back({p.c_str(), "X.APP", 0});
  Seed(apps);
  for (int position : {2, 20, 40, 50, 60, 80, 98}) {
    script().Thumb(f::Browse_1, position);
    script().Inspect([&, position](rt::Window& w) {
      const rt::ListSource* rows = w.state(f::Browse_1).source;
      EXPECT_EQ(rows->CellAt(w.SelectedRow(f::Browse_1), 2).text, paths[(position - 1) * 205 / 99]);
      EXPECT_EQ(w.Thumb(f::Browse_1), position);
    });
  }
  RunMain();
}

// Two hundred applications in one folder: the stops are whole keys, path and application, so each
// drop of the thumb lands on the application at its share of the list.
TEST_F(ApplicationListTest, ThumbReachesEveryApplicationOfOneFolder) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back("A" + std::to_string(1000 + i) + ".APP");
  std::vector<App> apps;
  for (const std::string& n : names) apps.push_back({"C:\\SHOP\\", n.c_str(), 0});
  Seed(apps);
  for (int position : {2, 50, 98}) {
    script().Thumb(f::Browse_1, position);
    script().Inspect([&, position](rt::Window& w) {
      const rt::ListSource* rows = w.state(f::Browse_1).source;
      EXPECT_EQ(rows->CellAt(w.SelectedRow(f::Browse_1), 3).text, names[(position - 1) * 199 / 99]);
      EXPECT_EQ(w.Thumb(f::Browse_1), position);
    });
  }
  RunMain();
}

// While another program holds the file of kept settings and results, Main opens at once with its
// defaults and says so once; the results show when the file is free, and what the window kept
// when it closed (column widths and the batch choices among them) holds at the next start.
TEST_F(ApplicationListTest, AHeldFileDelaysNothingIsToldOnceAndColumnsAndChoicesAreKept) {
  Seed({{"C:\\A\\", "ONE.APP", 0}});
  ASSERT_TRUE(store::LastResults().Record({.folder = "C:\\A\\", .application = "ONE.APP", .operation = "Export",
                                           .outcome = "failed", .date = 1, .clock = 0}));
  ASSERT_TRUE(store::Settings().Write({{"MAIN$WINDOW.Width", 900}, {"MAIN$WINDOW.Height", 700}}));
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(store::kLastResultsFile, &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto last_result = [](rt::Window& w) { return w.state(f::Browse_1).source->CellAt(1, 5).text; };
  script()
      .Answer(rt::ButtonOk, "Another program is using APPSLAST.db")
      .Inspect([&](rt::Window& w) {
        EXPECT_NE(w.Placement().width, 900);
        EXPECT_EQ(last_result(w), "");
      })
      .Wait(300)  // the list looks for the results again, and says nothing more
      .Inspect([&](rt::Window&) { sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr); })
      .Wait(200)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(last_result(w), "failed");
        w.UserColumnWidth(f::Browse_1, 2, 123);
      })
      .Check(f::StopOnFailure, true);
  RunMain();
  sqlite3_close(holder);
  EXPECT_EQ(backend_.boxes().size(), 1u);

  script().Inspect([&](rt::Window& w) {
    EXPECT_EQ(w.state(f::Browse_1).columns[1].width, 123);
    EXPECT_TRUE(w.state(f::StopOnFailure).checked);
    EXPECT_FALSE(w.state(f::OnlyChanged).checked);
  });
  RunMain();
  EXPECT_EQ(backend_.boxes().size(), 1u);
}

TEST_F(ApplicationListTest, ChangesByAnotherConnectionShowUpWhileIdleAndOnF5) {
  Seed({{"A:\\", "A.APP", 0}, {"C:\\", "C.APP", 0}});
  Expect(">A:\\ C:\\");
  script().Inspect([this](rt::Window&) { Seed({{"B:\\", "B.APP", 1}}); });
  script().Wait(150);  // the window's timer looks at the file's change counter
  Expect(">A:\\ B:\\+ C:\\");
  script().Inspect([this](rt::Window&) { RemoveOther("C:\\"); });
  script().Key(f::Browse_1, rt::key::kF5);
  Expect(">A:\\ B:\\+");
  RunMain();
}

// The highlighted application was deleted by another station, which then added one of the same
// name: no button acts on that newer record or any other; the list shows it highlighted instead.
TEST_F(ApplicationListTest, ButtonsOnAnApplicationDeletedElsewhereActOnNoOtherOne) {
  Seed({{"A:\\", "A.APP", 0}, {"B:\\", "B.APP", 0}, {"C:\\", "C.APP", 0}});
  script().Key(f::Browse_1, rt::key::kDown);
  Expect("A:\\ >B:\\ C:\\");
  for (int button : {f::Tag, f::Change, f::Delete}) {
    script().Inspect([this](rt::Window&) {
      RemoveOther("B:\\");
      Seed({{"B:\\", "B.APP", 0}});
    });
    script().Press(button);  // neither a form nor a confirmation comes up
    Expect("A:\\ >B:\\ C:\\");
  }
  RunMain();
  EXPECT_EQ(TagOf("B:\\"), 0);
  EXPECT_EQ(TagOf("C:\\"), 0);
  EXPECT_TRUE(backend_.boxes().empty());
}

}  // namespace
}  // namespace procedures
