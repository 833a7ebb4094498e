// One key for a folder whatever its spelling, in the pool and the shards too; what a record stores
// (long names where they fit, short ones, stand-ins where the system gives none); the path a batch
// sends; and the long paths kept in APPSLAST.db, older files included.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "files/app_path.h"
#include "ide/pool_schedule.h"
#include "ide/shard.h"
#include "short_names_lister.h"
#include "store/last_results.h"
#include "store/path_key.h"
#include "store/store_test_support.h"

namespace {

// A shop's system: Sales & Marketing is SALE~KF2, CampaignTracker.APP is CAMP~NSY.APP.
struct Shop : test_doubles::ShortNamesLister {
  Shop() {
    Name("Sales & Marketing", "SALE~KF2");
    Name("CampaignTracker.APP", "CAMP~NSY.APP");
  }
};

TEST(FolderKey, EverySpellingOfOneFolderHasOneKeyAndAPlainLongOneAsksTheSystemNothing) {
  Shop system;
  store::PathKeys keys(&system);
  const std::string key = keys.Folder("C:\\Dev\\Sales & Marketing\\");
  for (const char* spelling : {"C:\\DEV\\SALE~KF2\\", "c:/dev/sales & marketing", "C:/Dev/sale~kf2/"})
    EXPECT_EQ(keys.Folder(spelling), key) << spelling;
  EXPECT_EQ(keys.Path("C:\\Dev\\SALE~KF2\\CAMP~NSY.APP"), keys.Path("c:/dev/Sales & Marketing/campaigntracker.app"));
  // A short name the system does not know names nothing: it keys by its text, apart from others.
  EXPECT_NE(keys.Path("C:\\X~1\\A.APP"), keys.Path("C:\\Other\\A.APP"));
  system.lookups = 0;
  store::PathKeys(&system).Path("C:\\Dev\\Quotes\\Quotes.APP");
  EXPECT_EQ(system.lookups, 0);
}

TEST(FolderKey, ThePoolAndTheShardsKeepOneFoldersTwoSpellingsTogether) {
  Shop system;
  store::PathKeys keys(&system);
  ide::PoolSchedule schedule({{"C:\\Dev\\SALE~KF2\\"}, {"C:\\Dev\\Sales & Marketing\\"}, {"C:\\Dev\\Other\\"}}, &keys);
  schedule.Started(*schedule.Next());
  EXPECT_EQ(schedule.Next(), 2u) << "the folder's other spelling waits";
  const ide::ShardSplit split = ide::SplitIntoShards(
      {{.folder = "C:\\Dev\\SALE~KF2\\", .expected = 5}, {.folder = "C:\\Dev\\Sales & Marketing\\", .expected = 5},
       {.folder = "C:\\Dev\\Other\\", .expected = 9}},
      2, &keys);
  EXPECT_EQ(split.shards, (std::vector<std::vector<std::size_t>>{{0, 1}, {2}}));
}

// What a record stores of a path: each folder and each name on its own, long where it fits.
TEST(StoredPath, LongWhereItFitsShortWhereTheSystemHasItAStandInOtherwise) {
  const std::string wide(90, 'w');  // a folder over the record's 80 characters
  Shop system;
  system.Name(wide, "WWWWWW~1");
  struct Case {
    std::string given, directory, name;
  } cases[] = {
      {"C:\\Dev\\Sales & Marketing\\Quotes.APP", "C:\\Dev\\Sales & Marketing\\", "Quotes.APP"},
      // The name alone needs its short form: the folder stays as its other applications store it.
      {"C:\\Dev\\SALE~KF2\\CampaignTracker.APP", "C:\\Dev\\Sales & Marketing\\", "CAMP~NSY.APP"},
      {"C:\\" + wide + "\\A.APP", "C:\\WWWWWW~1\\", "A.APP"},
      {"C:\\Plain\\" + std::string(90, 'v') + "\\Payroll (old).APP",
       files::KeyedFolder("C:\\Plain\\" + std::string(90, 'v') + "\\"),
       files::KeyedName("Payroll (old).APP")},
  };
  for (const Case& c : cases) {
    const files::StoredPath stored = files::StoreAppPath(c.given, system);
    EXPECT_EQ(stored.parts.directory + "|" + stored.parts.name, c.directory + "|" + c.name) << c.given;
    EXPECT_TRUE(stored.parts.Fits()) << c.given;
  }
  EXPECT_EQ(files::StoreAppPath("C:\\Dev\\SALE~KF2\\CAMP~NSY.APP", system).long_path,
            "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP");
}

// Where the system gives no short names, the same long path gives the same stand-in on every
// station, letter case and separators aside; it holds a character no Windows file name holds.
TEST(StoredPath, StandInsAreStableFitTheRecordAndNameNoFile) {
  const std::string folder = "C:\\Projects\\" + std::string(75, 'p') + "\\";
  const std::string keyed = files::KeyedFolder(folder);
  EXPECT_EQ(store::PathKeyText(files::KeyedFolder("c:/projects/" + std::string(75, 'P') + "/")), store::PathKeyText(keyed));
  EXPECT_TRUE(keyed.starts_with("C:\\Projects\\|") && keyed.size() <= files::kDirectoryWidth) << keyed;
  EXPECT_NE(files::KeyedFolder("C:\\Projects\\" + std::string(75, 'q') + "\\"), keyed);
  const std::string name = files::KeyedName("Customer Ledger 2024.APP");
  EXPECT_EQ(name, files::KeyedName("CUSTOMER LEDGER 2024.app").substr(0, 8) + ".APP");
  EXPECT_EQ(name.size(), files::kApplicationWidth);
  EXPECT_NE(name, files::KeyedName("Customer Ledger 2025.APP"));
  EXPECT_TRUE(files::IsKeyed(keyed) && files::IsKeyed(name) && !files::IsKeyed(folder));
  // The batch reaches a stand-in by its long path, any other record by the path it holds.
  EXPECT_EQ(files::CommandPath(keyed, "A.APP", folder + "A.APP"), folder + "A.APP");
  EXPECT_EQ(files::CommandPath("C:\\DEV\\SALE~KF2\\", "CAMP~NSY.APP", "C:\\Dev\\Sales & Marketing\\CampaignTracker.APP"),
            "C:\\DEV\\SALE~KF2\\CAMP~NSY.APP");
}

TEST(LastResultsLongPath, KeptBesideTheResultKeptWhenAResultGivesNoneAndAddedToAnOlderFile) {
  store_test::InFreshDirectory folder;
  std::ofstream(store::kLastResultsFile).close();  // an empty file is an empty database
  ASSERT_EQ(store_test::ExecOn(store::kLastResultsFile,
                               "CREATE TABLE LastResults(key TEXT PRIMARY KEY, folder TEXT NOT NULL, application TEXT "
                               "NOT NULL, operation TEXT, outcome TEXT, date INTEGER, clock INTEGER, hundredths "
                               "INTEGER, error TEXT, build_order INTEGER);"
                               "INSERT INTO LastResults VALUES('C:/OLD/A.APP', 'C:/Old/', 'A.APP', 'Make', 'made', 0, "
                               "0, 0, '', 0)"),
            "");
  store::LastResults results;
  std::map<std::string, store::LastResult> kept;
  ASSERT_TRUE(results.ReadAll(kept)) << results.Error();
  EXPECT_EQ(kept[store::LastResultKey("C:\\Old\\", "A.APP")].outcome, "made");
  ASSERT_TRUE(results.SetLongPath("C:/Old/", "A.APP", "C:\\Old\\Application A.APP")) << results.Error();
  ASSERT_TRUE(results.Record({.folder = "C:/Old/", .application = "A.APP", .outcome = "failed"})) << results.Error();
  ASSERT_TRUE(results.Move("C:/Old/", "A.APP", "C:\\New\\", "A.APP")) << results.Error();
  ASSERT_TRUE(results.ReadAll(kept));
  const store::LastResult& moved = kept[store::LastResultKey("C:\\New\\", "A.APP")];
  EXPECT_EQ(kept.size(), 1u);
  EXPECT_EQ(moved.outcome + "|" + moved.long_path, "failed|C:\\Old\\Application A.APP");
}

}  // namespace
