// The record store's speed and memory with 1,000 and 1,000,000 Apps records: open with its checks,
// seek to a key value, next and previous in key order, reset to a position, add, put, delete
// (synchronous FULL), and the resident memory of a process whose view has read 20 rows.
// Run by hand: build/native/bench/bench_store [--benchmark_filter=...]; the files are built once
// per run in a temporary directory.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "apps_data.h"
#include "files/files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using store::Order;
using namespace bench_data;

void BM_OpenWithChecks(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  for (auto _ : state) {
    files.Apps.Open();
    if (files.store.error.code != 0) state.SkipWithError("open failed");
    files.Apps.Close();
  }
}

void BM_SeekToKeyValue(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  store::View view(files.Apps);
  view.Open();
  std::mt19937 random(7);
  std::uniform_int_distribution<long> pick(0, state.range(0) - 1);
  for (auto _ : state) {
    SetRecord(files, pick(random));
    view.SetToKeyValue();
    view.Next();
    if (files.store.error.code != 0) state.SkipWithError("seek failed");
  }
}

void Steps(benchmark::State& state, bool forward) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  store::View view(files.Apps);
  view.Open();
  SetRecord(files, state.range(0) / 2);
  view.SetToKeyValue();
  for (auto _ : state) {
    if (forward) view.Next();
    else view.Previous();
    if (files.store.error.code != 0) view.Set();  // an end: start again from the other
  }
}
void BM_NextInKeyOrder(benchmark::State& state) { Steps(state, true); }
void BM_PreviousInKeyOrder(benchmark::State& state) { Steps(state, false); }

void BM_ResetToPositionAndNext(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  store::View view(files.Apps);
  view.Open();
  std::vector<store::RecordPosition> positions;
  std::mt19937 random(11);
  std::uniform_int_distribution<long> pick(0, state.range(0) - 1);
  for (int i = 0; i < 100; ++i) {
    SetRecord(files, pick(random));
    view.SetToKeyValue();
    view.Next();
    positions.push_back(view.Position());
  }
  std::size_t i = 0;
  for (auto _ : state) {
    view.Reset(positions[i++ % positions.size()]);
    view.Next();
    if (files.store.error.code != 0) state.SkipWithError("reset failed");
  }
}

void BM_Add(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  long n = 0;
  for (auto _ : state) {
    files.APP.DriveNPath = "C:\\BENCH\\ADD\\";
    files.APP.Application = "A" + std::to_string(n++) + ".APP";
    files.Apps.Add();
    if (files.store.error.code != 0) state.SkipWithError("add failed");
  }
  // Leave the file as it was for the other benchmarks (outside the timed loop).
  files.Apps.BeginTransaction(2);
  files.APP.DriveNPath = "C:\\BENCH\\ADD\\";
  files.APP.Application = "";
  files.Apps.SetToKeyValue();
  for (files.Apps.Next(); files.store.error.code == 0 && files.APP.DriveNPath.str() == "C:\\BENCH\\ADD\\";
       files.Apps.Next())
    files.Apps.Delete();
  files.Apps.Commit();
}

void BM_Put(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  SetRecord(files, state.range(0) / 3);
  files.Apps.SetToKeyValue();
  files.Apps.Next();
  for (auto _ : state) {
    files.APP.Tag = static_cast<std::int16_t>(1 - files.APP.Tag);
    files.Apps.Put();
    if (files.store.error.code != 0) state.SkipWithError("put failed");
  }
}

void BM_Delete(benchmark::State& state) {
  InData in(state.range(0));
  files::Files files;
  files.Apps.Open();
  long n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    files.APP.DriveNPath = "C:\\BENCH\\DELETE\\";
    files.APP.Application = "D" + std::to_string(n++) + ".APP";
    files.Apps.Add();
    state.ResumeTiming();
    files.Apps.Delete();
    if (files.store.error.code != 0) state.SkipWithError("delete failed");
  }
}

// The resident memory of a fresh process (this program in its --view-rss mode) before it opens
// the file, and after its view has read 20 rows.
void BM_ViewOf20RowsResidentMemory(benchmark::State& state) {
  const fs::path& dir = DataDirectory(state.range(0));
  long before = 0, after = 0;
  for (auto _ : state) {
    int out[2];
    if (pipe(out) != 0) return state.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string mode = "--view-rss", where = dir.string();
    char* argv[] = {self.data(), mode.data(), where.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) return state.SkipWithError("spawn");
    char text[128] = {};
    ssize_t got = read(out[0], text, sizeof text - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got <= 0 || std::sscanf(text, "%ld %ld", &before, &after) != 2) return state.SkipWithError("no answer");
  }
  state.counters["rss_before_open_kB"] = static_cast<double>(before);
  state.counters["rss_after_20_rows_kB"] = static_cast<double>(after);
}

int ViewRss(const char* dir) {
  fs::current_path(dir);
  const long before = Resident_kB();
  files::Files files;
  files.Apps.Open();
  store::View view(files.Apps);
  view.Open();
  view.Set();
  for (int i = 0; i < 20; ++i) view.Next();
  if (files.store.error.code != 0) return 1;
  std::printf("%ld %ld\n", before, Resident_kB());
  return 0;
}

constexpr long kSmall = 1000;
constexpr long kLarge = 1000000;

BENCHMARK(BM_OpenWithChecks)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SeekToKeyValue)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextInKeyOrder)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreviousInKeyOrder)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResetToPositionAndNext)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Add)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Put)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Delete)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewOf20RowsResidentMemory)->Arg(kSmall)->Arg(kLarge)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--view-rss") return ViewRss(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RemoveDataDirectories();
  return 0;
}
