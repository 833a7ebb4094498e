// Resizable windows and what is kept between runs: the layout that grows the list and keeps the
// other controls at their nearest edges, a kept place fitted to the screen, the settings table
// beside the records, and Main showing more rows when it grows and reopening as it was left.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "files/files.h"
#include "ide_fake_services.h"
#include "procedures/kept_settings.h"
#include "procedures/main.h"
#include "procedures/main_def.h"
#include "procedures/program.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/model_peer.h"
#include "runtime/resize_layout.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "store/last_results.h"
#include "store/settings.h"
#include "store/store_test_support.h"

namespace {

namespace f = procedures::main_field;
using rt::Anchor;
using rt::Box;

TEST(ResizeLayout, MainWindowListGrowsButtonsKeepTheirEdgesAndGroupsMoveWhole) {
  const rt::WindowDef& def = procedures::kMainWindow;
  const rt::ResizeLayout layout(def, rt::DefinedBoxes(def), def.w, def.h);
  EXPECT_EQ(layout.grower(), f::Browse_1);
  const Anchor top_left{}, bottom_left{.bottom = true}, bottom_right{.right = true, .bottom = true};
  // Below the list, on its right: the list's own buttons go with its bottom-right corner.
  for (int field : {f::Tag, f::Insert, f::Change, f::Delete}) EXPECT_EQ(layout.anchor(field), bottom_right) << field;
  for (int field : {f::Close, f::Log, f::Credit, f::Logo}) EXPECT_EQ(layout.anchor(field), bottom_left) << field;
  // A group's buttons follow the group, whichever half their own centres are in; a prompt its field.
  for (int field : {f::ApplicationGroup, f::MakeExe, f::MakeDll, f::ExportTxa, f::ImportTxa, f::TimeOut,
                    f::TimeOut_Prompt})
    EXPECT_EQ(layout.anchor(field), top_left) << field;
  for (int field : {f::ConnectionGroup, f::ServerActive, f::Connect, f::Disconnect, f::LastAction,
                    f::LastAction_Prompt})
    EXPECT_EQ(layout.anchor(field), bottom_left) << field;

  const auto designed = rt::DefinedBoxes(def);
  const auto grown = layout.Place(def.w + 100, def.h + 60);
  auto at = [](const std::vector<Box>& boxes, int field) { return boxes[static_cast<std::size_t>(field - 1)]; };
  const Box list = at(designed, f::Browse_1), del = at(designed, f::Delete), connect = at(designed, f::Connect);
  EXPECT_EQ(at(grown, f::Browse_1), (Box{list.left, list.top, list.right + 100, list.bottom + 60}));
  EXPECT_EQ(at(grown, f::Delete), (Box{del.left + 100, del.top + 60, del.right + 100, del.bottom + 60}));
  EXPECT_EQ(at(grown, f::Connect), (Box{connect.left, connect.top + 60, connect.right, connect.bottom + 60}));
  EXPECT_EQ(at(grown, f::MakeExe), at(designed, f::MakeExe));
  // Never smaller than the definition: a smaller size lays out as the definition does.
  EXPECT_EQ(layout.Place(def.w - 50, def.h - 50), designed);
}

TEST(ResizeLayout, ControlsBesideTheListKeepToTheirSideAndGroupsTakeWhatLiesInside) {
  // A list on the left with a button beside it and one below it, and a group on the right with a
  // control inside its frame that the definition does not count as a member.
  const std::array controls{
      rt::ControlDef{.name = "?List", .kind = rt::ControlKind::List, .x = 0, .y = 0, .w = 60, .h = 80},
      rt::ControlDef{.name = "?Beside", .kind = rt::ControlKind::Button, .x = 62, .y = 70, .w = 20, .h = 10},
      rt::ControlDef{.name = "?Group", .kind = rt::ControlKind::Group, .x = 120, .y = 10, .w = 70, .h = 50},
      rt::ControlDef{.name = "?Inside", .kind = rt::ControlKind::Check, .x = 125, .y = 45, .w = 40, .h = 10},
      rt::ControlDef{.name = "?Below", .kind = rt::ControlKind::Button, .x = 10, .y = 85, .w = 20, .h = 10},
  };
  const rt::WindowDef def{.id = "TEST", .w = 200, .h = 100, .controls = controls, .resizable = true};
  const rt::ResizeLayout layout(def, rt::DefinedBoxes(def), def.w, def.h);
  // Its centre is in the left half, but the grown list must not run into it.
  EXPECT_EQ(layout.anchor(2), (Anchor{.right = true, .bottom = true}));
  EXPECT_EQ(layout.anchor(3), (Anchor{.right = true}));
  EXPECT_EQ(layout.anchor(4), layout.anchor(3));
  EXPECT_EQ(layout.anchor(5), (Anchor{.bottom = true}));
  const auto placed = layout.Place(300, 150);
  EXPECT_EQ(placed[1].left, 162);
  EXPECT_EQ(placed[3], (Box{225, 45, 265, 55}));
}

TEST(ResizeLayout, KeptPlaceIsFittedToTheScreen) {
  const Box screen{0, 0, 1024, 768};
  rt::WindowPlacement huge{.x = 50, .y = 40, .width = 3000, .height = 2000, .maximised = true};
  EXPECT_EQ(rt::FitPlacement(huge, screen, 400, 300),
            (rt::WindowPlacement{.x = 0, .y = 0, .width = 1024, .height = 768, .maximised = true}));
  rt::WindowPlacement tiny_off_screen{.x = 5000, .y = -300, .width = 10, .height = 10};
  EXPECT_EQ(rt::FitPlacement(tiny_off_screen, screen, 400, 300),
            (rt::WindowPlacement{.x = 624, .y = 0, .width = 400, .height = 300}));
  rt::WindowPlacement unplaced{.width = 500, .height = 400};
  EXPECT_EQ(rt::FitPlacement(unplaced, screen, 400, 300), unplaced);
}

class KeptSettingsTest : public ::testing::Test {
 protected:
  static void Put(const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store::kLastResultsFile, &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  store_test::InFreshDirectory folder_;
};

TEST_F(KeptSettingsTest, RoundTripBesideTheLastResultsLeavesOutWhatMakesNoSenseAndABadFileAlone) {
  store::Settings settings;
  std::map<std::string, std::int64_t> values{{"stale", 1}};
  EXPECT_TRUE(settings.ReadAll(values));
  EXPECT_TRUE(values.empty());
  EXPECT_FALSE(std::filesystem::exists(store::kLastResultsFile)) << "reading made a file";
  EXPECT_FALSE(procedures::KeptPlacement(procedures::kMainWindow));

  store::LastResults results;
  ASSERT_TRUE(results.SetOrder("C:\\A\\", "ONE.APP", 3)) << results.Error();
  ASSERT_TRUE(settings.Write({{"MAIN$WINDOW.Width", 700}, {"MAIN$WINDOW.Height", 500}, {"DDETimeOut", 42}}));
  ASSERT_TRUE(settings.Write({{"MAIN$WINDOW.X", -20}, {"MAIN$WINDOW.Y", 30}, {"MAIN$WINDOW.Maximised", 1}}));
  EXPECT_EQ(procedures::KeptPlacement(procedures::kMainWindow),
            (rt::WindowPlacement{.x = -20, .y = 30, .width = 700, .height = 500, .maximised = true}));
  EXPECT_EQ(procedures::KeptTimeOut(1, 99), 42);
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(results.ReadAll(kept));
  EXPECT_EQ(kept.begin()->second.order, 3);

  // A damaged X beside a valid Y: the size holds, the place is the system's.
  for (const char* x : {"'left'", "2000000", "NULL"}) {
    Put((std::string("UPDATE Settings SET Value = ") + x + " WHERE Name = 'MAIN$WINDOW.X'").c_str());
    EXPECT_EQ(procedures::KeptPlacement(procedures::kMainWindow),
              (rt::WindowPlacement{.width = 700, .height = 500, .maximised = true}))
        << x;
  }

  // Damaged values: text where a number belongs, sizes and a time-out out of range.
  Put("UPDATE Settings SET Value = 'wide' WHERE Name = 'MAIN$WINDOW.Width'");
  EXPECT_FALSE(procedures::KeptPlacement(procedures::kMainWindow));
  Put("UPDATE Settings SET Value = -5 WHERE Name = 'MAIN$WINDOW.Width'");
  EXPECT_FALSE(procedures::KeptPlacement(procedures::kMainWindow));
  for (const char* minutes : {"0", "100", "'ten'"}) {
    Put((std::string("UPDATE Settings SET Value = ") + minutes + " WHERE Name = 'DDETimeOut'").c_str());
    EXPECT_FALSE(procedures::KeptTimeOut(1, 99)) << minutes;
  }

  // A file that is no database at all: defaults, a quiet failure, and the file left as it was.
  std::filesystem::remove(store::kLastResultsFile);
  { std::ofstream(store::kLastResultsFile) << "this is not a database file, and it is long enough to say so"; }
  const auto size = std::filesystem::file_size(store::kLastResultsFile);
  EXPECT_FALSE(settings.ReadAll(values));
  EXPECT_FALSE(settings.Write({{"DDETimeOut", 20}}));
  EXPECT_FALSE(procedures::KeptTimeOut(1, 99));
  EXPECT_FALSE(procedures::KeptPlacement(procedures::kMainWindow));
  EXPECT_EQ(std::filesystem::file_size(store::kLastResultsFile), size);
}

// Main over 40 applications: the list fills the rows its height holds, more when the window
// grows (the highlighted application stays), and the next start opens maximised as it was left.
// A new time-out is kept as soon as it is set.
TEST_F(KeptSettingsTest, ResizedMainWindowShowsMoreRowsAndReopensAsItWasLeft) {
  std::vector<store_test::SeededApp> apps;
  for (int i = 10; i < 50; ++i) apps.push_back({"C:\\APPS\\P" + std::to_string(i) + "\\", "A" + std::to_string(i) + ".APP"});
  ASSERT_NO_FATAL_FAILURE(store_test::SeedApps(apps));
  rt::headless::HeadlessBackend backend;
  rt::Runtime runtime{backend};
  ide_test::FakeServices services{backend.virtual_clock()};
  procedures::Program program{runtime, services.services};
  auto rows = [](rt::Window& w) { return w.state(f::Browse_1).source->RowCount(); };
  auto highlighted = [](rt::Window& w) {
    return w.state(f::Browse_1).source->CellAt(w.SelectedRow(f::Browse_1), 2).text;
  };
  const int at_first = (procedures::kMainWindow.control(f::Browse_1).h - 10) / 10;
  backend.script()
      .Inspect([&](rt::Window& w) { EXPECT_EQ(rows(w), at_first); })
      .SelectRow(f::Browse_1, 3)
      .Resize(procedures::kMainWindow.w + 50, procedures::kMainWindow.h + 100)
      .Inspect([&](rt::Window& w) {
        EXPECT_EQ(rows(w), at_first + 10);
        EXPECT_EQ(highlighted(w), "C:\\APPS\\P12\\");
      })
      .Maximise()
      .Inspect([&](rt::Window& w) { EXPECT_EQ(rows(w), 40); })
      .Spin(f::TimeOut, 1)  // kept at once, not only when the window closes
      .Inspect([](rt::Window&) { EXPECT_EQ(procedures::KeptTimeOut(1, 99), 16); })
      .CloseBox();
  procedures::Main(program);
  EXPECT_TRUE(backend.script().Done());

  backend.script()
      .Inspect([&](rt::Window& w) {
        EXPECT_TRUE(w.Placement().maximised);
        EXPECT_EQ(w.Placement().width, procedures::kMainWindow.w + 50);
        EXPECT_EQ(rows(w), 40);
      })
      .CloseBox();
  procedures::Main(program);
  EXPECT_TRUE(backend.script().Done());
  EXPECT_TRUE(backend.boxes().empty());
}

}  // namespace
