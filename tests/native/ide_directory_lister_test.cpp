// The directory lister: its name patterns, and listing a real folder (ordinary files only, letter
// case ignored, sorted, dates of today). Built into the native suite and, under wine, into the
// Windows IDE suite, so both implementations meet the same tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "platform/folder_wait.h"

namespace {

namespace fs = std::filesystem;
using platform::DirectoryEntry;
using platform::MatchesNamePattern;

TEST(DirectoryPattern, StarsAndQuestionMarksIgnoringCase) {
  const struct {
    const char* name;
    const char* pattern;
    bool matches;
  } cases[] = {
      {"INVOICE.EXE", "*.EXE", true},      {"invoice.exe", "*.EXE", true},     {"INVOICE.EXE", "invoice.exe", true},
      {"INVOICE.EXE", "*.DLL", false},     {"INVOICE.EXEC", "*.EXE", false},   {"INVOICE.APP", "INVOICE.APP", true},
      {"INVOICE.APPX", "INVOICE.APP", false}, {"A.APP", "?.APP", true},       {"AB.APP", "?.APP", false},
      {"NODOT", "*.*", true},              {"A.B.C", "*.C", true},             {"", "*", true},
      {"ABC", "A*C*", true},               {"ABXBC", "A*BC", true},            {"ABXBD", "A*BC", false},
      {"A.TXA", "*.TXA*", true},           {"ÄPFEL.APP", "äPFEL.APP", false},  {"ÄPFEL.APP", "ÄPFEL.APP", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesNamePattern(c.name, c.pattern), c.matches) << c.name << " against " << c.pattern;
}

// One fold of the code page for every comparison that ignores letter case: accented letters match
// their capitals, and what has no capital stays as it is.
TEST(DirectoryPattern, AccentedLettersMatchTheirCapitalsOfTheCodePage) {
  EXPECT_TRUE(MatchesNamePattern("\xC9\x43OLE.APP", "\xE9\x63ole.app"));  // ECOLE with E acute
  EXPECT_TRUE(MatchesNamePattern("\x9F.TXA", "\xFF.txa"));                // y diaeresis
  EXPECT_FALSE(MatchesNamePattern("\xF7.APP", "\xD7.APP"));               // division and times signs
  EXPECT_EQ(platform::FoldUpper("\xDF\xE0z"), "\xDF\xC0Z");              // sharp s has no capital
}

// The code page's conversions, the same on every platform: each byte keeps its character both
// ways, and a character without a place in the code page is reported, never replaced by a
// look-alike or passed off as "?".
TEST(CodePage, EveryByteRoundTripsAndForeignCharactersAreReported) {
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
  std::string back;
  EXPECT_TRUE(platform::FromUtf16(platform::ToUtf16(all_bytes), back));
  EXPECT_EQ(back, all_bytes);
  EXPECT_TRUE(platform::FromUtf8(platform::ToUtf8(all_bytes), back));
  EXPECT_EQ(back, all_bytes);
  EXPECT_EQ(platform::ToUtf16("\x80\x81\x9F\xFC"), std::u16string(u"\u20AC\u0081\u0178\u00FC"));
  EXPECT_EQ(platform::ToUtf8("B\xFC" "cher"), "B\xC3\xBC" "cher");
  EXPECT_TRUE(platform::FromUtf8("B\xC3\xBC" "cher \xE2\x82\xAC", back));
  EXPECT_EQ(back, "B\xFC" "cher \x80");

  const struct {
    const char* utf8;
    const char* shown;
  } foreign[] = {
      {"\xD0\x9A\xD0\xB8\xD1\x80.APP", "???.APP"},  // Cyrillic
      {"\xF0\x9F\x98\x80.APP", "?.APP"},              // an emoji: one character, two UTF-16 units
      {"\xC4\x80.APP", "?.APP"},                        // A macron, which a best fit would make "A"
      {"\xFF.APP", "?.APP"},                             // no UTF-8 at all
  };
  for (const auto& f : foreign) {
    EXPECT_FALSE(platform::FromUtf8(f.utf8, back)) << f.shown;
    EXPECT_EQ(back, f.shown);
  }
}

// The date and time of a stamp come from one reading, within one day's range, never going back.
TEST(SystemClock, StampsComeFromOneReadingWithinTheDay) {
  const platform::Moment first = platform::SystemClock().Now();
  const platform::Moment second = platform::SystemClock().Now();
  for (const platform::Moment& m : {first, second}) {
    EXPECT_GE(m.time, 0);
    EXPECT_LT(m.time, platform::kHundredthsPerDay);
  }
  EXPECT_LE(std::int64_t{first.date} * platform::kHundredthsPerDay + first.time, std::int64_t{second.date} * platform::kHundredthsPerDay + second.time);
}

TEST(DirectoryPattern, SplitsAtEitherSeparator) {
  std::string folder, name;
  platform::SplitFolder("D:\\APPS\\*.EXE", folder, name);
  EXPECT_EQ(folder, "D:\\APPS\\");
  EXPECT_EQ(name, "*.EXE");
  platform::SplitFolder("/tmp/a\\b/INV.APP", folder, name);
  EXPECT_EQ(folder, "/tmp/a\\b/");
  EXPECT_EQ(name, "INV.APP");
  platform::SplitFolder("INV.APP", folder, name);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(name, "INV.APP");
}

TEST(DirectoryPattern, DayNumbersCountFromTheEndOf1800) {
  EXPECT_EQ(platform::DayNumber(1801, 1, 1), 4);
  EXPECT_EQ(platform::DayNumber(2024, 3, 1), 81513);
}

class DirectoryListerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("nj-lister-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  void Write(const std::string& name, const std::string& text = "12345") {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  // The folder with its separator, as the batch operations write it.
  std::string Folder() const { return (folder_ / "").string(); }
  std::vector<std::string> Names(const std::string& pattern, int* error = nullptr) {
    std::vector<DirectoryEntry> entries{{"left over"}};
    int code = lister_->List(pattern, entries);
    if (error) *error = code;
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : entries) names.push_back(entry.name);
    return names;
  }

  fs::path folder_;
  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
};

TEST_F(DirectoryListerTest, ListsMatchingOrdinaryFilesIgnoringCaseInNameOrder) {
  Write("zeta.exe");
  Write("Alpha.EXE");
  Write("beta.dll");
  fs::create_directory(folder_ / "folder.exe");
  int error = -1;
  EXPECT_EQ(Names(Folder() + "*.EXE", &error), (std::vector<std::string>{"Alpha.EXE", "zeta.exe"}));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(Names(Folder() + "ALPHA.exe"), std::vector<std::string>{"Alpha.EXE"});
  EXPECT_EQ(Names(Folder() + "*.*").size(), 3u) << "folders are no ordinary files";
  EXPECT_TRUE(Names(Folder() + "*.TXA", &error).empty());
  EXPECT_EQ(error, 0) << "an empty result is no error";
}

// A name the code page cannot hold never comes back with "?": by its short name where the system
// gives one (Windows), otherwise left out and told of (POSIX).
TEST_F(DirectoryListerTest, ANameOutsideTheCodePageComesByItsShortNameOrIsLeftOut) {
  const std::u8string cyrillic = u8"\u041A\u0438\u0440.APP";
  std::ofstream(folder_ / fs::path(cyrillic)) << "x";
  Write("B\xC3\xBC" "RO.APP");  // in UTF-8 on POSIX; on Windows a name of its own, also held
  const std::vector<std::string> names = Names(Folder() + "*.APP");
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) EXPECT_EQ(name.find('?'), std::string::npos) << name;
#ifdef _WIN32
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(lister_->LeftOut().empty());
#else
  EXPECT_EQ(names, std::vector<std::string>{"B\xFCRO.APP"});
  EXPECT_EQ(lister_->LeftOut(), std::vector<std::string>{std::string(cyrillic.begin(), cyrillic.end())});
#endif
}

#ifndef _WIN32
// A name holding "?" or "*" (POSIX allows them) would be a pattern wherever it went: it is left out
// and told of, and the ordinary names beside it are listed.
TEST_F(DirectoryListerTest, ANameHoldingAWildcardIsLeftOutAndToldOf) {
  Write("odd?name.APP");
  Write("star*.APP");
  Write("PLAIN.APP");
  EXPECT_EQ(Names(Folder() + "*.APP"), std::vector<std::string>{"PLAIN.APP"});
  std::vector<std::string> left_out = lister_->LeftOut();
  std::sort(left_out.begin(), left_out.end());
  EXPECT_EQ(left_out, (std::vector<std::string>{"odd?name.APP", "star*.APP"}));
  EXPECT_EQ(Names(Folder() + "odd?name.APP"), std::vector<std::string>{}) << "nor found by a pattern of its own";
}
#endif

// A long name has a short form that fits the record and lists the file (Windows); POSIX has none.
TEST_F(DirectoryListerTest, ALongNameHasAShortPathThatListsItsFile) {
  Write("CustomerAccounts.APP");
  const std::string short_path = lister_->ShortPath(Folder() + "CustomerAccounts.APP");
#ifdef _WIN32
  std::string folder, name;
  platform::SplitFolder(short_path, folder, name);
  EXPECT_LE(name.size(), 12u) << short_path;
  EXPECT_NE(name.find('~'), std::string::npos) << short_path;
  EXPECT_EQ(Names(short_path), std::vector<std::string>{"CustomerAccounts.APP"});
#else
  EXPECT_EQ(short_path, "");
#endif
}

// The folder wait takes the folder in the code page like every other file-system call: a folder
// named "Bücher" is watched, and a file written there wakes the wait.
TEST_F(DirectoryListerTest, AFolderWaitWatchesAFolderNamedOutsideAscii) {
  fs::create_directory(folder_ / fs::path(u8"B\u00FCcher"));
  platform::FolderWait wait;
  ASSERT_TRUE(wait.Watch(Folder() + "B\xFC" "cher" + platform::kPathSeparator));
  std::ofstream(folder_ / fs::path(u8"B\u00FCcher") / "A.EXE") << "made";
  EXPECT_EQ(wait.Wait(10000, true, false), platform::FolderWait::Woke::kFolder);
  wait.Watch("");
}

TEST_F(DirectoryListerTest, GivesSizeAndTodaysDateOfAFile) {
  Write("INV.APP", "0123456789");
  std::vector<DirectoryEntry> entries;
  ASSERT_EQ(lister_->List(Folder() + "INV.APP", entries), 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 10);
  std::int32_t today = platform::SystemClock().Today();
  EXPECT_TRUE(entries[0].date == today || entries[0].date == today - 1) << entries[0].date << " vs " << today;
  EXPECT_GE(entries[0].time, 0);
  EXPECT_LT(entries[0].time, platform::kHundredthsPerDay);
}

TEST_F(DirectoryListerTest, AMissingFolderIsAnErrorWithNothingFound) {
  int error = 0;
  EXPECT_TRUE(Names(Folder() + "no-such-folder/*.APP", &error).empty());
  EXPECT_NE(error, 0);
}

// Whether this system lets a read lease be taken at all (on a file nobody writes): some file
// systems (overlay, network) and some sandboxes refuse every lease, and then nothing can be told.
#ifndef _WIN32
bool LeasesWork(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return false;
  bool taken = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  if (taken) ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::close(fd);
  return taken;
}
#endif

TEST_F(DirectoryListerTest, AFileIsBeingWrittenOnlyWhileAWriterHasItOpen) {
  Write("RESULT.TXT");
  const std::string path = Folder() + "RESULT.TXT";
#ifndef _WIN32
  if (!LeasesWork(folder_ / "RESULT.TXT")) GTEST_SKIP() << "no read lease can be taken in " << Folder();
#endif
  {
    std::ofstream writer(path, std::ios::binary | std::ios::app);
    ASSERT_TRUE(writer.is_open());
    writer << "more" << std::flush;
    EXPECT_TRUE(lister_->IsBeingWritten(path)) << "while a writer has it open";
  }
  EXPECT_FALSE(lister_->IsBeingWritten(path)) << "after the writer closed it";
  {
    std::ifstream reader(path, std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    EXPECT_FALSE(lister_->IsBeingWritten(path)) << "a reader is no writer";
  }
  EXPECT_FALSE(lister_->IsBeingWritten(Folder() + "MISSING.TXT"));
  // The look leaves nothing behind that would stop the next writer.
  std::ofstream again(path, std::ios::binary | std::ios::app);
  EXPECT_TRUE(again.is_open());
}

}  // namespace
