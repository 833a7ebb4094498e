// Seeding a folder with tagged applications: see app_seeding.h.
#include "app_seeding.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include <windows.h>

#include "files/files.h"

namespace test_support {

std::string SeedTaggedApps(const std::filesystem::path& folder, const std::vector<std::string>& bases) {
  namespace fs = std::filesystem;
  const std::string dir = folder.string() + "\\";
  if (dir.size() > 80) return "the folder does not fit APP:DriveNPath: " + dir;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return "cannot make " + dir + ": " + error.message();
  for (const std::string& base : bases) {
    std::ofstream(folder / (base + ".APP"), std::ios::binary) << "NAME=" << base << "\r\n";
    std::ofstream(folder / (base + ".EXE"), std::ios::binary) << "stale";
  }

  // The store makes its files in the current folder.
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  std::string problem;
  {
    files::Files files;
    files.Apps.Create();
    if (files.store.error.code == 0) files.Apps.Open();
    for (std::size_t i = 0; i < bases.size() && files.store.error.code == 0; ++i) {
      files.APP.Clear();
      files.APP.DriveNPath = dir;
      files.APP.Application = bases[i] + ".APP";
      files.APP.Tag = 1;
      files.Apps.Add();
    }
    if (files.store.error.code != 0) problem = "Apps: " + files.store.error.text;
    files.Apps.Close();
  }
  fs::current_path(previous);
  return problem;
}

std::filesystem::path FreshTempFolder(const std::string& prefix) {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  static int folders = 0;
  const std::filesystem::path folder = std::filesystem::path(temp) /
      (prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++folders));
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  std::filesystem::create_directories(folder, error);
  return folder;
}

std::unique_ptr<TestProcess> StartStandIn(const std::string& standin_exe, const std::filesystem::path& folder,
                                          const std::string& log, const std::string& settings, std::string& problem) {
  namespace fs = std::filesystem;
  const fs::path ide = folder / "ide";
  const fs::path exe = ide / "CW20.exe";
  std::error_code error;
  fs::create_directories(ide, error);
  fs::copy_file(standin_exe, exe, fs::copy_options::overwrite_existing, error);
  auto standin = std::make_unique<TestProcess>();
  if (error || !standin->Start(exe.string(), "\"--log=" + log + "\" " + settings, ide.string())) {
    problem = "the stand-in could not be copied or started: " + error.message();
    return nullptr;
  }
  auto ready = [&] { return ReadFile(log).find("ready ") != std::string::npos; };
  if (!WaitUntil([&] { return ready() || !standin->Running(); }, 15000) || !standin->Running()) {
    problem = "the stand-in did not come up:\n" + ReadFile(log);
    return nullptr;
  }
  return standin;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace test_support
