// Apps files of a given size for the benchmarks, and the process's resident memory.
#include "apps_data.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <vector>

namespace bench_data {

namespace fs = std::filesystem;

namespace {
std::map<long, fs::path>& Built() {
  static std::map<long, fs::path> built;
  return built;
}
}  // namespace

std::string Directory(long n) { return "C:\\PROJECTS\\DIR" + std::to_string(n / 1000) + "\\"; }
std::string Application(long n) { return "APP" + std::to_string(n % 1000) + ".APP"; }

void SetRecord(files::Files& files, long n) {
  files.APP.DriveNPath = Directory(n);
  files.APP.Application = Application(n);
  files.APP.Tag = static_cast<std::int16_t>(n % 2);
}

long Resident_kB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// One directory per file size, with APPS.db holding `count` records; built on first use.
const fs::path& DataDirectory(long count) {
  std::map<long, fs::path>& built = Built();
  auto found = built.find(count);
  if (found != built.end()) return found->second;
  fs::path dir = fs::temp_directory_path() / ("nightjar-bench-" + std::to_string(getpid()) + "-" + std::to_string(count));
  fs::create_directories(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  files::Files files;
  files.Apps.Create();
  files.Apps.Open();
  std::vector<long> order(static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  const long kBatch = 50000;
  for (long done = 0; done < count; done += kBatch) {
    files.Apps.BeginTransaction(2);
    for (long i = done; i < std::min(count, done + kBatch); ++i) {
      SetRecord(files, order[static_cast<std::size_t>(i)]);
      files.Apps.Add();
    }
    files.Apps.Commit();
  }
  files.Apps.Close();
  fs::current_path(previous);
  return built[count] = dir;
}

void RemoveDataDirectories() {
  std::error_code error;
  for (const auto& [count, dir] : Built()) fs::remove_all(dir, error);
  Built().clear();
}

}  // namespace bench_data
