// Apps files of a given size for the benchmarks, built once per run in a temporary directory, and
// the process's resident memory. Shared by bench_store and bench_browse.
#pragma once

#include <filesystem>
#include <string>

#include "files/files.h"

namespace bench_data {

// Directory and name of the record with number n: 1,000 records per directory, the numbers
// inserted in shuffled order so that file order and key order differ.
std::string Directory(long n);
std::string Application(long n);
void SetRecord(files::Files& files, long n);

// The process's resident set in kB (-1 when unknown).
long Resident_kB();

// The directory holding APPS.db with `count` records; built on first use.
const std::filesystem::path& DataDirectory(long count);

// Removes the directories DataDirectory built.
void RemoveDataDirectories();

// Works in the data directory of a size for the length of one benchmark.
class InData {
 public:
  explicit InData(long count) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(DataDirectory(count));
  }
  ~InData() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

}  // namespace bench_data
