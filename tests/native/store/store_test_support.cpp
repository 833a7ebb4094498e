// The store tests' working directories and file damage: SQLite's writable schema makes a short or
// misordered index, a page overwritten on disk makes garbage.
#include "store_test_support.h"

#include <sqlite3.h>

#include <atomic>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#define NIGHTJAR_GETPID _getpid
#else
#include <unistd.h>
#define NIGHTJAR_GETPID getpid
#endif

namespace store_test {
namespace fs = std::filesystem;

namespace {

// The test program's own temporary directory, removed when the program ends. Every test of the
// program (not only the store's) runs inside it, so nothing a test makes lands in the source or
// build tree: Main opens Apps in the current directory.
class WorkingDirectoryEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    original_ = fs::current_path();
    for (int attempt = 0;; ++attempt) {
      root_ = fs::temp_directory_path() /
              ("nightjar-tests-" + std::to_string(NIGHTJAR_GETPID()) + "-" + std::to_string(attempt));
      std::error_code error;
      if (fs::create_directory(root_, error)) break;
      ASSERT_LT(attempt, 100) << "cannot make a temporary directory under " << fs::temp_directory_path();
    }
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(original_);
    std::error_code error;
    fs::remove_all(root_, error);
  }
  static const fs::path& root() { return root_; }

 private:
  fs::path original_;
  static fs::path root_;
};
fs::path WorkingDirectoryEnvironment::root_;

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WorkingDirectoryEnvironment);

std::string Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return "";
  std::string text = message != nullptr ? message : "?";
  sqlite3_free(message);
  return text + " in: " + sql;
}

std::int64_t QueryInt(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  std::int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
    value = sqlite3_column_int64(stmt, 0);
  sqlite3_finalize(stmt);
  return value;
}

std::string IndexSql(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  std::string sql;
  if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type='index'", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    sql = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  sqlite3_finalize(stmt);
  return sql;
}

// Runs `steps` on a connection of its own, closing it afterwards; reopening makes SQLite read the
// edited schema.
template <typename Steps>
std::string WithDb(const std::string& path, Steps steps) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return "cannot open " + path;
  }
  std::string result = steps(db);
  sqlite3_close(db);
  return result;
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// Overwrites a leaf page below the root page of `object` (or the root itself when it is a leaf).
std::string OverwriteLeafOf(const std::string& path, const std::string& object) {
  std::int64_t page_size = 0, root = 0;
  std::string failure = WithDb(path, [&](sqlite3* db) {
    page_size = QueryInt(db, "PRAGMA page_size");
    root = QueryInt(db, "SELECT rootpage FROM sqlite_schema WHERE name=" + Quoted(object));
    return page_size > 0 && root > 0 ? std::string() : std::string("no such object");
  });
  if (!failure.empty()) return failure;
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string page(static_cast<std::size_t>(page_size), '\0');
  file.seekg((root - 1) * page_size);
  file.read(page.data(), page_size);
  if (!file) return "cannot read the root page";
  std::int64_t target = root;
  const unsigned char kind = static_cast<unsigned char>(page[0]);
  if (kind == 0x02 || kind == 0x05) {  // an interior page: take the child of its first cell
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(page[i]); };
    const std::size_t cell = (static_cast<std::size_t>(at(12)) << 8) | at(13);
    target = (static_cast<std::int64_t>(at(cell)) << 24) | (static_cast<std::int64_t>(at(cell + 1)) << 16) |
             (static_cast<std::int64_t>(at(cell + 2)) << 8) | at(cell + 3);
  }
  std::string garbage(static_cast<std::size_t>(page_size), '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
  file.seekp((target - 1) * page_size);
  file.write(garbage.data(), page_size);
  file.close();
  return file ? std::string() : std::string("cannot write the page");
}

}  // namespace

fs::path FreshDirectory() {
  static std::atomic<int> counter{0};
  fs::path base = WorkingDirectoryEnvironment::root().empty() ? fs::temp_directory_path()
                                                             : WorkingDirectoryEnvironment::root();
  for (;;) {
    fs::path dir = base / ("t" + std::to_string(NIGHTJAR_GETPID()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (fs::create_directory(dir, error)) return dir;
  }
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void SeedApps(const std::vector<SeededApp>& apps) {
  files::Files other;
  if (!std::filesystem::exists("APPS.db")) other.Apps.Create();
  other.Apps.Open();
  ASSERT_EQ(other.store.error.code, 0) << other.store.error.text;
  for (const SeededApp& app : apps) {
    other.APP.DriveNPath = app.directory;
    other.APP.Application = app.name;
    other.APP.Tag = static_cast<std::int16_t>(app.tag);
    other.Apps.Add();
    ASSERT_EQ(other.store.error.code, 0) << other.store.error.text << ": " << app.directory << app.name;
  }
  other.Apps.Close();
}

std::string ExecOn(const std::string& path, const std::string& sql) {
  return WithDb(path, [&](sqlite3* db) { return Exec(db, sql); });
}

std::string MakeOtherDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::string failure = rc == SQLITE_OK ? Exec(db, "CREATE TABLE Apps(name TEXT); INSERT INTO Apps VALUES('x')")
                                        : std::string("cannot create ") + path;
  sqlite3_close(db);
  return failure;
}

std::string DamageIndexMissingRows(const std::string& path, int rows) {
  std::string index_sql;
  std::string failure = WithDb(path, [&](sqlite3* db) {
    index_sql = IndexSql(db);
    // Declared partial over no row, the index takes no entries for the rows added next.
    return Exec(db, "PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql=" + Quoted(index_sql + " WHERE id<0") +
                        " WHERE type='index'");
  });
  if (failure.empty())
    failure = WithDb(path, [&](sqlite3* db) {
      std::string out;
      for (int i = 0; i < rows && out.empty(); ++i) {
        const std::string n = std::to_string(i);
        out = Exec(db, "INSERT INTO Apps(chg, DriveNPath, Application, Tag, DriveNPath_fold, Application_fold) "
                       "VALUES(0, 'C:\\HIDDEN\\', 'H" + n + ".APP', 0, 'C:\\HIDDEN\\', 'H" + n + ".APP')");
      }
      return out;
    });
  if (failure.empty())
    failure = WithDb(path, [&](sqlite3* db) {
      return Exec(db, "PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql=" + Quoted(index_sql) +
                          " WHERE type='index'");
    });
  return failure;
}

std::string DamageIndexOrder(const std::string& path) {
  return WithDb(path, [&](sqlite3* db) {
    const std::string index_sql = IndexSql(db);
    const std::size_t open = index_sql.find('(');
    std::string columns = index_sql.substr(open + 1, index_sql.size() - open - 2);
    std::string descending;
    std::stringstream parts(columns);
    for (std::string part; std::getline(parts, part, ',');) descending += (descending.empty() ? "" : ",") + part + " DESC";
    const std::string name = index_sql.substr(0, open).substr(index_sql.rfind(" INDEX ") + 7);
    const std::string index_name = name.substr(0, name.find(' '));
    return Exec(db, "DROP INDEX " + index_name + "; " + index_sql.substr(0, open) + "(" + descending + ");" +
                        " PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql=" + Quoted(index_sql) +
                        " WHERE type='index'");
  });
}

std::string DamageIndexPage(const std::string& path) {
  std::string index_name;
  std::string failure = WithDb(path, [&](sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_schema WHERE type='index'", -1, &stmt, nullptr);
    if (sqlite3_step(stmt) == SQLITE_ROW) index_name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    return index_name.empty() ? std::string("no index") : std::string();
  });
  return failure.empty() ? OverwriteLeafOf(path, index_name) : failure;
}

std::string DamageTablePage(const std::string& path) { return OverwriteLeafOf(path, "Apps"); }

void StoreTest::SetUp() {
  previous_directory_ = fs::current_path();
  directory_ = FreshDirectory();
  fs::current_path(directory_);
  // Lock waits in tests: an ordinary wait of 20 ms, and "seconds" of 10 ms, so "Recover=10"
  // waits 100 ms and a transaction's time-out of 2 waits 20 ms.
  files_.store.timing.ordinary_wait_ms = 20;
  files_.store.timing.second_ms = 10;
}

void StoreTest::TearDown() {
  files_.Apps.Close();
  files_.TempFile.Close();
  fs::current_path(previous_directory_);
  // Tests take rights away from files; give them back so that everything can be removed.
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(directory_, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(directory_, error);
}

void StoreTest::AddApps(int first, int count) {
  for (int n = first; n < first + count; ++n) {
    files_.APP.DriveNPath = "C:\\DIR" + std::to_string(n) + "\\";
    files_.APP.Application = "APP" + std::to_string(n) + ".APP";
    files_.APP.Tag = static_cast<std::int16_t>(n % 2);
    files_.Apps.Add();
    ASSERT_EQ(code(), 0) << "adding record " << n << ": " << files_.store.error.text;
  }
}

void StoreTest::MakeApps(int count) {
  files_.Apps.Create();
  ASSERT_EQ(code(), 0) << files_.store.error.text;
  files_.Apps.Open();
  ASSERT_EQ(code(), 0) << files_.store.error.text;
  // One transaction: a synchronous commit per record would make big files slow to set up.
  files_.Apps.BeginTransaction(2);
  AddApps(0, count);
  files_.Apps.Commit();
  ASSERT_EQ(code(), 0);
  files_.Apps.Close();
}

std::string StoreTest::Boxes() const {
  std::string out;
  for (const rt::MessageBoxSpec& box : backend_.boxes()) out += box.caption + ": " + box.text + "\n";
  return out;
}

}  // namespace store_test
