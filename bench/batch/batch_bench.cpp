// How long one "Gen & Make (.EXE)" batch takes per application, nightjar.exe against the IDE
// stand-in as two processes, as the user runs them (under wine on Linux: scripts/bench-batch.sh).
// A fresh folder gets 20 tagged applications; the stand-in, started as CW20.exe, writes each
// executable 1 s after acknowledging its command; the batch is timed from the button press until
// the last-action field reads "Processing Complete". What a batch costs beyond the IDE's own second
// per application is the program's overhead: the command, the wait's polling, the log.
// With --changed=N, the nightly run with "only changed" instead: nightjar.com makes every
// application once, N of the .APP files are touched, and a second run with --changed is timed
// from its start to its exit; it should send just those N and take little more than their makes.
// Options: --apps=N (1 to 99), --write_delay_ms=N, --limit_s=N (gives up after that long),
// --changed=N (0 to --apps; 0, the default, times the window's batch).
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
#include "ide/batch_plan.h"
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

// Runs nightjar.com with `arguments` in `folder`, its output into `output`. The seconds from its
// start to its exit, or -1 when it could not start or did not end within `limit_s` (then it is
// ended); `exit_code` is what it returned.
double RunConsole(const fs::path& folder, const std::string& arguments, const fs::path& output, int limit_s,
                  DWORD& exit_code) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(output.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return -1;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION info{};
  const std::string program = test_support::WindowsPath(NIGHTJAR_COM);
  std::string command = "\"" + program + "\" " + arguments;
  const auto started = std::chrono::steady_clock::now();
  const BOOL created = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.string().c_str(), &startup, &info);
  CloseHandle(out);
  if (!created) return -1;
  const DWORD waited = WaitForSingleObject(info.hProcess, static_cast<DWORD>(limit_s) * 1000);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (waited != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
  WaitForSingleObject(info.hProcess, 5000);
  GetExitCodeProcess(info.hProcess, &exit_code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return waited == WAIT_OBJECT_0 ? seconds : -1;
}

// The nightly run with "only changed": every application made once, `changed` of their .APP files
// touched (spread over the list), then the timed run that should send just those.
int RunChanged(const std::vector<std::string>& bases, int changed, int write_delay_ms, int limit_s,
               const fs::path& folder) {
  const int apps = static_cast<int>(bases.size());
  DWORD code = 0;
  const double first = RunConsole(folder, "run make-exe --all", folder / "first.txt", limit_s, code);
  if (first < 0 || code != 0)
    return Fail("the first make did not end cleanly (exit code " + std::to_string(code) + "):\n" +
                ReadFile(folder / "first.txt"));
  // Touched now, after the executables were written: their sources are newer than their outputs.
  // The time set keeps whole seconds only (mingw's last_write_time), so a touch within the second of
  // the last executable would date its source before it: the touch waits for the next second.
  Sleep(1100);
  const auto now = fs::file_time_type::clock::now();
  std::error_code error;
  for (int i = 0; i < changed; ++i) {
    fs::last_write_time(folder / (bases[static_cast<std::size_t>(i * apps / changed)] + ".APP"), now, error);
    if (error) return Fail("cannot touch an .APP file: " + error.message());
  }
  const double seconds = RunConsole(folder, "run make-exe --all --changed", folder / "changed.txt", limit_s, code);
  if (seconds < 0) return Fail("the run with --changed did not end within " + std::to_string(limit_s) + " s");
  const int made = CountLogged(folder, "Make Finished");
  const int up_to_date = CountLogged(folder, ide::kUpToDateText);
  const double target = changed * write_delay_ms / 1000.0 + apps * 0.1;

  std::printf("applications:              %d, %d .APP files touched after the first make\n", apps, changed);
  std::printf("IDE write delay:           %.3f s\n", write_delay_ms / 1000.0);
  std::printf("first make (all):          %.2f s\n", first);
  std::printf("run --changed:             %.2f s (sent and made %d, \"Up to date, not sent\" %d, exit code %lu)\n",
              seconds, made, up_to_date, static_cast<unsigned long>(code));
  std::printf("target:                    %.2f s (%d makes + %d x 0.1 s): %s\n", target, changed, apps,
              seconds <= target ? "met" : "MISSED");
  if (made != changed || up_to_date != apps - changed || code != 0)
    return Fail("the run with --changed did not send exactly the touched applications:\n" +
                ReadFile(folder / "changed.txt"));
  return 0;
}

int Run(int argc, char** argv, const fs::path& folder) {
  const int apps = Argument(argc, argv, "apps", 20);
  const int write_delay_ms = Argument(argc, argv, "write_delay_ms", 1000);
  const int limit_s = Argument(argc, argv, "limit_s", 20 * 60);
  const int changed = Argument(argc, argv, "changed", 0);
  if (apps < 1 || apps > 99) return Fail("--apps must be 1 to 99");
  if (changed < 0 || changed > apps) return Fail("--changed must be 0 to --apps");

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
  if (changed > 0) return RunChanged(bases, changed, write_delay_ms, limit_s, folder);

  test_support::TestProcess nightjar;
  if (!nightjar.Start(test_support::WindowsPath(NIGHTJAR_EXE), "", folder.string()))
    return Fail("cannot start nightjar.exe");
  HWND main = test_support::WaitForWindow(nightjar.id(), kMainTitle, 30000);
  if (main == nullptr) return Fail("no main window");
  HWND last_action = GetDlgItem(main, kFirstControlId + f::LastAction);
  // "Connected to CW20 (pid 1234)": the stand-in's program and process.
  for (DWORD start = GetTickCount(); TextOf(last_action).rfind(L"Connected to ", 0) != 0; Sleep(50))
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
