// The build manager's side of the main window: the list's build order and last-result columns, the
// two batch choices beside the operation buttons, the build order on the application form, and
// "Tag failed only" in the list's popup menu. Main runs with the fake IDE in a folder of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "files/open_record_file.h"
#include "ide_fake_services.h"
#include "procedures/application_form_def.h"
#include "procedures/main.h"
#include "procedures/main_def.h"
#include "procedures/program.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "store/last_results.h"
#include "store/store_test_support.h"

namespace procedures {
namespace {

namespace fs = std::filesystem;
namespace f = main_field;
namespace af = application_form_field;

class LastResultsWindowTest : public ::testing::Test {
 protected:
  // Tagged applications, stored in this order, each with its .APP file.
  void AddTagged(std::initializer_list<const char*> names) {
    files::OpenRecordFile(runtime_, program_.files, program_.files.Apps);
    for (const char* name : names) {
      program_.files.APP.DriveNPath = dir_;
      program_.files.APP.Application = name;
      program_.files.APP.Tag = 1;
      program_.files.Apps.Add();
      std::ofstream(folder_ / name) << "application";
    }
    program_.files.Apps.Close();
  }
  // Row `row` of the list as "name|order|last result|icon|tag".
  static std::string Row(rt::Window& w, int row) {
    const rt::ListSource& rows = *w.state(f::Browse_1).source;
    const rt::Cell last = rows.CellAt(row, 5);
    return rows.CellAt(row, 3).text + "|" + rows.CellAt(row, 4).text + "|" + last.text + "|" +
           std::to_string(last.icon) + (rows.IconAt(row) == 1 ? "|tagged" : "|");
  }
  rt::headless::Script& script() { return backend_.script(); }

  store_test::InFreshDirectory in_folder_;
  const fs::path folder_ = in_folder_.path();
  const std::string dir_ = folder_.string() + "/";
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices services_{backend_.virtual_clock()};
  Program program_{runtime_, services_.services};
};

// C is numbered 1 and goes first; A is refused by the IDE, and with "Stop at first failure" ticked B
// is never sent. The list then shows each result with its icon and the whole result as the tip,
// and "Tag failed only" tags A and B, which both need making.
TEST_F(LastResultsWindowTest, AfterABatchStoppedAtItsFailureTheListShowsEachResultAndTagsTheFailedOne) {
  AddTagged({"A.APP", "B.APP", "C.APP"});
  ASSERT_TRUE(store::LastResults().SetOrder(dir_, "C.APP", 1));
  services_.ide.FailCommand(2, {.kind = doubles::CommandFault::Kind::kRefuse, .error_number = 12,
                                .error_message = "3 errors"});
  services_.ide.SetResultDelay(200);
  script()
      .Inspect([](rt::Window& w) { EXPECT_EQ(Row(w, 3), "C.APP|1||0|tagged"); })
      .Check(f::StopOnFailure, true)
      .Press(f::MakeExe)
      .Inspect([](rt::Window& w) {
        EXPECT_FALSE(w.state(f::StopOnFailure).enabled) << "the batch's choices stay as it took them";
        EXPECT_FALSE(w.state(f::OnlyChanged).enabled);
      })
      // While the batch runs, the list's menu offers nothing that changes a record or a tag.
      .SelectRow(f::Browse_1, 2, rt::key::kMouseRight)
      .ChoosePopup(0)
      .Inspect([this](rt::Window&) {
        EXPECT_EQ(backend_.popups().back(), "~&Insert|~Chan&ge|~&Delete|-|~T&ag all|~U&ntag all|~Tag &failed only");
      })
      .Wait(1000)
      .Answer(rt::ButtonOk, "3 errors")  // the IDE's refusal, told as it comes
      .Inspect([](rt::Window& w) {
        EXPECT_TRUE(w.state(f::StopOnFailure).enabled);
        EXPECT_EQ(Row(w, 1), "A.APP||failed: 3 errors|3|tagged");
        EXPECT_EQ(Row(w, 2), "B.APP||not reached|4|tagged");
        // The time of day in the one form the program shows it in, the tip's.
        std::smatch made;
        const std::string row3 = Row(w, 3);
        ASSERT_TRUE(std::regex_match(row3, made, std::regex(R"(C\.APP\|1\|made (\d\d?:\d\d[AP]M)\|2\|tagged)"))) << row3;
        EXPECT_NE(w.state(f::Browse_1).source->CellAt(3, 5).tip.find(" " + made[1].str() + ","), std::string::npos);
        const std::string tip = w.state(f::Browse_1).source->CellAt(1, 5).tip;
        EXPECT_TRUE(tip.starts_with("failed, Gen & Make (.EXE), ")) << tip;
        EXPECT_TRUE(tip.ends_with(": 3 errors")) << tip;
        EXPECT_TRUE(w.state(f::Browse_1).source->CellAt(3, 5).tip.starts_with("made, "));
        EXPECT_TRUE(w.state(f::Browse_1).source->CellAt(2, 5).tip.starts_with("not reached, Gen & Make (.EXE), "));
      })
      .SelectRow(f::Browse_1, 2, rt::key::kMouseRight)
      .ChoosePopup(6)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(Row(w, 1), "A.APP||failed: 3 errors|3|tagged");
        EXPECT_EQ(Row(w, 2), "B.APP||not reached|4|tagged");
        EXPECT_EQ(Row(w, 3).substr(Row(w, 3).size() - 2), "2|");
      })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(script().Done());
  EXPECT_EQ(services_.ide.Commands(),
            (std::vector<std::string>{"[ExecuteProject(" + dir_ + "C.app)]", "[ExecuteProject(" + dir_ + "A.app)]"}));
}

// With "Only changed" ticked, A, whose .EXE is newer than its .APP, is not sent; its build order,
// set on the form, then shows in the list and is kept beside its last result. An application
// inserted with a number shows it too.
TEST_F(LastResultsWindowTest, OnlyChangedSkipsTheUpToDateOneAndTheFormSetsItsBuildOrder) {
  AddTagged({"A.APP", "B.APP"});
  std::ofstream(folder_ / "A.EXE") << "program";
  std::ofstream(folder_ / "C.APP") << "application";
  // Before the virtual today (3/1/24): an output dated after now would not count as up to date.
  const auto made = std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::sys_days(std::chrono::year(2024) / 2 / 29)));
  fs::last_write_time(folder_ / "A.EXE", made);
  fs::last_write_time(folder_ / "A.APP", made - std::chrono::hours(1));
  script()
      .Check(f::OnlyChanged, true)
      .Press(f::MakeExe)
      .Wait(500)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(Row(w, 1), "A.APP||up to date|2|tagged");
        EXPECT_TRUE(Row(w, 2).starts_with("B.APP||made ")) << Row(w, 2);
      })
      .Press(f::Change)  // A, highlighted
      .In("UPDATEAPPS$FORMWINDOW")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(af::BuildOrder).text, "0"); })
      .Type(af::BuildOrder, "7")
      .Press(af::OK)
      .In("MAIN$WINDOW")
      .Inspect([](rt::Window& w) { EXPECT_EQ(Row(w, 1), "A.APP|7|up to date|2|tagged"); })
      .Press(f::Change)
      .In("UPDATEAPPS$FORMWINDOW")
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(af::BuildOrder).text, "7"); })
      .Press(af::Cancel)
      .In("MAIN$WINDOW")
      .Press(f::Insert)  // a new application gets its number as it is added
      .In("UPDATEAPPS$FORMWINDOW")
      .Type(af::FileName, dir_ + "C.APP")
      .Type(af::BuildOrder, "3")
      .Press(af::OK)
      .In("MAIN$WINDOW")
      .Inspect([](rt::Window& w) { EXPECT_EQ(Row(w, 3), "C.APP|3||0|"); })
      .Press(f::Close);
  Main(program_);
  EXPECT_TRUE(script().Done());
  EXPECT_EQ(services_.ide.Commands(), std::vector<std::string>{"[ExecuteProject(" + dir_ + "B.app)]"});
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(store::LastResults().ReadAll(kept));
  EXPECT_EQ(kept[store::LastResultKey(dir_, "A.APP")].order, 7);
  EXPECT_EQ(kept[store::LastResultKey(dir_, "A.APP")].outcome, "skipped as up to date");
}

}  // namespace
}  // namespace procedures
