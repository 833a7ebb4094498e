// How long one "Gen & Make (.EXE)" batch takes per application, nightjar.exe against the IDE
// stand-in as two processes, as the user runs them (under wine on Linux: scripts/bench-batch.sh).
// A fresh folder gets 20 tagged applications; the stand-in, started as CW20.exe, writes each
// executable 1 s after acknowledging its command; the batch is timed from the button press until
// the last-action field reads "Processing Complete". What a batch costs beyond the IDE's own second
// per application is the program's overhead: the command, the wait's polling, the log.
// Options: --apps=N (1 to 99), --write_delay_ms=N, --limit_s=N (gives up after that long).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app_seeding.h"
#include "files/files.h"
#include "process_support.h"
#include "runtime/win32/win32_peer.h"
#include "procedures/main_def.h"

namespace {

namespace fs = std::filesystem;
namespace f = procedures::main_field;
using rt::win32::kFirstControlId;
using test_support::TextOf;

constexpr wchar_t kMainTitle[] = L"Nightjar (Batchwright)";

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "bench_batch: %s\n", why.c_str());
  return 1;
}

// The value of "--name=N" among the arguments, or `fallback`.
int Argument(int argc, char** argv, const std::string& name, int fallback) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(prefix, 0) == 0) return std::atoi(argv[i] + prefix.size());
  return fallback;
}

// Answers whatever message box `process` shows with OK, counting them: a batch that asks nothing
// should show none.
int AnswerBoxes(DWORD process) {
  int answered = 0;
  for (HWND hwnd : test_support::TopLevelWindowsOf(process))
    if (test_support::ClassOf(hwnd) == L"#32770") {
      PostMessageW(GetDlgItem(hwnd, IDOK), BM_CLICK, 0, 0);
      ++answered;
    }
  return answered;
}

// Counts the records of the activity log in `folder` whose event is `event`.
int CountLogged(const fs::path& folder, const std::string& event) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  int count = 0;
  {
    files::Files files;
    files.TempFile.Open();
    if (files.store.error.code == 0) {
      files.TempFile.Set(store::Order::File);
      for (files.TempFile.Next(); files.store.error.code == 0; files.TempFile.Next())
        if (files.TMP.Event.str() == event) ++count;
      files.TempFile.Close();
    }
  }
  fs::current_path(previous);
  return count;
}

int Run(int argc, char** argv, const fs::path& folder) {
  const int apps = Argument(argc, argv, "apps", 20);
  const int write_delay_ms = Argument(argc, argv, "write_delay_ms", 1000);
  const int limit_s = Argument(argc, argv, "limit_s", 20 * 60);
  if (apps < 1 || apps > 99) return Fail("--apps must be 1 to 99");

  std::vector<std::string> bases;
  for (int i = 1; i <= apps; ++i) bases.push_back((i < 10 ? "APP0" : "APP") + std::to_string(i));
  if (std::string problem = test_support::SeedTaggedApps(folder, bases); !problem.empty()) return Fail(problem);

  // The stand-in as the IDE is started: a copy named CW20.exe, in a folder of its own.
  const fs::path ide = folder / "ide";
  const fs::path standin_exe = ide / "CW20.exe";
  const fs::path standin_log = ide / "standin.log";
  std::error_code error;
  fs::create_directories(ide, error);
  if (!fs::copy_file(test_support::WindowsPath(NJ_STANDIN_EXE), standin_exe, fs::copy_options::overwrite_existing,
                     error))
    return Fail("cannot copy the stand-in: " + error.message());
  test_support::TestProcess standin;
  if (!standin.Start(standin_exe.string(),
                     "--write_delay_ms=" + std::to_string(write_delay_ms) + " \"--log=" + standin_log.string() + "\"",
                     ide.string()))
    return Fail("cannot start the stand-in");
  for (DWORD start = GetTickCount(); ReadFile(standin_log).find("ready ") == std::string::npos; Sleep(50))
    if (GetTickCount() - start > 15000 || !standin.Running()) return Fail("the stand-in did not come up");

  test_support::TestProcess nightjar;
  if (!nightjar.Start(test_support::WindowsPath(NIGHTJAR_EXE), "", folder.string()))
    return Fail("cannot start nightjar.exe");
  HWND main = test_support::WaitForWindow(nightjar.id(), kMainTitle, 30000);
  if (main == nullptr) return Fail("no main window");
  HWND last_action = GetDlgItem(main, kFirstControlId + f::LastAction);
  for (DWORD start = GetTickCount(); TextOf(last_action) != L"Connected to CW"; Sleep(50))
    if (GetTickCount() - start > 10000) return Fail("nightjar.exe did not connect to the stand-in");

  int boxes = 0;
  const auto pressed = std::chrono::steady_clock::now();
  PostMessageW(GetDlgItem(main, kFirstControlId + f::MakeExe), BM_CLICK, 0, 0);
  double seconds = 0;
  for (;;) {
    Sleep(20);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
    boxes += AnswerBoxes(nightjar.id());
    if (TextOf(last_action) == L"Processing Complete") break;
    if (seconds > limit_s) return Fail("the batch did not end within " + std::to_string(limit_s) + " s");
    if (!nightjar.Running()) return Fail("nightjar.exe ended during the batch");
  }

  PostMessageW(GetDlgItem(main, kFirstControlId + f::Close), BM_CLICK, 0, 0);
  WaitForSingleObject(nightjar.handle(), 20000);
  int made = 0;
  for (const std::string& base : bases)
    if (ReadFile(folder / (base + ".EXE")).rfind("Built by the IDE stand-in", 0) == 0) ++made;
  const int finished = CountLogged(folder, "Make Finished");

  const double per_app = seconds / apps;
  std::printf("applications:              %d (made %d, logged \"Make Finished\" %d, message boxes %d)\n", apps, made,
              finished, boxes);
  std::printf("IDE write delay:           %.3f s\n", write_delay_ms / 1000.0);
  std::printf("total:                     %.2f s\n", seconds);
  std::printf("per application:           %.3f s\n", per_app);
  std::printf("overhead per application:  %.3f s\n", per_app - write_delay_ms / 1000.0);
  if (made != apps || finished != apps || boxes != 0) return Fail("the batch did not make every application cleanly");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  // Short, for the folder must fit APP:DriveNPath.
  const fs::path folder = fs::path(temp) / ("nj-bench-" + std::to_string(GetCurrentProcessId()));
  std::error_code error;
  fs::remove_all(folder, error);
  // Run's processes have ended (their handles end them) before the folder goes.
  const int status = Run(argc, argv, folder);
  fs::remove_all(folder, error);
  return status;
}
