// nightjar.com and the IDE stand-in as processes of their own under wine, for what a batch meets
// from the IDE and from other programs: an IDE busy for its first commands, a second batch on the
// same folder while the first runs, another DDE client connecting while a batch waits, and the IDE
// killed during a wait. Each reads the activity log the batch left and ends what it started.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app_seeding.h"
#include "files/files.h"
#include "platform/directory_lister.h"
#include "platform/win32/dde_message_client.h"
#include "process_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::WindowsPath;

using test_support::ReadFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using test_support::WaitUntil;

// The log's records as "APP  EVENT" lines, in the order written; `clocks` takes their times.
std::vector<std::string> ActivityLog(const fs::path& folder, std::vector<std::int32_t>* clocks = nullptr) {
  std::vector<std::string> lines;
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  {
    files::Files files;
    files.TempFile.Open();
    if (files.store.error.code == 0) {
      files.TempFile.Set(store::Order::File);
      for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next()) {
        lines.push_back(files.TMP.Apps.str() + "  " + files.TMP.Event.str());
        if (clocks != nullptr) clocks->push_back(files.TMP.Clock);
      }
      files.TempFile.Close();
    }
  }
  fs::current_path(previous);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// One run of nightjar.com, its output and errors in files of the folder it runs in.
class ConsoleRun {
 public:
  bool Start(const fs::path& folder, const std::string& arguments) {
    out_ = folder / ("out-" + std::to_string(++runs_) + ".txt");
    err_ = folder / ("err-" + std::to_string(runs_) + ".txt");
    return process_.Start(WindowsPath(NIGHTJAR_COM), arguments, folder.string(), out_.string(), err_.string());
  }
  int Wait(DWORD ms) { return process_.Wait(ms); }
  std::string Out() const { return ReadFile(out_); }
  std::string Err() const { return ReadFile(err_); }

 private:
  static inline int runs_ = 0;
  test_support::TestProcess process_;
  fs::path out_;
  fs::path err_;
};

class ConsoleBatchFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef NIGHTJAR_COM
    GTEST_SKIP() << "nightjar.com is not part of this build";
#endif
    folder_ = test_support::FreshTempFolder("nj-faults-");
    log_ = (folder_ / "standin.log").string();
  }
  void TearDown() override {
    standin_.reset();
    std::error_code error;
    fs::remove_all(folder_, error);
  }

  void StartStandIn(const std::string& settings) {
    std::string problem;
    standin_ = test_support::StartStandIn(WindowsPath(NJ_STANDIN_EXE), folder_, log_, settings, problem);
    ASSERT_TRUE(standin_) << problem;
  }

  // One tagged application `name` in apps/ with `files` (name, text) beside it, and `arguments`
  // started against a stand-in with `settings`.
  fs::path StartOnOne(const char* name, std::initializer_list<std::pair<const char*, const char*>> files,
                      const std::string& settings, const std::string& arguments, ConsoleRun& run) {
    const fs::path apps = folder_ / "apps";
    EXPECT_EQ(test_support::SeedTaggedApps(apps, {name}), "");
    for (const auto& [file, text] : files) std::ofstream(apps / file, std::ios::binary) << text;
    StartStandIn(settings);
    EXPECT_TRUE(run.Start(apps, arguments));
    return apps;
  }

  fs::path folder_;
  std::string log_;
  std::unique_ptr<test_support::TestProcess> standin_;
};

// The IDE answers its first two commands busy: they go again, and the batch succeeds.
TEST_F(ConsoleBatchFaultsTest, AnIdeBusyForItsFirstCommandsIsAskedAgainAndTheBatchSucceeds) {
  const fs::path apps = folder_ / "apps";
  ASSERT_EQ(test_support::SeedTaggedApps(apps, {"INVOICE"}), "");
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=200 --busy_commands=2"));
  ConsoleRun run;
  ASSERT_TRUE(run.Start(apps, "run make-exe"));
  EXPECT_EQ(run.Wait(60000), 0) << run.Out() << run.Err() << ReadFile(log_);
  const std::string standin = ReadFile(log_);
  std::size_t busy = 0;
  for (std::size_t at = standin.find("answered busy"); at != std::string::npos; at = standin.find("answered busy", at + 1))
    ++busy;
  EXPECT_EQ(busy, 2u) << standin;
  EXPECT_TRUE(Contains(standin, "accepted")) << standin;
  const std::string log = Joined(ActivityLog(apps));
  EXPECT_TRUE(Contains(log, "INVOICE.APP  Begin Make\nINVOICE.APP  Make Finished\n")) << log;
}

// While one batch waits for the IDE: another DDE client connects at once (the batch serves its
// messages), and a second batch on the same folder is refused, naming the first, which goes on
// with its log whole.
TEST_F(ConsoleBatchFaultsTest, WhileABatchWaitsAnotherClientConnectsAndASecondBatchIsRefused) {
  const fs::path apps = folder_ / "apps";
  ASSERT_EQ(test_support::SeedTaggedApps(apps, {"INVOICE", "PAYROLL"}), "");
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--write_delay_ms=6000"));
  ConsoleRun first;
  ASSERT_TRUE(first.Start(apps, "run make-exe"));
  // Into the wait: the IDE took the command.
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(log_), "accepted"); }, 30000)) << ReadFile(log_);

  // The probe runs on a thread of its own, whose DDE window goes with it.
  DWORD connect_ms = 0;
  bool answered = false;
  std::thread([&] {
    auto probe = platform::MakeDdeMessageClient();
    const DWORD start = GetTickCount();
    platform::DdeChannel channel = probe->Connect("ClarionWin");
    connect_ms = GetTickCount() - start;
    answered = channel != 0;
    probe->Close(channel);
  }).join();
  EXPECT_TRUE(answered);
  EXPECT_LT(connect_ms, 1000u) << "a DDE connect took " << connect_ms << " ms while nightjar.com waited";
  std::printf("[ measured ] DDE connect while nightjar.com waits: %lu ms\n", static_cast<unsigned long>(connect_ms));

  ConsoleRun second;
  ASSERT_TRUE(second.Start(apps, "run make-exe"));
  EXPECT_EQ(second.Wait(60000), 2) << second.Out() << second.Err();
  EXPECT_TRUE(Contains(second.Err(), "The activity log is held by this batch: Gen & Make (.EXE) on station"))
      << second.Err();
  EXPECT_EQ(first.Wait(90000), 0) << first.Out() << first.Err();
  const std::vector<std::string> expected{"INVOICE.APP  Begin Make", "INVOICE.APP  Make Finished",
                                          "PAYROLL.APP  Begin Make", "PAYROLL.APP  Make Finished"};
  std::vector<std::string> log = ActivityLog(apps);
  ASSERT_EQ(log.size(), 6u) << Joined(log);
  // The first record names the IDE the batch reached: the stand-in's program and process.
  EXPECT_TRUE(Contains(log[0], "Connected to CW20.exe (process ")) << log[0];
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.begin() + 5), expected) << Joined(log);
  EXPECT_TRUE(Contains(log[5], "Batch ended: 2 finished, of 2")) << log[5];
}

// The IDE is killed while the batch waits for its executable: the batch ends within two seconds,
// with a line that says what happened, and exits 1.
TEST_F(ConsoleBatchFaultsTest, AnIdeKilledDuringTheWaitEndsTheBatchWithinTwoSeconds) {
  const fs::path apps = folder_ / "apps";
  ASSERT_EQ(test_support::SeedTaggedApps(apps, {"INVOICE", "PAYROLL"}), "");
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--never_write"));
  ConsoleRun run;
  ASSERT_TRUE(run.Start(apps, "run make-exe"));
  ASSERT_TRUE(WaitUntil([&] { return Contains(ReadFile(log_), "accepted"); }, 30000)) << ReadFile(log_);
  // The stand-in serves one message at a time: once it answers a new conversation it has done with
  // the command and posted its acknowledgement, so the kill comes during nightjar.com's wait.
  bool answered = false;
  std::thread([&] {
    auto probe = platform::MakeDdeMessageClient();
    platform::DdeChannel channel = probe->Connect("ClarionWin");
    answered = channel != 0;
    probe->Close(channel);
  }).join();
  ASSERT_TRUE(answered) << ReadFile(log_);
  const DWORD killed = GetTickCount();
  TerminateProcess(standin_->handle(), 9);
  const int code = run.Wait(20000);
  const DWORD ended_ms = GetTickCount() - killed;
  EXPECT_EQ(code, 1) << run.Out() << run.Err();
  EXPECT_LT(ended_ms, 2000u) << "after the IDE was killed";
  EXPECT_TRUE(Contains(run.Out(), "INVOICE.APP  The IDE ended the conversation (it exited or closed it)")) << run.Out();
  EXPECT_TRUE(Contains(run.Out(), "Batch ended: 0 finished, 1 failed, 1 not reached, of 2")) << run.Out();
  EXPECT_FALSE(Contains(run.Out(), "PAYROLL.APP  Begin Make")) << run.Out();
}

// An import's file is there before the command: "Finished" is logged only once the IDE has
// written it, three seconds after the acknowledgement.
TEST_F(ConsoleBatchFaultsTest, AnImportIsFinishedOnlyAfterTheIdeWroteItsFile) {
  ConsoleRun run;
  const fs::path apps = StartOnOne("INVOICE", {{"INVOICE.TXA", "NAME=INVOICE\r\nimported\r\n"}},
                                   "--write_delay_ms=3000", "run import-txa --yes", run);
  ASSERT_EQ(run.Wait(60000), 0) << run.Out() << run.Err() << ReadFile(log_);
  EXPECT_EQ(ReadFile(apps / "INVOICE.APP"), "NAME=INVOICE\r\nimported\r\n");
  // After the IDE's record: Begin, Finished and the .APP's write, in hundredths of the day.
  std::vector<std::int32_t> clocks;
  const std::vector<std::string> log = ActivityLog(apps, &clocks);
  std::vector<platform::DirectoryEntry> app;
  platform::MakeDirectoryLister()->List((apps / "INVOICE.APP").string(), app);
  ASSERT_TRUE(log.size() >= 3 && app.size() == 1u) << Joined(log);
  EXPECT_EQ(log[1], "INVOICE.APP  Begin APP Import") << Joined(log);
  EXPECT_EQ(log[2], "INVOICE.APP  Import APP Finished") << Joined(log);
  EXPECT_GE(clocks[2] - clocks[1], 300) << Joined(log);
  EXPECT_GE(clocks[2], app[0].time) << Joined(log);
}

TEST_F(ConsoleBatchFaultsTest, ALibraryProjectInAProgramBatchEndsWithinTwoSecondsOfItsDll) {
  ConsoleRun run;
  const fs::path apps = StartOnOne("LIBCORE", {{"LIBCORE.APP", "NAME=LIBCORE\r\nTARGET=DLL\r\n"}},
                                   "--write_delay_ms=500", "run make-exe", run);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(apps / "LIBCORE.DLL"); }, 30000)) << ReadFile(log_);
  const DWORD written = GetTickCount();
  const int code = run.Wait(20000);
  const DWORD ended_ms = GetTickCount() - written;
  EXPECT_EQ(code, 1) << run.Out() << run.Err();
  EXPECT_LT(ended_ms, 2000u) << "after the .DLL appeared";
  EXPECT_TRUE(Contains(run.Out(), "LIBCORE.APP  The IDE made LIBCORE.DLL, not an .EXE: is it a library project?"))
      << run.Out();
}

}  // namespace
