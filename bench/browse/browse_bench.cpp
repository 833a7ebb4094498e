// The application list's browse engine over 1,000 and 1,000,000 Apps records, through the headless
// runtime with a 20-row list: the first page (with the stops), one scroll step past the page edge,
// a page down, a type-ahead seek, a word typed letter by letter, a thumb drag; and the resident
// memory after 1,000 page downs, which must not grow with the file. Run by hand:
// build/native/bench/bench_browse.
#include <benchmark/benchmark.h>

#include <limits>
#include <memory>
#include <string>

#include "apps_data.h"
#include "browse/page_browse.h"
#include "platform/directory_lister.h"
#include "fake_ide.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/program.h"
#include "procedures/application_list.h"
#include "procedures/main_def.h"

namespace {

using namespace bench_data;
using rt::EventKind;
constexpr int kList = procedures::main_field::Browse_1;
constexpr int kRows = 20;
constexpr long kSmall = 1000;
constexpr long kLarge = 1000000;

// The main window's list over Apps, as Main runs it, minus the rest of the window's work.
class ListSession {
 public:
  explicit ListSession(long count) : in_(count) {
    backend_.set_visible_rows(kRows);
    program_.files.Apps.Open();
    window_ = std::make_unique<rt::Window>(runtime_, procedures::kMainWindow);
    NewEngine();
  }
  ~ListSession() {
    engine_.reset();
    window_.reset();
    program_.files.Apps.Close();
  }

  // A fresh engine: its first refresh builds the first page and the stops.
  void NewEngine() {
    engine_ = std::make_unique<browse::PageBrowse>(list_, *window_, kList, 0);
    engine_->OpenBrowse();
    list_.Setup(*window_);
  }
  void FirstPage() {
    engine_->RefreshDisplay();
    Drain();
  }
  // Serves the queued events the way Main does (the list's events to the engine).
  void Drain() {
    while (window_->HasEvents() && window_->Accept())
      if (window_->Field() == kList) engine_->TakeListEvent(window_->Kind());
  }
  // One scroll event; false when the end of the file stopped it (the page did not move).
  bool Scroll(EventKind kind) {
    auto top = [&] { return engine_->RowCount > 0 ? engine_->Page().Row(1).position : std::string(); };
    const std::string before = top();
    engine_->OnScrollEvent(kind);
    bool moved = top() != before;
    Drain();
    return moved;
  }
  void ToTopWithHighlightAtBottom() {
    Scroll(EventKind::ScrollTop);
    window_->SetSelectedRow(kList, engine_->RowCount);
    engine_->SelectionChanged();
    Drain();
  }
  void TypeAhead(char c) {
    runtime_.SetLastKey(static_cast<unsigned char>(c), static_cast<unsigned char>(c));
    engine_->KeyPressed();
    Drain();
  }
  // Letter by letter, after a pause that starts a new word.
  void TypeWord(const std::string& word) {
    backend_.virtual_clock().Advance(2 * browse::kTypeAheadPause);
    for (char c : word) TypeAhead(c);
  }
  std::string Highlighted() {
    const browse::PageRow& row = engine_->Page().Row(engine_->SelectedRow);
    return row.cells[1].text + row.cells[2].text;
  }
  void DragThumb(int position) {
    window_->UserThumb(kList, position);
    Drain();
  }
  browse::PageBrowse& engine() { return *engine_; }

 private:
  InData in_;
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  // The list reaches no platform service; the program context still needs a set.
  doubles::FakeIde ide_{backend_.virtual_clock()};
  doubles::FakeProgramStarter starter_;
  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
  procedures::Services services_{ide_, starter_, *lister_};
  procedures::Program program_{runtime_, services_};
  procedures::ApplicationList list_{program_, nullptr};
  std::unique_ptr<rt::Window> window_;
  std::unique_ptr<browse::PageBrowse> engine_;
};

void BM_FirstPage(benchmark::State& state) {
  ListSession session(state.range(0));
  for (auto _ : state) {
    session.NewEngine();
    session.FirstPage();
    if (session.engine().RowCount != kRows) state.SkipWithError("short page");
  }
  state.counters["spread_stops"] = session.engine().SpreadStops;
}

// The first page with the stops taken from the records whatever the file's size: what the switch
// to arithmetic stops saves beyond browse::kSpreadStopLimit.
void BM_FirstPageSpreadAtAnySize(benchmark::State& state) {
  ListSession session(state.range(0));
  for (auto _ : state) {
    session.NewEngine();
    session.engine().SpreadStopLimit = std::numeric_limits<std::int64_t>::max();
    session.FirstPage();
    if (!session.engine().SpreadStops) state.SkipWithError("arithmetic stops");
  }
}

void BM_ScrollStepAtTheEdge(benchmark::State& state) {
  ListSession session(state.range(0));
  session.FirstPage();
  session.ToTopWithHighlightAtBottom();
  for (auto _ : state) {
    if (!session.Scroll(EventKind::ScrollDown)) {
      state.PauseTiming();
      session.ToTopWithHighlightAtBottom();
      state.ResumeTiming();
    }
  }
}

void BM_PageDown(benchmark::State& state) {
  ListSession session(state.range(0));
  session.FirstPage();
  for (auto _ : state) {
    if (!session.Scroll(EventKind::PageDown)) {
      state.PauseTiming();
      session.Scroll(EventKind::ScrollTop);
      state.ResumeTiming();
    }
  }
}

void BM_TypeAheadSeek(benchmark::State& state) {
  ListSession session(state.range(0));
  session.FirstPage();
  // Every path begins with "C:" and every application with "APP"; a 'P' is a miss, looked for in
  // every folder, and then seeks (past the last key, to the last page).
  for (auto _ : state) session.TypeAhead('P');
}

// A word typed letter by letter (the time is per keystroke): "APP500." goes on to the next folder's
// APP500.APP each time, through the index; "APPX" begins nothing and looks in every folder first.
void BM_TypeAheadWord(benchmark::State& state, const std::string& word) {
  ListSession session(state.range(0));
  session.FirstPage();
  for (auto _ : state) session.TypeWord(word);
  if (word == "APP500." && session.Highlighted().find("APP500.APP") == std::string::npos)
    state.SkipWithError("the word did not land on its application");
  state.counters["per_key"] = benchmark::Counter(static_cast<double>(word.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ThumbDrag(benchmark::State& state) {
  ListSession session(state.range(0));
  session.FirstPage();
  int position = 2;
  for (auto _ : state) {
    session.DragThumb(position);
    position = position == 99 ? 2 : position + 1;
  }
}

void BM_ResidentAfter1000PageDowns(benchmark::State& state) {
  DataDirectory(state.range(0));  // built before the clock starts
  for (auto _ : state) {
    ListSession session(state.range(0));
    session.FirstPage();
    long before = Resident_kB();
    for (int i = 0; i < 1000; ++i)
      if (!session.Scroll(EventKind::PageDown)) session.Scroll(EventKind::ScrollTop);
    long after = Resident_kB();
    state.counters["rss_before_MB"] = static_cast<double>(before) / 1024.0;
    state.counters["rss_after_MB"] = static_cast<double>(after) / 1024.0;
    state.counters["page_rows"] = session.engine().RowCount;
  }
}

// Up to browse::kSpreadStopLimit records the first page takes the thumb's stops from the records'
// keys; the file one record past it, and the large one, take the arithmetic stops.
BENCHMARK(BM_FirstPage)
    ->Arg(kSmall)
    ->Arg(10000)
    ->Arg(browse::kSpreadStopLimit)
    ->Arg(browse::kSpreadStopLimit + 1)
    ->Arg(kLarge)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstPageSpreadAtAnySize)
    ->Arg(kSmall)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(kLarge)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollStepAtTheEdge)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PageDown)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeAheadSeek)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TypeAheadWord, found, std::string("APP500."))->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TypeAheadWord, missed, std::string("APPX"))->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThumbDrag)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResidentAfter1000PageDowns)->Arg(kSmall)->Arg(kLarge)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RemoveDataDirectories();
  return 0;
}
