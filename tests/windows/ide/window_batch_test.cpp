// nightjar.exe during a batch, driven from outside under wine against the stand-in: while the IDE
// holds the command (it acknowledges only after a delay) the window answers at once and shows its
// buttons disabled; Esc's "stop now" (the box's No) abandons a wait that would never end, and the
// log says the application was stopped, not made.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app_seeding.h"
#include "files/files.h"
#include "process_support.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"
#include "procedures/main_def.h"

namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
using test_support::WindowsPath;

using test_support::ReadFile;

using test_support::WaitUntil;

TEST(WindowBatchTest, TheWindowAnswersDuringASlowSendAndEscStopsAWaitNow) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  const fs::path folder = test_support::FreshTempFolder("nj-window-");
  ASSERT_EQ(test_support::SeedTaggedApps(folder, {"INVOICE", "PAYROLL"}), "");
  const std::string log = (folder / "standin.log").string();
  std::string problem;
  auto standin = test_support::StartStandIn(WindowsPath(NJ_STANDIN_EXE), folder, log,
                                            "--never_write --ack_delay_ms=4000", problem);
  ASSERT_TRUE(standin) << problem;

  test_support::TestProcess nightjar;
  ASSERT_TRUE(nightjar.Start(WindowsPath(NIGHTJAR_EXE), "", folder.string()));
  HWND main = test_support::WaitForWindow(nightjar.id(), L"Nightjar (Batchwright)", 30000);
  ASSERT_NE(main, nullptr);
  auto control = [&](int field) { return GetDlgItem(main, rt::win32::kFirstControlId + field); };
  ASSERT_TRUE(WaitUntil([&] { return test_support::TextOf(control(f::LastAction)).rfind(L"Connected to CW20 (pid ", 0) == 0; }, 10000));

  PostMessageW(control(f::MakeExe), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(log).find("busy 4000 ms") != std::string::npos; }, 10000));
  // The IDE holds the command for four seconds: the window still answers, and shows no button it
  // would not act on.
  DWORD_PTR length = 0;
  const DWORD asked = GetTickCount();
  ASSERT_NE(SendMessageTimeoutW(main, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length), 0);
  const DWORD answered_ms = GetTickCount() - asked;
  std::printf("[ measured ] the window answered in %lu ms while the IDE held the command\n",
              static_cast<unsigned long>(answered_ms));
  EXPECT_LT(answered_ms, 1000u);
  EXPECT_FALSE(IsWindowEnabled(control(f::MakeExe)));
  EXPECT_FALSE(IsWindowEnabled(control(f::Tag)));

  // Acknowledged, and waiting for an executable that never comes: Esc, and "No" for "now".
  ASSERT_TRUE(WaitUntil([&] { return test_support::TextOf(control(f::LastAction)) == L"INVOICE.APP DDE Ack."; },
                        20000));
  PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (HWND hwnd : test_support::TopLevelWindowsOf(nightjar.id()))
          if (test_support::ClassOf(hwnd) == L"#32770") box = hwnd;
        return box != nullptr;
      },
      10000));
  EXPECT_EQ(test_support::TextOf(box), L"Stop the Batch");
  PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return test_support::TextOf(control(f::LastAction)) == L"Stopped: 2 of 2 not made"; },
                        10000))
      << rt::win32::Narrow(test_support::TextOf(control(f::LastAction)));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(control(f::MakeExe)) != FALSE; }, 5000));
  PostMessageW(control(f::Close), BM_CLICK, 0, 0);
  EXPECT_EQ(WaitForSingleObject(nightjar.handle(), 20000), WAIT_OBJECT_0);

  std::string events;
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  {
    files::Files files;
    files.TempFile.Open();
    files.TempFile.Set(store::Order::File);
    for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next())
      events += files.TMP.Apps.str() + "  " + files.TMP.Event.str() + "\n";
    files.TempFile.Close();
  }
  fs::current_path(previous);
  EXPECT_NE(events.find("INVOICE.APP  Begin Make\nINVOICE.APP  Stopped by the user; the wait for .EXE was abandoned\n"
                        "  Batch stopped by the user\n"),
            std::string::npos)
      << events;
  EXPECT_NE(events.find("Batch ended: 0 finished, 1 stopped, 1 not reached, of 2"), std::string::npos) << events;
  EXPECT_EQ(ReadFile(folder / "PAYROLL.EXE"), "stale");
  std::error_code error;
  fs::remove_all(folder, error);
#endif
}

}  // namespace
