// nightjar.exe under wine with long file names, as a shop names its applications: paths typed into
// the application form are added by the short names the system gives them, tagged there, and made
// by the window's batch against the stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app_seeding.h"
#include "files/files.h"
#include "platform/directory_lister.h"
#include "process_support.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"
#include "runtime/win32/win32_peer.h"

namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
namespace af = procedures::application_form_field;
using test_support::WaitUntil;
using test_support::WindowsPath;

// The store in `folder`: Apps as "directory|name|tag", sorted, and the log as "APP  EVENT" lines.
std::pair<std::vector<std::string>, std::string> ReadStore(const fs::path& folder) {
  std::vector<std::string> apps;
  std::string log;
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  {
    files::Files files;
    files.Apps.Open();
    files.Apps.Set(store::Order::File);
    for (files.Apps.Next(); files.store.error.code == 0; files.Apps.Next())
      apps.push_back(files.APP.DriveNPath.str() + "|" + files.APP.Application.str() + "|" +
                     std::to_string(files.APP.Tag));
    files.TempFile.Open();
    files.TempFile.Set(store::Order::File);
    for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next())
      log += files.TMP.Apps.str() + "  " + files.TMP.Event.str() + "\n";
  }
  fs::current_path(previous);
  std::sort(apps.begin(), apps.end());
  return {apps, log};
}

TEST(LongNamesWindowTest, LongNamesTypedIntoTheFormAreAddedByTheirShortNamesAndMade) {
#ifndef NIGHTJAR_EXE
  GTEST_SKIP() << "nightjar.exe is not part of this build";
#else
  const fs::path folder = test_support::FreshTempFolder("nj-long-");
  ASSERT_EQ(test_support::SeedTaggedApps(folder, {}), "");  // an empty list
  const std::string dir = folder.string() + "\\";
  const std::vector<std::string> names = {"CustomerAccounts.APP", "Invoice01.APP"};
  for (const std::string& name : names) std::ofstream(folder / name, std::ios::binary) << "PROGRAM\r\n";
  const std::string log = (folder / "standin.log").string();
  std::string problem;
  auto standin = test_support::StartStandIn(WindowsPath(NJ_STANDIN_EXE), folder, log, "--write_delay_ms=200", problem);
  ASSERT_TRUE(standin) << problem;

  test_support::TestProcess nightjar;
  ASSERT_TRUE(nightjar.Start(WindowsPath(NIGHTJAR_EXE), "", folder.string()));
  HWND main = test_support::WaitForWindow(nightjar.id(), L"Nightjar (Batchwright)", 30000);
  ASSERT_NE(main, nullptr);
  auto control = [](HWND window, int field) { return GetDlgItem(window, rt::win32::kFirstControlId + field); };
  auto click = [&](HWND window, int field) { PostMessageW(control(window, field), BM_CLICK, 0, 0); };
  for (std::size_t i = 0; i < names.size(); ++i) {
    click(main, f::Insert);
    HWND form = test_support::WaitForWindow(nightjar.id(), L"Record will be Added", 20000);
    ASSERT_NE(form, nullptr) << "no form for " << names[i];
    const std::wstring typed = fs::path(dir + names[i]).wstring();
    SendMessageTimeoutW(control(form, af::FileName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    click(form, af::APP_Tag);
    click(form, af::OK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }, 20000)) << names[i] << " was not saved";
  }
  ASSERT_EQ(ReadStore(folder).first.size(), 2u);

  click(main, f::MakeExe);
  ASSERT_TRUE(WaitUntil([&] { return test_support::TextOf(control(main, f::LastAction)) == L"Processing Complete"; },
                        60000))
      << fs::path(test_support::TextOf(control(main, f::LastAction))).string();
  click(main, f::Close);
  EXPECT_EQ(WaitForSingleObject(nightjar.handle(), 20000), WAIT_OBJECT_0);

  // Each is stored, tagged, by the short form the system gives its long path, and made.
  const auto [apps, stored_log] = ReadStore(folder);
  std::vector<std::string> expected;
  for (const std::string& name : names) {
    const std::string short_path = platform::MakeDirectoryLister()->ShortPath(dir + name);
    const std::string short_name = short_path.substr(short_path.find_last_of('\\') + 1);
    expected.push_back(short_path.substr(0, short_path.size() - short_name.size()) + "|" + short_name + "|1");
    EXPECT_NE(stored_log.find(short_name + "  Make Finished"), std::string::npos) << short_path << "\n" << stored_log;
    EXPECT_TRUE(fs::exists(folder / (short_name.substr(0, short_name.size() - 4) + ".EXE"))) << short_path;
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(apps, expected);
  std::error_code error;
  fs::remove_all(folder, error);
#endif
}

}  // namespace
