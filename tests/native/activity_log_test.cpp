// The activity log and its record form through the main window's Log button, over a real TempFile:
// a batch's records in time order, a record opened in its form, the log that never stays open
// empty, dates that keep their century, and the select mode.
#include "procedures/activity_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ide_fake_services.h"
#include "platform/directory_lister.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "files/files.h"
#include "store/store_test_support.h"
#include "procedures/activity_log_def.h"
#include "procedures/activity_record.h"
#include "procedures/activity_record_def.h"
#include "procedures/main.h"
#include "procedures/main_def.h"
#include "procedures/program.h"

namespace procedures {
namespace {

namespace lf = activity_log_field;
namespace rf = activity_record_field;
namespace mf = main_field;
namespace fs = std::filesystem;
constexpr const char* kMain = "MAIN$WINDOW";
constexpr const char* kLog = "VIEWEVENTS$BROWSEWINDOW";
constexpr const char* kRecord = "UPDATEEVENTS$FORMWINDOW";

class ActivityLogTest : public ::testing::Test {
 protected:
  void SetUp() override { backend_.set_visible_rows(5); }

  // A log record written as a batch would.
  static void Log(const std::string& app, std::int32_t date, std::int32_t clock, const std::string& event) {
    files::Files other;
    if (!fs::exists("TEMPFILE.db")) other.TempFile.Create();
    other.TempFile.Open();
    other.TMP.Apps = app;
    other.TMP.Date = date;
    other.TMP.Clock = clock;
    other.TMP.Event = event;
    other.TempFile.Add();
    ASSERT_EQ(other.store.error.code, 0) << other.store.error.text;
  }
  // The stored log in key order, as "app|date|clock|event".
  static std::vector<std::string> Stored() {
    std::vector<std::string> rows;
    files::Files reader;
    reader.TempFile.Open();
    reader.TempFile.Set(store::Order::Key);
    for (reader.TempFile.Next(); reader.store.error.code == 0; reader.TempFile.Next())
      rows.push_back(reader.TMP.Apps.str() + "|" + std::to_string(reader.TMP.Date) + "|" +
                     std::to_string(reader.TMP.Clock) + "|" + reader.TMP.Event.str());
    return rows;
  }
  // The log window's page in the same form.
  static std::vector<std::string> Shown(rt::Window& w) {
    std::vector<std::string> rows;
    const rt::ListSource& page = *w.state(lf::Browse_1).source;
    for (int r = 1; r <= page.RowCount(); ++r)
      rows.push_back(page.CellAt(r, 1).text + "|" + std::to_string(page.CellAt(r, 2).number) + "|" +
                     std::to_string(page.CellAt(r, 3).number) + "|" + page.CellAt(r, 4).text);
    return rows;
  }

  rt::headless::Script& script() { return backend_.script(); }
  void RunMain() {
    script().In(kMain).CloseBox();
    Main(program_);
    EXPECT_TRUE(script().Done()) << script().Remaining() << " steps left";
  }

  store_test::InFreshDirectory folder_;
  const fs::path dir_ = folder_.path();
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  ide_test::FakeServices fakes_{backend_.virtual_clock()};
  Program program_{runtime_, fakes_.services};
};

TEST_F(ActivityLogTest, AfterABatchTheLogShowsItsStepsInTimeOrderAndOpensARecordInItsForm) {
  const std::string dir = dir_.string() + "/";
  store_test::SeedApps({{dir, "B.APP", 1}, {dir, "A.APP", 1}});
  for (const char* name : {"B.APP", "A.APP"}) std::ofstream(dir_ / name) << "application";
  std::vector<std::string> shown;
  script()
      .In(kMain)
      .Press(mf::MakeExe)
      .Wait(1000)
      .Wait(1000)
      .Press(mf::Log)
      .In(kLog)
      .Inspect([&](rt::Window& w) {
        shown = Shown(w);
        EXPECT_EQ(w.Title(), "Acitivity Log");
        EXPECT_TRUE(w.state(lf::Select).hidden);
        EXPECT_FALSE(w.state(lf::Select).enabled);
        EXPECT_EQ(w.SelectedRow(lf::Browse_1), 1);
      })
      .SelectRow(lf::Browse_1, 2, rt::key::kMouseRight)
      .ChoosePopup(0)
      .Key(lf::Browse_1, rt::key::kMouseLeft2)
      .In(kRecord)
      .Inspect([](rt::Window& w) {
        EXPECT_EQ(w.Title(), "DDE Activity Record");
        EXPECT_EQ(w.FocusField(), rf::OK);
        EXPECT_EQ(w.state(rf::TMP_Apps).text, "B.APP");
        EXPECT_EQ(w.state(rf::TMP_Event).text, "Make Finished");
        EXPECT_EQ(w.state(rf::TMP_Date).text, "3/1/24");
        EXPECT_TRUE(w.state(rf::Cancel).hidden);
      })
      .Type(rf::TMP_Event, "typed into a read-only field")
      .Press(rf::OK)
      .In(kLog)
      .Press(lf::Close);
  const std::vector<std::string> stored_before = [&] {
    RunMain();
    return Stored();
  }();
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown, stored_before);  // the page is the file in key order, nothing written by OK
  EXPECT_NE(shown[0].find("B.APP|"), std::string::npos);  // stored first, logged first
  EXPECT_NE(shown[0].find("|Begin Make"), std::string::npos);
  EXPECT_NE(shown[3].find("A.APP|"), std::string::npos);
  EXPECT_NE(shown[4].find("|Batch ended: 2 finished"), std::string::npos);  // the summary comes last
  EXPECT_EQ(backend_.popups(), std::vector<std::string>{"&Insert|&View|&Delete|-|~&Select"});
}

// A batch's records share one date: the thumb's stops carry the time as well, so drops at 20%, 50%
// and 80% land on the records at those ranks; a record that a console batch writes while the window
// stands idle shows up at the window's next look at the file.
TEST_F(ActivityLogTest, ThumbSpreadsOverRecordsOfOneDateAndRecordsWrittenElsewhereShowUp) {
  for (int i = 0; i < 100; ++i) Log("A" + std::to_string(i) + ".APP", 81513, 100 * (i + 1), "Begin Make");
  script().In(kMain).Press(mf::Log).In(kLog);
  for (int position : {20, 50, 80})
    script().Thumb(lf::Browse_1, position).Inspect([position](rt::Window& w) {
      EXPECT_EQ(w.state(lf::Browse_1).source->CellAt(w.SelectedRow(lf::Browse_1), 3).number, 100 * position);
    });
  script()
      .Inspect([](rt::Window&) { Log("NEW.APP", 81513, 8050, "Make Finished"); })
      .Wait(150)
      .Inspect([](rt::Window& w) { EXPECT_EQ(Shown(w).at(1), "NEW.APP|81513|8050|Make Finished"); })
      .Press(lf::Close);
  RunMain();
}

TEST_F(ActivityLogTest, AnEmptyLogSaysSoOnceAndGoesBackToTheMainWindow) {
  script()
      .In(kMain)
      .Press(mf::Log)
      .Answer(rt::ButtonOk, "No records in DDE Activity Log.")
      .In(kMain)
      .Inspect([this](rt::Window&) { EXPECT_EQ(runtime_.WindowCount(), 1); });
  RunMain();
  ASSERT_EQ(backend_.boxes().size(), 1u);
  EXPECT_EQ(backend_.boxes()[0].caption, "Activity Log");
  EXPECT_EQ(backend_.boxes()[0].icon, rt::BoxIcon::Stop);
  EXPECT_EQ(program_.files.TempFileUseCount, 0);
  EXPECT_FALSE(program_.files.TempFile.IsOpen());
}

TEST_F(ActivityLogTest, DeletingTheLastRecordEndsTheLogAfterTheSameMessage) {
  Log("A.APP", 81513, 100, "Begin Make");
  script()
      .In(kMain)
      .Press(mf::Log)
      .In(kLog)
      .Key(lf::Browse_1, rt::key::kDelete)  // Delete is hidden, but the key still reaches it
      .Answer(rt::ButtonOk, "Press OK to confirm deletion")
      .Answer(rt::ButtonOk, "No records in DDE Activity Log.");
  RunMain();
  EXPECT_EQ(backend_.boxes().size(), 2u);
  EXPECT_TRUE(Stored().empty());
}

TEST_F(ActivityLogTest, ADateKeepsItsCenturyUnlessTheUserTypesAnother) {
  const std::int32_t march_1930 = platform::DayNumber(1930, 3, 1);
  Log("A.APP", march_1930, 360000, "Begin Make");
  script()
      .In(kMain)
      .Press(mf::Log)
      .In(kLog)
      .Press(lf::View)
      .In(kRecord)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(rf::TMP_Date).text, "3/1/30"); })
      .Press(rf::OK)  // shown with two digits, and not read back as 2030
      .In(kLog)
      .Press(lf::View)
      .In(kRecord)
      .Type(rf::TMP_Date, "3/2/1931")
      .Press(rf::OK)
      .In(kLog)
      .Press(lf::View)
      .In(kRecord)
      .Type(rf::TMP_Date, "3/3/1932")
      .Key(rf::TMP_Date, rt::key::kEsc)  // Cancel is hidden: Esc closes the form, nothing saved
      .In(kLog)
      .Press(lf::Close);
  RunMain();
  EXPECT_EQ(Stored(), std::vector<std::string>{"A.APP|" + std::to_string(platform::DayNumber(1931, 3, 2)) +
                                               "|360000|Begin Make"});
}

// View shows the time the record was stamped; OK without an edit is a completed change; Delete of
// a record another station deleted asks nothing.
TEST_F(ActivityLogTest, ViewShowsTheStampTimeOkCompletesAndARecordGoneElsewhereIsNotDeleted) {
  for (int i = 0; i < 8; ++i) Log("APP" + std::to_string(i), 81513, 3240000 + 6000 * i, "Step");  // 9:00AM on
  auto delete_elsewhere = [](const std::string& app) {
    files::Files other;
    other.TempFile.Open();
    other.TempFile.Set(store::Order::Key);
    for (other.TempFile.Next(); other.store.error.code == 0 && other.TMP.Apps.str() != app;) other.TempFile.Next();
    other.TempFile.Delete();
    ASSERT_EQ(other.store.error.code, 0);
  };
  script()
      .In(kMain)
      .Press(mf::Log)
      .In(kLog)
      .SelectRow(lf::Browse_1, 3)
      .Press(lf::View)
      .In(kRecord)
      .Inspect([](rt::Window& w) { EXPECT_EQ(w.state(rf::TMP_Clock).text, "9:02AM"); })
      .Press(rf::OK)
      .In(kLog)
      .Inspect([&](rt::Window& w) {
        ASSERT_EQ(w.state(lf::Browse_1).source->CellAt(2, 1).text, "APP3");
        delete_elsewhere("APP3");
      })
      .SelectRow(lf::Browse_1, 2)
      .Key(lf::Browse_1, rt::key::kDelete)  // no box: nothing is asked
      .In(kLog)
      .Press(lf::Close);
  RunMain();
  EXPECT_EQ(Stored().size(), 7u);

  // As the log calls the form: OK without an edit reports a completed change all the same.
  program_.GlobalRequest = ChangeRecord;
  script().In(kRecord).Press(rf::OK);
  UpdateEvents(program_);
  EXPECT_EQ(program_.GlobalResponse, RequestCompleted);
}

TEST_F(ActivityLogTest, InSelectModeADoubleClickChoosesTheRecord) {
  for (int i = 0; i < 8; ++i) Log("APP" + std::to_string(i), 81513, 100 * i, "Begin Make");
  files::Files& files = program_.files;
  files.TMP.Date = 81513;  // the list opens at the key standing in the record buffer
  files.TMP.Clock = 600;
  program_.GlobalRequest = SelectRecord;
  script()
      .In(kLog)
      .Inspect([](rt::Window& w) {
        EXPECT_FALSE(w.state(lf::Select).hidden);
        EXPECT_TRUE(w.state(lf::Select).enabled);
        // Near the end of the file the page is topped up from above.
        const int row = w.SelectedRow(lf::Browse_1);
        EXPECT_EQ(row, 4);
        EXPECT_EQ(w.state(lf::Browse_1).source->CellAt(row, 1).text, "APP6");
      })
      .SelectRow(lf::Browse_1, 4, rt::key::kMouseRight)
      .ChoosePopup(0)
      .Key(lf::Browse_1, rt::key::kMouseLeft2);
  ViewEvents(program_);
  EXPECT_TRUE(script().Done());
  EXPECT_EQ(program_.GlobalResponse, RequestCompleted);
  EXPECT_EQ(files.TMP.Apps.str(), "APP6");
  EXPECT_EQ(backend_.popups(), std::vector<std::string>{"&Insert|&View|&Delete|-|&Select"});
  EXPECT_EQ(files.TempFileUseCount, 0);
}

}  // namespace
}  // namespace procedures
