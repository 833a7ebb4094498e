// The console program against names and records it cannot take as they are: folders and files
// whose names the records' code page cannot hold, names with wildcards, paths at the record's
// limits, long names of applications stored by their short names, and log records that would
// garble a terminal. Real record files in a fresh folder, the fake IDE on virtual time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "console_folder.h"
#include "console/console_command.h"
#include "files/app_path.h"
#include "files/files.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "short_names_lister.h"
#include "store/last_results.h"

namespace {

namespace fs = std::filesystem;

class ConsoleTextTest : public ConsoleFolderTest {
 protected:
  platform::DirectoryLister& Lister() override { return lister_; }
  static void Touch(const fs::path& path) { std::ofstream(path) << "x"; }
  static void Seed(const std::string& directory, const std::string& name, int tag) {
    store_test::SeedApps({{directory, name, tag}});
  }
  std::string Dir() const { return folder_.string() + "/"; }

  test_doubles::ShortNamesLister lister_;
};

// In a folder named "Bücher" the record holds the folder in the code page, and a batch finds the
// application and its new .EXE there.
TEST_F(ConsoleTextTest, AnAccentedFolderIsStoredInTheCodePageAndTheBatchFindsItsFiles) {
  const fs::path books = folder_ / "B\xC3\xBC" "cher";
  fs::create_directory(books);
  Touch(books / "A.APP");
  fs::current_path(books);
  ASSERT_EQ(Nightjar({"add", "*.APP"}), 0) << err_.str();
  const std::string stored = Dir() + "B\xFC" "cher/";
  EXPECT_EQ(out_.str(), "added " + stored + "A.APP\n");
  ASSERT_EQ(Nightjar({"run", "make-exe", "--all"}), 0) << out_.str() << err_.str();
  ASSERT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(ide_.Commands()[0], "[ExecuteProject(" + stored + "A.app)]");
  EXPECT_TRUE(fs::exists(books / "A.EXE"));
}

// A name the code page cannot hold is left out and said so; a name with a wildcard that got into
// the records another way is never sent, and no other application's output is deleted for it.
TEST_F(ConsoleTextTest, ForeignNamesAreRefusedAndAWildcardNameTouchesNothing) {
  Touch(folder_ / "\xD0\x9A\xD0\xB8\xD1\x80.APP");  // Cyrillic
  Touch(folder_ / "XYZ.APP");
  Touch(folder_ / "XYZ.EXE");
  EXPECT_EQ(Nightjar({"add", Dir() + "*.APP"}), 1);
  EXPECT_EQ(out_.str(), "added " + Dir() + "XYZ.APP\n");
  EXPECT_NE(err_.str().find(Dir() + "???.APP: the name holds characters that the records' code page"), std::string::npos)
      << err_.str();
  Seed(Dir(), "???.APP", 1);
  Touch(folder_ / "???.APP");  // even where such a file exists
  EXPECT_EQ(Nightjar({"run", "make-exe"}), 1);
  EXPECT_NE(out_.str().find("???.APP  Not sent: the name holds * or ?"), std::string::npos) << out_.str();
  EXPECT_TRUE(fs::exists(folder_ / "XYZ.EXE"));
  EXPECT_TRUE(ide_.Commands().empty());

  std::vector<std::string> arguments;
  std::string refused;
  char program[] = "nightjar", add[] = "add", name[] = "\xD0\x9A\xD0\xB8\xD1\x80.APP";
  char* argv[] = {program, add, name};
  EXPECT_FALSE(platform::ProgramArguments(3, argv, arguments, refused));
  EXPECT_EQ(refused, name);
}

// A directory of 80 characters with its separator fits the record; one of 81 does not, and with no
// short name on this system the record holds a stand-in, with the long path kept and listed.
TEST_F(ConsoleTextTest, ADirectoryOf80CharactersIsStoredAnd81TakesAStandIn) {
  ASSERT_LT(Dir().size(), 70u);
  const std::string fits = Dir() + std::string(79 - Dir().size(), 'd') + "/";
  const std::string over = Dir() + std::string(80 - Dir().size(), 'e') + "/";
  ASSERT_EQ(fits.size(), 80u);
  for (const std::string& d : {fits, over}) {
    fs::create_directory(d);
    Touch(d + "A.APP");
  }
  EXPECT_EQ(Nightjar({"add", fits + "A.APP"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"add", over + "A.APP"}), 0) << err_.str();
  const std::string stand_in = files::KeyedFolder(over) + "A.APP";
  EXPECT_EQ(out_.str(), "added " + over + "A.APP as " + stand_in + "\n");
  EXPECT_EQ(Nightjar({"list"}), 0);
  EXPECT_EQ(out_.str(), "  " + fits + "A.APP\n  " + over + "A.APP\n");
}

// An add or a tag that the store refuses (another station holds the file) says why and fails.
TEST_F(ConsoleTextTest, AnAddOrTagTheStoreRefusesExitsNonZeroWithTheReason) {
  Touch(folder_ / "A.APP");
  Touch(folder_ / "B.APP");
  ASSERT_EQ(Nightjar({"add", Dir() + "A.APP"}), 0);
  files::Files other;
  other.Apps.Open();
  other.Apps.BeginTransaction(1);
  EXPECT_EQ(Nightjar({"add", Dir() + "B.APP"}), 1);
  EXPECT_NE(err_.str().find("B.APP could not be added: File Locked"), std::string::npos) << err_.str();
  EXPECT_NE(Nightjar({"tag", "A.APP"}), 0);
  EXPECT_NE(err_.str().find("A.APP could not be changed: File Locked"), std::string::npos) << err_.str();
  other.Apps.Rollback();
}

// An application stored by its short name answers to its long name in tag, untag, --app and
// remove, by file name or full path.
TEST_F(ConsoleTextTest, AnApplicationStoredByItsShortNameIsFoundByItsLongName) {
  Touch(folder_ / "CustomerLedger.APP");
  lister_.Name("CustomerLedger.APP", "CUST~3LG.APP");
  Seed(Dir(), "CUST~3LG.APP", 0);
  EXPECT_EQ(Nightjar({"tag", "customerledger.app"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "tagged " + Dir() + "CUST~3LG.APP\n");
  EXPECT_EQ(Nightjar({"untag", "CustomerLedger.APP"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"run", "make-exe", "--app", "CustomerLedger.APP"}), 0) << err_.str();
  ASSERT_EQ(ide_.Commands().size(), 1u);
  EXPECT_EQ(ide_.Commands()[0], "[ExecuteProject(" + Dir() + "CUST~3LG.app)]");
  EXPECT_EQ(Nightjar({"remove", Dir() + "CustomerLedger.APP"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "removed " + Dir() + "CUST~3LG.APP\n");
}

// A file named as a device is never added (Windows would open the device instead), nor one whose
// name is a pattern; each is named with its reason, and the others are added.
TEST_F(ConsoleTextTest, DeviceAndWildcardNamesAreRefusedWithTheReasonAndTheOthersAreAdded) {
  for (const char* name : {"con.app", "Aux.APP", "COM1.APP", "LPT9.App", "NUL.APP", "CONSOLE.APP", "odd?name.APP"})
    Touch(folder_ / name);
  EXPECT_EQ(Nightjar({"add", Dir() + "*.APP"}), 1);
  EXPECT_EQ(out_.str(), "added " + Dir() + "CONSOLE.APP\n");
  EXPECT_NE(err_.str().find(Dir() + "odd?name.APP: the name holds * or ?"), std::string::npos) << err_.str();
  for (const char* device : {"CON", "AUX", "COM1", "LPT9", "NUL"})
    EXPECT_NE(err_.str().find("the name is that of the device " + std::string(device) + ", which Windows opens"),
              std::string::npos)
        << device << "\n" << err_.str();
  // One that got into the records another way is never sent.
  Seed(Dir(), "Aux.APP", 1);
  EXPECT_EQ(Nightjar({"run", "make-exe"}), 1);
  EXPECT_NE(out_.str().find("Aux.APP  Not sent: AUX names a device"), std::string::npos) << out_.str();
  EXPECT_TRUE(ide_.Commands().empty());
}

// What another program wrote into the log reaches the terminal escaped: no NUL, CR, LF or escape
// sequence raw, and a day number outside the calendar shows as a number.
TEST_F(ConsoleTextTest, TheLogShowsControlCharactersEscapedAndImpossibleDatesAsNumbers) {
  {
    files::Files other;
    other.TempFile.Create();
    other.TempFile.Open();
    other.TMP.Apps = std::string("A\x1B[2J.APP");
    other.TMP.Date = -300000;
    other.TMP.Clock = 100;
    other.TMP.Event = std::string("one\r\ntwo\0three\x9D", 15);
    other.TempFile.Add();
    ASSERT_EQ(other.store.error.code, 0) << other.store.error.text;
  }
  EXPECT_EQ(Nightjar({"log"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "(day -300000) 12:00AM  A\\x1B[2J.APP  one\\x0D\\x0Atwo\\x00three\\x9D\n");
}

}  // namespace

namespace {

// A folder whose names fit the record in part: each of its applications stores it alike, `list`
// shows the names the user gave, and an older build's record of its short form takes the long
// one, its last result moving with it.
TEST_F(ConsoleTextTest, OneFolderIsStoredOneWayAndListedByItsLongNames) {
  const fs::path sales = folder_ / "Sales & Marketing";
  fs::create_directory(sales);
  Touch(sales / "Quotes.APP");
  Touch(sales / "CampaignTracker.APP");
  lister_.Name("Sales & Marketing", "SALE~KF2");
  lister_.Name("CampaignTracker.APP", "CAMP~NSY.APP");
  const std::string long_folder = Dir() + "Sales & Marketing/", short_folder = Dir() + "SALE~KF2/";
  Seed(short_folder, "CAMP~NSY.APP", 0);  // as an older build stored it
  ASSERT_TRUE(store::LastResults().Record({.folder = short_folder, .application = "CAMP~NSY.APP", .outcome = "made"}));
  EXPECT_EQ(Nightjar({"add", long_folder + "Quotes.APP"}), 0) << err_.str();
  EXPECT_NE(err_.str().find(short_folder + "CAMP~NSY.APP is now " + long_folder + "CAMP~NSY.APP"), std::string::npos)
      << err_.str();
  EXPECT_EQ(Nightjar({"add", long_folder + "*.APP"}), 0) << err_.str();
  EXPECT_EQ(Nightjar({"list"}), 0) << err_.str();
  EXPECT_EQ(out_.str().find("  " + long_folder + "CampaignTracker.APP  made, "), 0u) << out_.str();
  EXPECT_TRUE(out_.str().ends_with("\n  " + long_folder + "Quotes.APP\n")) << out_.str();
}

}  // namespace
