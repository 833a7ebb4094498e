// The page-loaded browse engine over an in-memory keyed file, driven through the headless runtime
// with a four-row list: page fills, scrolling and paging, seeks, type-ahead, the thumb, rebuilds
// after changes by others, deletes, and the single pending new-selection event.
#include "browse/page_browse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "browse/thumb_stops.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"

namespace browse {
namespace {

using rt::EventKind;
namespace key = rt::key;

struct Rec {
  std::string path;
  int id = 0;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A keyed file in memory: records in key order (path without regard to case, then id), a record
// buffer, and a view whose cursor stands either on a record (the next read in either direction
// returns it) or after a read.
class MemoryFile final : public BrowseFile {
 public:
  void Add(const std::string& path) {
    records_.push_back({path, ++last_id_});
    Sort();
  }
  void Remove(const std::string& path) {
    records_.erase(std::remove_if(records_.begin(), records_.end(), [&](const Rec& r) { return r.path == path; }),
                   records_.end());
  }
  int Count() const { return static_cast<int>(records_.size()); }
  Rec buffer;
  int reads = 0;

  FileStatus OpenView() override { return FileStatus::Ok; }
  void CloseView() override {}
  FileStatus SetToStart() override {
    mode_ = Mode::Start;
    return FileStatus::Ok;
  }
  FileStatus SetToKeyValue() override {
    std::size_t i = 0;
    while (i < records_.size() && Upper(records_[i].path) < Upper(buffer.path)) ++i;
    At(static_cast<int>(i));
    return FileStatus::Ok;
  }
  FileStatus SetToBufferRecord() override {
    int i = IndexOf(buffer.id);
    if (i < 0) return FileStatus::End;
    At(i);
    return FileStatus::Ok;
  }
  FileStatus Next() override { return Read(+1); }
  FileStatus Previous() override { return Read(-1); }
  std::string Position() override { return std::to_string(current_id_); }
  FileStatus Reset(const std::string& position) override {
    int i = IndexOf(std::stoi(position));
    if (i < 0) {  // gone: stand where it would have been
      return FileStatus::End;
    }
    At(i);
    return FileStatus::Ok;
  }
  FileStatus Reread(const std::string& position) override {
    int i = IndexOf(std::stoi(position));
    if (i < 0) return FileStatus::End;
    buffer = records_[static_cast<std::size_t>(i)];
    return FileStatus::Ok;
  }
  std::int64_t RecordCountUpTo(std::int64_t) override { return Count(); }
  FileStatus ReadKeysAtRanks(const std::vector<std::int64_t>& ranks, const std::function<void()>& each) override {
    if (!ranks.empty() && ranks.back() >= Count()) return FileStatus::End;
    for (std::int64_t rank : ranks) {
      buffer = records_[static_cast<std::size_t>(rank)];
      each();
    }
    return FileStatus::Ok;
  }
  void Watch() override {}
  void ClearCurrent() override { current_id_ = 0; }
  void ClearBuffer() override { buffer = {}; }

  // The record added last, as an update procedure would leave it in the buffer.
  Rec Last() const {
    return *std::max_element(records_.begin(), records_.end(), [](const Rec& a, const Rec& b) { return a.id < b.id; });
  }

 private:
  enum class Mode { Start, At, AfterRead };
  void Sort() {
    std::stable_sort(records_.begin(), records_.end(), [](const Rec& a, const Rec& b) {
      return Upper(a.path) != Upper(b.path) ? Upper(a.path) < Upper(b.path) : a.id < b.id;
    });
  }
  int IndexOf(int id) const {
    for (std::size_t i = 0; i < records_.size(); ++i)
      if (records_[i].id == id) return static_cast<int>(i);
    return -1;
  }
  void At(int i) {
    mode_ = Mode::At;
    index_ = i;
  }
  FileStatus Read(int step) {
    ++reads;
    int n = static_cast<int>(records_.size());
    int i;
    if (mode_ == Mode::Start) i = step > 0 ? 0 : n - 1;
    else if (mode_ == Mode::At) i = step > 0 ? index_ : index_ - (index_ >= n ? 1 : 0);
    else i = index_ + step;
    if (mode_ == Mode::At && step < 0 && index_ < n) i = index_;
    if (i < 0 || i >= n) return FileStatus::End;
    mode_ = Mode::AfterRead;
    index_ = i;
    buffer = records_[static_cast<std::size_t>(i)];
    current_id_ = buffer.id;
    return FileStatus::Ok;
  }

  std::vector<Rec> records_;
  int last_id_ = 0;
  Mode mode_ = Mode::Start;
  int index_ = 0;
  int current_id_ = 0;
};

enum : int { kList = 1, kInsert, kChange, kDelete };

rt::ControlDef Control(const char* name, rt::ControlKind kind) {
  rt::ControlDef c;
  c.name = name;
  c.kind = kind;
  c.flags = kind == rt::ControlKind::List ? std::uint32_t{rt::kVScroll} : 0u;
  return c;
}
const std::array kControls{Control("?Browse:1", rt::ControlKind::List), Control("?Insert", rt::ControlKind::Button),
                           Control("?Change", rt::ControlKind::Button), Control("?Delete", rt::ControlKind::Button)};
const rt::WindowDef kWindow{.id = "TEST$BROWSE", .title = "Browse", .controls = kControls};

class TestList : public BrowseInstance {
 public:
  explicit TestList(MemoryFile& file) : file_(file) {}
  std::function<std::int32_t(std::int32_t)> update = [](std::int32_t) { return 2; };
  std::vector<std::int32_t> warnings;
  int double_clicks = 0;
  int empty_pages = 0;

  BrowseFile& File() override { return file_; }
  std::string FileName() const override { return "Paths"; }
  void RecordToRow(PageRow& row) override {
    row.cells = {rt::Cell{file_.buffer.path}};
    row.icon = 0;
  }
  void RowToRecord(const PageRow& row) override { file_.buffer.path = row.cells[0].text; }
  KeyValue KeyField() const override { return {file_.buffer.path}; }
  KeyValue ThumbKey() const override { return {Upper(file_.buffer.path)}; }
  bool NumericKey() const override { return false; }
  void ComputeStopTable(const KeyValue& low, const KeyValue& high, std::array<KeyValue, 100>& stops) override {
    StringStops g;
    g.SetupStringStops(20, kStopLetters, false, low.text, high.text);
    for (auto& s : stops) s.text = g.NextStringStop();
  }
  void SetKeyFromStop(const KeyValue& stop) override { file_.buffer.path = stop.text; }
  std::string KeyText() const override { return file_.buffer.path; }
  void SetKeyFromTyped(const std::string& typed) override { file_.buffer.path = typed; }
  std::string PopupText(bool has_rows) const override {
    return has_rows ? "&Insert|Chan&ge|&Delete" : "&Insert|~Chan&ge|~&Delete";
  }
  int PopupButton(int entry) const override { return kInsert + entry - 1; }
  int InsertButton() const override { return kInsert; }
  int ChangeButton() const override { return kChange; }
  int DeleteButton() const override { return kDelete; }
  void DoubleClick() override { ++double_clicks; }
  void EmptyPage() override { ++empty_pages; }
  std::int32_t RunUpdateProcedure(std::int32_t request) override { return update(request); }
  void ShowWarning(std::int32_t id, std::string_view) override { warnings.push_back(id); }

 private:
  MemoryFile& file_;
};

class PageBrowseTest : public ::testing::Test {
 protected:
  PageBrowseTest() { backend_.set_visible_rows(4); }

  void Fill(std::initializer_list<const char*> paths) {
    for (const char* p : paths) file_.Add(p);
  }
  void FillLetters(int n) {  // A1, B1, ... distinct paths in key order
    for (int i = 0; i < n; ++i) file_.Add(std::string(1, static_cast<char>('A' + i)) + "\\APP");
  }

  // The window's procedure: the list's events to the engine, the three buttons to the updates.
  void Run() {
    rt::Window window(runtime_, kWindow);
    PageBrowse engine(list_, window, kList, 0);
    engine.SpreadStopLimit = spread_stop_limit_;
    engine_ = &engine;
    engine.OpenBrowse();
    while (window.Accept()) {
      switch (window.Kind()) {
        case EventKind::OpenWindow:
          engine.RefreshDisplay();
          window.Select(kList);
          break;
        case EventKind::GainFocus:
          engine.ForceReset = true;
          engine.RefreshDisplay();
          break;
        default: break;
      }
      if (window.Field() == kList) {
        if (window.Kind() == EventKind::NewSelection) ++selections_;
        engine.TakeListEvent(window.Kind());
      } else if (window.Kind() == EventKind::Accepted) {
        engine.RereadSelected();
        if (window.Field() == kInsert) engine.InsertRow();
        if (window.Field() == kChange) engine.ChangeRow();
        if (window.Field() == kDelete) engine.DeleteRow();
      }
    }
    engine.CloseBrowse();
    engine_ = nullptr;
  }

  // Paths shown on the page, the highlighted one marked with '>'.
  std::string Shown(rt::Window& w) {
    std::string out;
    const rt::ListSource* rows = w.state(kList).source;
    for (int r = 1; r <= rows->RowCount(); ++r) {
      if (!out.empty()) out += ' ';
      if (r == w.SelectedRow(kList)) out += '>';
      out += rows->CellAt(r, 1).text.substr(0, 1);
    }
    return out;
  }
  // A script step that checks the page.
  rt::headless::Script& Expect(const std::string& page) {
    return script().Inspect([this, page](rt::Window& w) { EXPECT_EQ(Shown(w), page); });
  }
  rt::headless::Script& script() { return backend_.script(); }

  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  MemoryFile file_;
  TestList list_{file_};
  PageBrowse* engine_ = nullptr;
  std::int64_t spread_stop_limit_ = kSpreadStopLimit;
  int selections_ = 0;
};

TEST_F(PageBrowseTest, FirstPageStartsAtTheFirstRecordWithTheScrollBarShown) {
  FillLetters(10);
  Expect(">A B C D");
  script().Inspect([](rt::Window& w) {
    EXPECT_TRUE(w.ScrollBarShown(kList));
    EXPECT_TRUE(w.state(kChange).enabled);
  });
  script().CloseBox();
  Run();
}

TEST_F(PageBrowseTest, ShortFileShowsEverythingWithoutScrollBarAndPagingStopsAtTheEnds) {
  FillLetters(3);
  Expect(">A B C").Inspect([](rt::Window& w) { EXPECT_FALSE(w.ScrollBarShown(kList)); });
  script().Key(kList, key::kUp);
  Expect(">A B C");
  script().Key(kList, key::kPgDn);
  Expect("A B >C");
  script().Key(kList, key::kDown);
  Expect("A B >C");
  script().Key(kList, key::kPgUp);
  Expect(">A B C").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, ScrollingPastTheBottomEdgeBringsTheNextRecordInHighlighted) {
  FillLetters(6);
  for (int i = 0; i < 3; ++i) script().Key(kList, key::kDown);
  Expect("A B C >D");
  script().Key(kList, key::kDown);
  Expect("B C D >E");
  script().Key(kList, key::kDown);
  Expect("C D E >F");
  script().Key(kList, key::kDown);  // end of the file
  Expect("C D E >F");
  for (int i = 0; i < 3; ++i) script().Key(kList, key::kUp);
  Expect(">C D E F");
  script().Key(kList, key::kUp);
  Expect(">B C D E").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, PagingNearTheEndMovesTheHighlightByWhatWasMissing) {
  FillLetters(6);
  script().Key(kList, key::kPgDn);  // two more records follow: the page scrolls by 2
  Expect("C D >E F");
  script().Key(kList, key::kPgDn);
  Expect("C D E >F");
  script().Key(kList, key::kPgUp);  // two records above: the page scrolls back by 2, the highlight
  Expect("A >B C D");                // moves up by the other 2 rows
  script().Key(kList, key::kPgUp);
  Expect(">A B C D").CloseBox();
  Run();
}

// The wheel moves the rows, not the highlight, and stops at either end of the file; a record scrolled
// off the page stays highlighted for the buttons, and shows so again when its row comes back.
TEST_F(PageBrowseTest, TheWheelScrollsTheRowsUnderTheHighlightedRecord) {
  FillLetters(8);
  script().Key(kList, key::kDown).Key(kList, key::kDown);
  Expect("A B >C D");
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, -2); });
  Expect(">C D E F");
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, 1); });
  Expect("B >C D E");
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, 3); });
  Expect("A B >C D");
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, -9); });  // C leaves the page
  Expect("E F G H");
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, 2); });
  Expect(">C D E F");
  std::vector<std::string> acted_on;
  list_.update = [&](std::int32_t) {
    acted_on.push_back(file_.buffer.path);
    return 2;
  };
  script().Inspect([](rt::Window& w) { w.UserWheel(kList, -2); }).Press(kDelete);
  Expect(">C D E F").CloseBox();  // brought back by the button
  Run();
  EXPECT_EQ(acted_on, (std::vector<std::string>{"C\\APP"}));
}

TEST_F(PageBrowseTest, BottomAndTopReadFromTheEnds) {
  FillLetters(9);
  script().Key(kList, key::kCtrlEnd);
  Expect("F G H >I");
  script().Key(kList, key::kCtrlHome);
  Expect(">A B C D").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, TypeAheadWalksTheRecordsOfALetterAndWrapsToTheFirst) {
  Fill({"A\\1", "B\\1", "b\\2", "B\\3", "C\\1", "D\\1", "E\\1"});
  script().TypeChar(kList, 'b');  // the highlight is on A: seek to the first B, either case
  Expect(">B b B C");
  script().TypeChar(kList, 'B');
  Expect("B >b B C");
  script().TypeChar(kList, 'b');
  Expect("B b >B C");
  script().TypeChar(kList, 'B');  // the next is C: back to the first B
  Expect(">B b B C");
  script().TypeChar(kList, ' ');
  Expect(">B b B C").CloseBox();
  Run();
}

// Letters typed within a second make one word, found by reading on from the highlighted row where
// the file has no index search for it; after a pause a letter starts a new word.
TEST_F(PageBrowseTest, TypeAheadTakesAWordTypedWithinASecond) {
  Fill({"A", "B", "BA", "BAD", "C", "D"});
  auto lands_on = [this](const char* path) -> rt::headless::Script& {
    return script().Inspect([path](rt::Window& w) {
      EXPECT_EQ(w.state(kList).source->CellAt(w.SelectedRow(kList), 1).text, path);
    });
  };
  script().TypeChar(kList, 'b').TypeChar(kList, 'a').TypeChar(kList, 'd');
  lands_on("BAD");
  script().Wait(150).TypeChar(kList, 'a');
  lands_on("A");
  script().Wait(150).TypeChar(kList, 'b').TypeChar(kList, 'a');
  lands_on("BA");
  script().TypeChar(kList, 'x');  // "BAX" begins nothing: a beep, and the highlight stays
  lands_on("BA").CloseBox();
  Run();
  EXPECT_EQ(backend_.beeps(), 1);
}

TEST_F(PageBrowseTest, SeekPastTheLastKeyShowsTheLastPage) {
  FillLetters(9);
  script().TypeChar(kList, 'z');
  Expect("F G H >I");
  script().Wait(150).TypeChar(kList, 'g');  // among the last records: a full page that ends with the last
  Expect("F >G H I").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, ThumbPlacementFollowsTheHighlightedKey) {
  FillLetters(20);
  // The first key lies a little above stop 0, which holds only four characters after the prefix.
  script().Inspect([](rt::Window& w) { EXPECT_LT(w.Thumb(kList), 10); });
  script().Key(kList, key::kCtrlEnd);
  script().Inspect([](rt::Window& w) { EXPECT_GE(w.Thumb(kList), 100); });  // at or past the last stop
  script().Thumb(kList, 50);
  script().Inspect([this](rt::Window& w) {
    // A seek to the middle stop: the record at or after it is on top and highlighted.
    EXPECT_EQ(w.SelectedRow(kList), 1);
    std::string top = w.state(kList).source->CellAt(1, 1).text;
    EXPECT_GE(Upper(top), engine_->StopTable[49].text.substr(0, 1));
    EXPECT_GT(w.Thumb(kList), 30);
    EXPECT_LT(w.Thumb(kList), 70);
  });
  script().Thumb(kList, 1);
  Expect(">A B C D");
  script().Thumb(kList, 100);
  Expect("Q R S >T").CloseBox();
  Run();
}

// Up to the switch the stops are the records' own keys; a file one record past it falls back to the
// arithmetic stops between its first and last key.
TEST_F(PageBrowseTest, ThumbStopsComeFromTheRecordsUpToTheSwitchAndAreArithmeticBeyond) {
  for (int i = 0; i < 30; ++i) file_.Add("C:\\APP" + std::to_string(10 + i));
  for (std::int64_t limit : {30, 29}) {
    spread_stop_limit_ = limit;
    script()
        .Inspect([this, limit](rt::Window&) {
          std::array<KeyValue, 100> expected;
          list_.ComputeStopTable({"C:\\APP10"}, {"C:\\APP39"}, expected);
          if (limit == 30) expected[50].text = "C:\\APP" + std::to_string(10 + 50 * 29 / 99);
          EXPECT_EQ(engine_->SpreadStops, limit == 30);
          EXPECT_EQ(engine_->StopTable[50].text, expected[50].text);
        })
        .CloseBox();
    Run();
  }
}

TEST_F(PageBrowseTest, RegainingFocusRebuildsAtTheHighlightedRecordAfterOthersChangedTheFile) {
  FillLetters(8);
  script().Key(kList, key::kDown).Key(kList, key::kDown);
  Expect("A B >C D");
  script().Inspect([this](rt::Window&) {
    file_.Add("BB\\NEW");  // another station adds before and removes after the highlight
    file_.Remove("D\\APP");
  });
  script().Raise(EventKind::GainFocus);
  Expect(">C E F G");
  script().Inspect([this](rt::Window&) { file_.Remove("C\\APP"); });
  script().Raise(EventKind::GainFocus);  // the highlighted record itself is gone: the next one
  Expect(">E F G H").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, DeletingAMiddleRowHighlightsTheRowThatFollowed) {
  FillLetters(8);
  list_.update = [this](std::int32_t request) {
    EXPECT_EQ(request, 3);
    file_.Remove(file_.buffer.path);
    return 1;
  };
  script().Key(kList, key::kDown).Press(kDelete);
  Expect("A >C D E").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, DeletingTheBottomRowRefillsFromTheOldTop) {
  FillLetters(8);
  list_.update = [this](std::int32_t) {
    file_.Remove(file_.buffer.path);
    return 1;
  };
  script().Key(kList, key::kDown).Key(kList, key::kDown).Key(kList, key::kDown);
  Expect("A B C >D");
  script().Press(kDelete);
  // Read again from the old top: E moves in at the bottom, the row above D is highlighted.
  Expect("A B >C E");
  script().Key(kList, key::kCtrlEnd);
  Expect("E F G >H");
  script().Press(kDelete);
  // H was the last record: the page is topped up from above.
  Expect("C E F >G").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, InsertShowsThePageStartingWithTheNewRecord) {
  FillLetters(8);
  list_.update = [this](std::int32_t request) {
    EXPECT_EQ(request, 1);
    file_.Add("CC\\NEW");
    file_.buffer = file_.Last();
    return 1;
  };
  script().Key(kList, key::kInsert);
  script().Inspect([](rt::Window& w) {
    EXPECT_EQ(w.state(kList).source->CellAt(1, 1).text, "CC\\NEW");
    EXPECT_EQ(w.SelectedRow(kList), 1);
  });
  script().CloseBox();
  Run();
}

TEST_F(PageBrowseTest, EmptyFileDisablesChangeAndDeleteButStillInserts) {
  int inserts = 0;
  list_.update = [&](std::int32_t request) {
    EXPECT_EQ(request, 1);
    ++inserts;
    return 2;
  };
  script().Inspect([this](rt::Window& w) {
    EXPECT_EQ(w.state(kList).source->RowCount(), 0);
    EXPECT_FALSE(w.state(kChange).enabled);
    EXPECT_FALSE(w.state(kDelete).enabled);
    EXPECT_GE(list_.empty_pages, 1);
  });
  script().Key(kList, key::kDown).Key(kList, key::kDelete).Key(kList, key::kInsert);
  script().SelectRow(kList, 1, key::kMouseRight).ChoosePopup(1);
  script().CloseBox();
  Run();
  EXPECT_EQ(inserts, 2);  // the Insert key and the popup's only live entry
  EXPECT_EQ(backend_.popups().back(), "&Insert|~Chan&ge|~&Delete");
}

TEST_F(PageBrowseTest, BurstOfScrollEventsQueuesOneNewSelection) {
  FillLetters(10);
  script().Inspect([this](rt::Window& w) {
    selections_ = 0;
    w.Post(EventKind::ScrollDown, kList);
    w.Post(EventKind::PageDown, kList);
  });
  script().Inspect([this](rt::Window&) { EXPECT_EQ(selections_, 1); });
  Expect("E >F G H").CloseBox();
  Run();
}

TEST_F(PageBrowseTest, ReadErrorShowsTheRetrievalWarningAndClosesTheWindow) {
  FillLetters(3);
  struct Failing final : BrowseFile {
    FileStatus OpenView() override { return FileStatus::Ok; }
    void CloseView() override {}
    FileStatus SetToStart() override { return FileStatus::Ok; }
    FileStatus SetToKeyValue() override { return FileStatus::Ok; }
    FileStatus SetToBufferRecord() override { return FileStatus::Ok; }
    FileStatus Next() override { return FileStatus::Error; }
    FileStatus Previous() override { return FileStatus::Error; }
    std::string Position() override { return ""; }
    FileStatus Reset(const std::string&) override { return FileStatus::Ok; }
    FileStatus Reread(const std::string&) override { return FileStatus::Ok; }
    void Watch() override {}
    void ClearCurrent() override {}
    void ClearBuffer() override {}
  };
  // No script at all: the window must close by itself after the warning.
  Failing failing;
  struct FailingList : TestList {
    FailingList(MemoryFile& m, BrowseFile& f) : TestList(m), f_(f) {}
    BrowseFile& File() override { return f_; }
    BrowseFile& f_;
  } failing_list(file_, failing);
  rt::Window window(runtime_, kWindow);
  PageBrowse engine(failing_list, window, kList, 0);
  engine.OpenBrowse();
  while (window.Accept())
    if (window.Kind() == EventKind::OpenWindow) engine.RefreshDisplay();
  ASSERT_FALSE(failing_list.warnings.empty());
  EXPECT_EQ(failing_list.warnings.front(), 35);
}

TEST(CompareKeys, PadsTextWithBlanksAndComparesBytes) {
  EXPECT_EQ(CompareKeys({"AB"}, {"AB  "}, false), 0);
  EXPECT_LT(CompareKeys({"AB"}, {"ABC"}, false), 0);
  EXPECT_GT(CompareKeys({"\xA3"}, {"Z"}, false), 0);
  EXPECT_LT(CompareKeys({"", 5}, {"", 7}, true), 0);
}

}  // namespace
}  // namespace browse
