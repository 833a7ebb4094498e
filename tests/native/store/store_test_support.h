// What the store tests share: a fresh working directory per test (the store's files live in the
// current directory), the process state with short lock waits, the headless runtime for warnings,
// and the ways to damage a real file as a crash, a bad disk or another tool would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "files/files.h"

namespace store_test {

// A new empty directory under the test program's own temporary directory.
std::filesystem::path FreshDirectory();

// A fresh directory made current for as long as this lives; the previous one is current again after.
// Declared before the members that open files, so that they open them there.
class InFreshDirectory {
 public:
  InFreshDirectory() : previous_(std::filesystem::current_path()), path_(FreshDirectory()) {
    std::filesystem::current_path(path_);
  }
  ~InFreshDirectory() {
    std::filesystem::current_path(previous_);
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  InFreshDirectory(const InFreshDirectory&) = delete;
  InFreshDirectory& operator=(const InFreshDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// The whole file as bytes ("" when it cannot be read).
std::string FileBytes(const std::filesystem::path& path);

// Application records added as another station adds them, through a connection of its own (APPS
// made first when there is none), in the order given.
struct SeededApp {
  std::string directory;
  std::string name;
  int tag = 0;
};
void SeedApps(const std::vector<SeededApp>& apps);

// Runs `sql` on the file as another program would; "" or what failed.
std::string ExecOn(const std::string& path, const std::string& sql);

// Another program's SQLite database at `path`, with a table named Apps of its own; "" or what failed.
std::string MakeOtherDatabase(const std::string& path);

// Damage to a store file made with SQLite itself or by overwriting a page on disk; the file is
// closed by every store connection when they run. Each returns an empty string, or what went wrong.
// The index misses the entries of `rows` records added behind its back.
std::string DamageIndexMissingRows(const std::string& path, int rows);
// The index's entries are in the wrong order (built descending, declared ascending).
std::string DamageIndexOrder(const std::string& path);
// A leaf page of the index (or of the table) is overwritten with garbage.
std::string DamageIndexPage(const std::string& path);
std::string DamageTablePage(const std::string& path);

// A lock-wait clock that moves only by the store's sleeps. Counts the waits, and runs `on_wait` as
// each starts (to release another process's lock at exactly that moment).
class VirtualWaitClock : public store::WaitClock {
 public:
  std::int64_t NowMicroseconds() override { return now_us; }
  void Sleep(const std::string& file, int attempt, std::int64_t microseconds) override {
    if (attempt == 0) {
      ++waits;
      if (on_wait) on_wait(file);
    }
    now_us += microseconds;
  }
  std::int64_t now_us = 0;
  int waits = 0;
  std::function<void(const std::string&)> on_wait;
};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Apps records "C:\DIR<n>\" + "APP<n>.APP" for n in [first, first + count), added through the store;
  // the file must be open.
  void AddApps(int first, int count);
  // Creates APPS.db with `count` such records and closes it again.
  void MakeApps(int count);
  std::int32_t code() const { return files_.store.error.code; }
  // The boxes the program showed, as "caption: text" lines.
  std::string Boxes() const;

  std::filesystem::path directory_;
  std::filesystem::path previous_directory_;
  rt::headless::HeadlessBackend backend_;
  rt::Runtime runtime_{backend_};
  files::Files files_;
};

}  // namespace store_test
