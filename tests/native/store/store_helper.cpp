// The store test helper's commands. Locks and the interrupted write use SQLite directly, as another
// program sharing the file would; changes go through the store, as another station's Nightjar would.
#include "store_helper.h"

#include <sqlite3.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "child_process.h"
#include "files/files.h"
#include "stress_station.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace store_test {
namespace {

void Say(const std::string& line) {
  std::cout << line << std::endl;  // flushed: the test waits for it
}

std::string WaitForLine() {
  std::string line;
  std::getline(std::cin, line);
  return line;
}

int HoldLock(const std::string& file, const std::string& kind) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 2;
  sqlite3_busy_timeout(db, 10000);
  int rc;
  if (kind == "exclusive") {
    rc = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  } else if (kind == "reserved") {
    rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  } else {
    // A read transaction keeps its shared lock until it ends.
    rc = sqlite3_exec(db, "BEGIN; SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    Say("failed " + std::to_string(rc));
    sqlite3_close(db);
    return 3;
  }
  Say("ready");
  WaitForLine();
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  Say("released");
  return 0;
}

int ChangeFirst(const std::string& name) {
  files::Files files;
  files.Apps.Open();
  if (files.store.error.code == store::kNoError) {
    files.Apps.Set(store::Order::Key);
    files.Apps.Next();
  }
  if (files.store.error.code == store::kNoError) {
    files.APP.Application = name;
    files.Apps.Put();
  }
  Say("done " + std::to_string(files.store.error.code));
  return 0;
}

// A station starting in a folder that may have no Apps yet: on "go", open it, making it first when
// it is missing (as OpenRecordFile does), and add one record.
int CreateAndAdd(const std::string& name) {
  WaitForLine();
  files::Files files;
  files.Apps.Open();
  if (files.store.error.code == store::kFileNotFound) {
    files.Apps.CreateMissing();
    if (files.store.error.code == store::kNoError) files.Apps.Open();
  }
  if (files.store.error.code == store::kNoError) {
    files.APP.Application = name;
    files.Apps.Add();
  }
  Say("done " + std::to_string(files.store.error.code));
  return 0;
}

int DieInWrite(int rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2("APPS.db", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 2;
  sqlite3_busy_timeout(db, 10000);
  // A page cache of a few pages must spill changed pages into the database file long before the
  // commit: the file on disk is then half written, with a hot journal beside it.
  int rc = sqlite3_exec(db, "PRAGMA cache_size=4; BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  if (rc == SQLITE_OK)
    rc = sqlite3_prepare_v2(db,
                            "INSERT INTO Apps(chg, DriveNPath, Application, Tag, DriveNPath_fold, Application_fold) "
                            "VALUES(0, 'C:\\LOST\\', ?1, 0, 'C:\\LOST\\', ?1)",
                            -1, &insert, nullptr);
  for (int i = 0; rc == SQLITE_OK && i < rows; ++i) {
    const std::string name = "L" + std::to_string(i) + ".APP";
    sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(insert) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(db);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  if (rc != SQLITE_OK) {
    Say("failed " + std::to_string(rc));
    return 3;
  }
  Say("ready");
  WaitForLine();  // the test kills this process here
  return 4;
}

int HoldUnshared(const std::string& file) {
  void* handle = OpenUnshared(file);
  if (handle == nullptr) {
    Say("failed");
    return 3;
  }
  Say("ready");
  WaitForLine();
  CloseUnshared(handle);
  Say("released");
  return 0;
}

int OpenUnprivileged() {
#ifndef _WIN32
  // Root passes every permission check; the test is about a user whom the file system refuses.
  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
    Say("failed to drop privileges");
    return 3;
  }
#endif
  files::Files files;
  files.Apps.Open();
  const store::StoreErrorState& e = files.store.error;
  Say(std::to_string(e.code) + "|" + e.text + "|" + e.file_code + "|" + e.file_message);
  return 0;
}

}  // namespace

int RunStoreHelper(const std::vector<std::string>& args) {
  if (args.size() == 3 && args[0] == "lock") return HoldLock(args[1], args[2]);
  if (args.size() == 2 && args[0] == "change") return ChangeFirst(args[1]);
  if (args.size() == 2 && args[0] == "create-add") return CreateAndAdd(args[1]);
  if (args.size() == 2 && args[0] == "die-in-write") return DieInWrite(std::stoi(args[1]));
  if (args.size() == 2 && args[0] == "hold-unshared") return HoldUnshared(args[1]);
  if (args.size() == 1 && args[0] == "open") return OpenUnprivileged();
  if (args.size() == 5 && args[0] == "stress")
    return RunStressStation(std::stoi(args[1]), std::stoull(args[2]), std::stoi(args[3]), args[4]);
  if (args.size() == 3 && args[0] == "writer") return RunKillWriter(std::stoi(args[1]), std::stoull(args[2]));
  std::fprintf(stderr, "store helper: unknown command\n");
  return 1;
}

}  // namespace store_test
