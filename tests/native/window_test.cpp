// The window model driven through the headless backend: event order, bindings, the accept-all pass,
// list keys, nested windows, and the script and virtual-clock machinery itself.
#include "runtime/window.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "runtime/headless/headless_backend.h"
#include "runtime/picture.h"
#include "runtime/runtime.h"

namespace rt {
namespace {

using headless::HeadlessBackend;
using headless::ScriptError;

// A small form: a list, a button that closes, an entry with a date, a number entry, a check box,
// a spin box, a read-only entry and a plain button.
enum : int { kList = 1, kClose, kDate, kCount, kFlag, kSpin, kShown, kOk };
ControlDef Make(const char* name, ControlKind kind, const char* picture = nullptr, std::uint32_t flags = 0) {
  ControlDef c;
  c.name = name;
  c.kind = kind;
  c.picture = picture;
  c.flags = flags;
  c.h = 60;
  c.range_low = 1;
  c.range_high = 99;
  return c;
}
const std::array kControls{
    Make("?List", ControlKind::List),
    Make("?Close", ControlKind::Button, nullptr, kStdClose),
    Make("?Date", ControlKind::Entry, "@d1"),
    Make("?Count", ControlKind::Entry, "@n3"),
    Make("?Flag", ControlKind::Check),
    Make("?Spin", ControlKind::Spin, "@n3", kNoTyping),
    Make("?Shown", ControlKind::Entry, "@s5", kReadOnly),
    Make("?Ok", ControlKind::Button, nullptr, kDefaultButton),
};
const WindowDef kForm{.id = "TEST$FORM", .title = "Form", .w = 100, .h = 100, .timer = 500, .controls = kControls};
const WindowDef kInner{.id = "TEST$INNER", .title = "Inner", .w = 50, .h = 50, .controls = kControls};

class Rows final : public ListSource {
 public:
  explicit Rows(int n) : n_(n) {}
  int RowCount() const override { return n_; }
  Cell CellAt(int row, int) const override { return {std::to_string(row)}; }

 private:
  int n_;
};

class WindowTest : public ::testing::Test {
 protected:
  // Runs the window's loop until it ends, recording every event.
  std::vector<Event> Drain(Window& w) {
    std::vector<Event> events;
    while (w.Accept()) events.push_back(w.event());
    return events;
  }
  HeadlessBackend backend_;
  Runtime runtime_{backend_};
};

TEST_F(WindowTest, EventsArriveInOrderAndCloseButtonEndsTheLoop) {
  backend_.script().Press(kOk).Press(kClose);
  Window w(runtime_, kForm);
  w.Post(EventKind::Accepted, kCount);
  w.Post(EventKind::Accepted, kCount);  // a second post never overwrites the first
  std::vector<Event> expected{{EventKind::OpenWindow, 0},  {EventKind::Accepted, kCount},
                              {EventKind::Accepted, kCount}, {EventKind::Accepted, kOk},
                              {EventKind::Accepted, kClose}, {EventKind::CloseWindow, 0}};
  EXPECT_EQ(Drain(w), expected);
  EXPECT_TRUE(w.IsClosed());
  EXPECT_EQ(runtime_.WindowCount(), 0);
  EXPECT_TRUE(backend_.script().Done());
}

TEST_F(WindowTest, DisabledAndHiddenButtonsTakeNoPress) {
  backend_.script().Press(kOk).Press(kOk).CloseBox();
  Window w(runtime_, kForm);
  w.Disable(kOk);
  std::vector<Event> events = Drain(w);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].kind, EventKind::CloseWindow);
}

TEST_F(WindowTest, TypedInputGoesThroughThePictureIntoTheBoundVariable) {
  std::int32_t date = 0;
  std::uint8_t count = 7;
  backend_.script().Type(kDate, "3/1/24").Type(kCount, "abc").Type(kCount, "12").Type(kShown, "nope").CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kDate, date);
  w.Bind(kCount, count);
  EXPECT_EQ(w.state(kCount).text, "7");
  std::vector<Event> events = Drain(w);
  std::vector<Event> expected{{EventKind::OpenWindow, 0},   {EventKind::Accepted, kDate},
                              {EventKind::Rejected, kCount}, {EventKind::Accepted, kCount},
                              {EventKind::CloseWindow, 0}};
  EXPECT_EQ(events, expected);  // the read-only entry took no typing
  EXPECT_EQ(date, DateFromYmd(2024, 3, 1));
  EXPECT_EQ(count, 12);
}

TEST_F(WindowTest, ByteBindingRejectsValuesItCannotHold) {
  std::uint8_t count = 1;
  ControlDef wide = Make("?Wide", ControlKind::Entry, "@n4");
  std::array controls{wide};
  WindowDef def{.id = "T", .controls = controls};
  backend_.script().Type(1, "300").CloseBox();
  Window w(runtime_, def);
  w.Bind(1, count);
  auto events = Drain(w);
  EXPECT_EQ(events[1], (Event{EventKind::Rejected, 1}));
  EXPECT_EQ(count, 1);
}

TEST_F(WindowTest, SpinArrowsStepWithinTheRangeAndCheckBoxWritesItsByte) {
  std::uint8_t minutes = 98;
  std::uint8_t flag = 0;
  backend_.script().Spin(kSpin, 1).Spin(kSpin, 1).Type(kSpin, "5").Check(kFlag, true).CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kSpin, minutes);
  w.Bind(kFlag, flag);
  Drain(w);
  EXPECT_EQ(minutes, 99);  // held at the top of its range; typing was not possible
  EXPECT_EQ(flag, 1);
}

TEST_F(WindowTest, DisplayShowsTheBoundValuesThroughTheirPictures) {
  platform::FixedString<30> text("ABCDEFGHIJ");
  std::uint8_t flag = 1;
  Window w(runtime_, kForm);
  w.Bind(kShown, text);
  w.Bind(kFlag, flag);
  EXPECT_EQ(w.state(kShown).text, "ABCDE");
  EXPECT_TRUE(w.state(kFlag).checked);
  text = "xy";
  flag = 0;
  EXPECT_EQ(w.state(kShown).text, "ABCDE");  // nothing changes until Display
  w.Display();
  EXPECT_EQ(w.state(kShown).text, "xy");
  EXPECT_FALSE(w.state(kFlag).checked);
}

TEST_F(WindowTest, AcceptAllPassAcceptsEachInputControlThenCompletes) {
  std::int32_t date = 0;
  std::uint8_t count = 0;
  backend_.script().CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kDate, date);
  w.Bind(kCount, count);
  ASSERT_TRUE(w.Accept());  // OpenWindow
  w.AcceptAll();
  std::vector<Event> events;
  std::vector<bool> in_pass;
  while (w.Accept()) {
    events.push_back(w.event());
    in_pass.push_back(w.InAcceptAll());
  }
  std::vector<Event> expected{{EventKind::Accepted, kDate}, {EventKind::Accepted, kCount},
                              {EventKind::Accepted, kFlag}, {EventKind::Accepted, kSpin},
                              {EventKind::Completed, 0},    {EventKind::CloseWindow, 0}};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(in_pass, (std::vector<bool>{true, true, true, true, false, false}));
}

TEST_F(WindowTest, AcceptAllPassStopsAtTheFirstRejectionOrSelect) {
  std::int32_t date = 0;
  std::uint8_t count = 0;
  backend_.script().Type(kCount, "x").CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kDate, date);
  w.Bind(kCount, count);
  ASSERT_TRUE(w.Accept());
  ASSERT_TRUE(w.Accept());  // Rejected kCount: its text "x" stays in the control
  EXPECT_EQ(w.event(), (Event{EventKind::Rejected, kCount}));
  w.AcceptAll();
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.event(), (Event{EventKind::Accepted, kDate}));
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.event(), (Event{EventKind::Rejected, kCount}));
  EXPECT_FALSE(w.InAcceptAll());

  w.SetText(kCount, "5");
  w.AcceptAll();
  ASSERT_TRUE(w.Accept());
  w.Select(kDate);  // the procedure keeps the user on a field: the pass ends
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.event().kind, EventKind::CloseWindow);
}

TEST_F(WindowTest, ListKeysMoveTheHighlightWithinThePageAndScrollPastIt) {
  Rows rows(3);
  backend_.script()
      .SelectRow(kList, 1)
      .Key(kList, key::kUp)
      .Key(kList, key::kDown)
      .Key(kList, key::kDown)
      .Key(kList, key::kDown)
      .Key(kList, key::kPgDn)
      .Key(kList, key::kCtrlHome)
      .Key(kList, key::kInsert)
      .TypeChar(kList, 'q')
      .Key(kList, key::kEnter)
      .CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kList, rows);
  w.AlertKey(kList, key::kInsert);
  std::vector<EventKind> kinds;
  std::vector<int> selected;
  while (w.Accept()) {
    kinds.push_back(w.Kind());
    selected.push_back(w.SelectedRow(kList));
  }
  std::vector<EventKind> expected{
      EventKind::OpenWindow, EventKind::NewSelection, EventKind::ScrollUp,  EventKind::NewSelection,
      EventKind::NewSelection, EventKind::ScrollDown, EventKind::PageDown,  EventKind::ScrollTop,
      EventKind::AlertKey, EventKind::AlertKey, EventKind::Accepted, EventKind::CloseWindow};
  EXPECT_EQ(kinds, expected);
  EXPECT_EQ(selected[4], 3);
  EXPECT_EQ(runtime_.LastChar(), 0);
}

TEST_F(WindowTest, PressedKeyIsTakenAfterTheEventsAlreadyQueued) {
  Rows rows(3);
  backend_.script().CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kList, rows);
  w.SetSelectedRow(kList, 1);
  w.PressKey(kList, key::kDown);
  w.Post(EventKind::Accepted, kOk);
  std::vector<Event> events = Drain(w);
  std::vector<Event> expected{{EventKind::OpenWindow, 0}, {EventKind::Accepted, kOk},
                              {EventKind::NewSelection, kList}, {EventKind::CloseWindow, 0}};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(w.SelectedRow(kList), 2);
}

TEST_F(WindowTest, TypedCharacterIsTheLastKeyOfItsAlertEvent) {
  Rows rows(3);
  backend_.script().TypeChar(kList, 'q').CloseBox();
  Window w(runtime_, kForm);
  w.Bind(kList, rows);
  ASSERT_TRUE(w.Accept());
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.Kind(), EventKind::AlertKey);
  EXPECT_EQ(w.LastChar(), 'q');
}

TEST_F(WindowTest, CalledWindowTakesAllInputAndCallerRegainsFocus) {
  backend_.script().In("TEST$INNER").Press(kOk).CloseBox().In("TEST$FORM").CloseBox();
  Window outer(runtime_, kForm);
  ASSERT_TRUE(outer.Accept());
  {
    Window inner(runtime_, kInner);
    EXPECT_EQ(runtime_.TopWindow(), &inner);
    std::vector<Event> events = Drain(inner);
    EXPECT_EQ(events.size(), 3u);
  }
  EXPECT_EQ(runtime_.TopWindow(), &outer);
  ASSERT_TRUE(outer.Accept());
  EXPECT_EQ(outer.Kind(), EventKind::GainFocus);
  ASSERT_TRUE(outer.Accept());
  EXPECT_EQ(outer.Kind(), EventKind::CloseWindow);
}

TEST_F(WindowTest, ScriptStepForAnotherWindowFailsTheTest) {
  backend_.script().In("TEST$INNER").Press(kOk);
  Window w(runtime_, kForm);
  ASSERT_TRUE(w.Accept());
  EXPECT_THROW(w.Accept(), ScriptError);
}

TEST_F(WindowTest, ScriptThatRunsOutFailsInsteadOfHanging) {
  Window w(runtime_, kForm);
  ASSERT_TRUE(w.Accept());
  try {
    w.Accept();
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("TEST$FORM"), std::string::npos);
  }
}

TEST_F(WindowTest, TimerFiresOnVirtualTimeAndRollsTheDateAtMidnight) {
  backend_.virtual_clock().Set(81513, 8639000);  // 11:58:50 PM
  backend_.script().Wait(1499).Wait(1).CloseBox();
  Window w(runtime_, kForm);  // a timer every 500 hundredths
  std::vector<std::int32_t> times;
  while (w.Accept())
    if (w.Kind() == EventKind::Timer) times.push_back(runtime_.clock().TimeOfDay());
  // Each tick is served at its own moment: 5 s and 10 s before midnight, 15 s after it.
  ASSERT_EQ(times.size(), 3u);
  EXPECT_EQ(runtime_.clock().Today(), 81514);
  EXPECT_EQ(runtime_.clock().TimeOfDay(), 500);
  EXPECT_EQ(times[0], 8639500);
  EXPECT_EQ(times[1], 0);
  EXPECT_EQ(times[2], 500);
}

TEST_F(WindowTest, TimerPeriodCanBeChangedAndStopped) {
  backend_.script().Wait(100).Wait(100).Wait(1000).CloseBox();
  Window w(runtime_, kForm);  // every 500 hundredths
  EXPECT_EQ(w.TimerPeriod(), 500);
  ASSERT_TRUE(w.Accept());  // OpenWindow
  w.SetTimerPeriod(100);
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.Kind(), EventKind::Timer);  // one second after the change, not five
  w.SetTimerPeriod(0);
  ASSERT_TRUE(w.Accept());
  EXPECT_EQ(w.Kind(), EventKind::CloseWindow);  // ten more seconds passed without a tick
}

TEST(HeadlessServices, MessageBoxesNeedAnAnswerWithAButtonTheyHave) {
  HeadlessBackend backend;
  Runtime runtime(backend);
  backend.script().Answer(ButtonNo, "really").Answer(ButtonCancel);
  EXPECT_EQ(runtime.Message("Do you really?", "Q", BoxIcon::Question, ButtonYes | ButtonNo), ButtonNo);
  EXPECT_THROW(runtime.Message("Only OK", "Q", BoxIcon::Stop, ButtonOk), ScriptError);
  try {
    runtime.Message("Nobody expects this", "Surprise");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("Nobody expects this"), std::string::npos);
  }
  ASSERT_EQ(backend.boxes().size(), 3u);
  EXPECT_EQ(backend.boxes()[0].icon, BoxIcon::Question);
}

TEST(HeadlessServices, PopupCountsEntriesWithoutSeparatorsAndRefusesGreyedOnes) {
  HeadlessBackend backend;
  Runtime runtime(backend);
  backend.script().ChoosePopup(4).ChoosePopup(2).ChoosePopup(0);
  EXPECT_EQ(runtime.Popup("&Insert|&View|&Delete|-|&Select"), 4);
  EXPECT_THROW(runtime.Popup("&Insert|~Chan&ge|~&Delete"), ScriptError);
  EXPECT_EQ(runtime.Popup("&Insert"), 0);
  auto entries = ParsePopup("&Insert|~&View|-|~&Select");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_TRUE(entries[1].greyed);
  EXPECT_EQ(entries[1].text, "&View");
  EXPECT_TRUE(entries[2].separator);
}

TEST(HeadlessServices, HaltEndsTheProcedureWithItsTextAndFileDialogFollowsTheScript) {
  HeadlessBackend backend;
  Runtime runtime(backend);
  backend.script().ChooseFile("C:\\APPS\\INVOICE.APP").CancelFile();
  EXPECT_EQ(runtime.OpenFile("Choose a File", "Application files|*.app"), "C:\\APPS\\INVOICE.APP");
  EXPECT_EQ(runtime.OpenFile("Choose a File", "Application files|*.app"), std::nullopt);
  try {
    runtime.Halt("Disk Error");
    FAIL() << "halt returned";
  } catch (const headless::Halted& h) {
    EXPECT_EQ(h.text, "Disk Error");
  }
}

TEST(FixedStrings, AreBlankPaddedAndReadWithoutTrailingBlanks) {
  platform::FixedString<8> s;
  EXPECT_TRUE(s.IsBlank());
  s = "INVOICE.APP";  // cut to the field
  EXPECT_EQ(s.Trimmed(), "INVOICE.");
  s = "AB ";
  EXPECT_EQ(std::string(s.data, 8), "AB      ");
  EXPECT_EQ(s.str(), "AB");
  static_assert(sizeof(platform::FixedString<94>) == 94);
  EXPECT_EQ(StripAmpersands("&Gen && Make"), "Gen & Make");
}

}  // namespace
}  // namespace rt
