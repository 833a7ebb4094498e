// Which stored application a path names, by long names, short names or a mix of them, and which
// file names are devices. The system's short names come from a table, as Windows would give them.
#include <gtest/gtest.h>

#include <map>

#include "files/app_path.h"
#include "platform/code_page.h"
#include "short_names_lister.h"

namespace {

TEST(ApplicationPath, ALongShortOrMixedPathNamesTheStoredApplicationComponentByComponent) {
  test_doubles::ShortNamesLister system;
  for (const auto& [long_name, short_name] :
       std::map<std::string, std::string>{{"B\xFC" "cher", "B_CH~1KL"}, {"Caf\xE9", "CAF_~1"}, {"Invoice01.APP", "INVOIC~1.APP"},
                                          {"Invoice02.APP", "INVOIC~2.APP"}, {"Program Files (x86)", "PROGRA~2"}})
    system.Name(long_name, short_name);
  struct Case {
    bool names;
    const char *given, *directory = "C:\\Apps\\B_CH~1KL\\", *name = "INVOIC~1.APP";
    bool with_system = true;
  };
  const Case cases[] = {
      {true, "C:\\Apps\\B\xFC" "cher\\Invoice01.APP"},  // long
      {true, "C:\\Apps\\B_CH~1KL\\INVOIC~1.APP"},       // short, as stored
      {true, "c:\\apps\\b\xDC" "CHER\\INVOIC~1.app"},   // mixed, other letter case
      {true, "C:/Apps/B_CH~1KL/Invoice01.APP"},          // mixed, other separators
      {true, "invoice01.app"},                            // the file name alone
      {false, "C:\\Apps\\Caf\xE9\\Invoice01.APP"},       // another folder's own short name
      {false, "C:\\Apps\\B\xFC" "cher\\Invoice02.APP"},  // another file beside it
      {false, "C:\\Apps\\Invoice01.APP"},                 // fewer components
      // Stored by its long path, found by its short one; without the system only the text decides.
      {true, "C:\\PROGRA~2\\INVOIC~2.APP", "C:\\Program Files (x86)\\", "Invoice02.APP"},
      {false, "C:\\PROGRA~2\\INVOIC~2.APP", "C:\\Program Files (x86)\\", "Invoice02.APP", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(files::NamesApplication(c.given, c.directory, c.name, c.with_system ? &system : nullptr), c.names)
        << c.given << " against " << c.directory << c.name;
  }
  // A plainly different folder or name asks the system nothing: matching against 200 stays cheap.
  system.lookups = 0;
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
    EXPECT_TRUE(files::IsDeviceName(name, &device) && device == expected) << name << " gave " << device;
  }
  for (const char* name : {"CONSOLE.APP", "COM10.APP", "COM0.APP", "LPT.APP", "ACON.APP", "NULL.APP", "CO.APP"})
    EXPECT_FALSE(files::IsDeviceName(name)) << name;
}

}  // namespace
