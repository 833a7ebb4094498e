// Which stored application a path names, by long names, short names or a mix of them, and which
// file names are devices. The system's short names come from a table, as Windows would give them.
#include <gtest/gtest.h>

#include <map>

#include "files/app_path.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"

namespace {

// Short names by component, as the system generates them: a path's short form replaces every
// component by its short name (a component given by its short name stays), letter case ignored;
// either separator is taken and "\\" given.
class ShortNameTable final : public platform::DirectoryLister {
 public:
  explicit ShortNameTable(std::map<std::string, std::string> short_names) {
    for (const auto& [long_name, short_name] : short_names) short_of_[platform::FoldUpper(long_name)] = short_name;
  }
  int List(const std::string&, std::vector<platform::DirectoryEntry>& entries) override {
    entries.clear();
    return 0;
  }
  std::string ShortPath(const std::string& path) override {
    ++lookups;
    std::string out, part;
    for (char c : path + '\\') {
      if (c != '\\' && c != '/') {
        part += c;
        continue;
      }
      auto found = short_of_.find(platform::FoldUpper(part));
      out += (found == short_of_.end() ? part : found->second) + '\\';
      part.clear();
    }
    out.pop_back();
    return out;
  }
  int lookups = 0;

 private:
  std::map<std::string, std::string> short_of_;
};

struct Case {
  const char* given;
  bool names;
};

TEST(ApplicationPath, ALongShortOrMixedPathNamesTheStoredApplicationComponentByComponent) {
  ShortNameTable system({{"B\xFC" "cher", "B_CH~1KL"}, {"Caf\xE9", "CAF_~1"}, {"Invoice01.APP", "INVOIC~1.APP"},
                         {"Invoice02.APP", "INVOIC~2.APP"}, {"Program Files (x86)", "PROGRA~2"}});
  const Case cases[] = {
      {"C:\\Apps\\B\xFC" "cher\\Invoice01.APP", true},   // long
      {"C:\\Apps\\B_CH~1KL\\INVOIC~1.APP", true},        // short, as stored
      {"c:\\apps\\b\xDC" "CHER\\INVOIC~1.app", true},    // mixed, other letter case
      {"C:/Apps/B_CH~1KL/Invoice01.APP", true},           // mixed, other separators
      {"invoice01.app", true},                             // the file name alone
      {"C:\\Apps\\Caf\xE9\\Invoice01.APP", false},        // another folder with a short name of its own
      {"C:\\Apps\\B\xFC" "cher\\Invoice02.APP", false},   // another file beside it
      {"C:\\Apps\\Invoice01.APP", false},                  // fewer components
  };
  for (const Case& c : cases)
    EXPECT_EQ(files::NamesApplication(c.given, "C:\\Apps\\B_CH~1KL\\", "INVOIC~1.APP", &system), c.names)
        << c.given;
  // Stored by its long path, found by its short one; without the system only the text decides.
  EXPECT_TRUE(files::NamesApplication("C:\\PROGRA~2\\INVOIC~2.APP", "C:\\Program Files (x86)\\", "Invoice02.APP",
                                      &system));
  EXPECT_FALSE(files::NamesApplication("C:\\PROGRA~2\\INVOIC~2.APP", "C:\\Program Files (x86)\\", "Invoice02.APP",
                                       nullptr));
}

// Matching a name against a list of 200 asks the system only about the components that could be
// short names of each other.
TEST(ApplicationPath, APlainlyDifferentApplicationCostsNoLookUp) {
  ShortNameTable system(std::map<std::string, std::string>{{"Invoice01.APP", "INVOIC~1.APP"}});
  EXPECT_FALSE(files::NamesApplication("C:\\Apps\\Invoice01.APP", "C:\\Other\\", "INVOIC~1.APP", &system));
  EXPECT_FALSE(files::NamesApplication("C:\\Apps\\Invoice01.APP", "C:\\Apps\\", "PAYROLL.APP", &system));
  EXPECT_EQ(system.lookups, 0);
}

TEST(ApplicationPath, DeviceNamesInAnyCaseAndWithAnyExtensionAreTold) {
  const std::pair<const char*, const char*> devices[] = {
      {"CON.APP", "CON"},   {"nul.app", "NUL"},   {"Aux.TXA", "AUX"},   {"PRN", "PRN"},
      {"COM1.APP", "COM1"}, {"lpt9.App", "LPT9"}, {"CON .APP", "CON"}, {"com\xB9.APP", "COM\xB9"}};
  for (const auto& [name, expected] : devices) {
    std::string device;
    EXPECT_TRUE(files::IsDeviceName(name, &device)) << name;
    EXPECT_EQ(device, expected) << name;
  }
  for (const char* name : {"CONSOLE.APP", "COM10.APP", "COM0.APP", "LPT.APP", "ACON.APP", "NULL.APP", "CO.APP"})
    EXPECT_FALSE(files::IsDeviceName(name)) << name;
}

}  // namespace
