// Seeding a folder with tagged applications: see app_seeding.h.
#include "app_seeding.h"

#include <fstream>
#include <system_error>

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

}  // namespace test_support
