// The texts of the DDE contract: the five commands for an application, the base name of an
// application's file name, and which characters a command cannot carry.
#include <gtest/gtest.h>

#include "ide/dde_contract.h"

namespace ide {
namespace {

TEST(DdeContract, CommandsForTheInvoiceApplication) {
  const std::string p = "D:\\APPS\\INVOICE";
  EXPECT_EQ(ComposeCommand(Operation::MakeExe, p), "[ExecuteProject(D:\\APPS\\INVOICE.app)]");
  EXPECT_EQ(ComposeCommand(Operation::MakeDll, p), "[ExecuteProject(D:\\APPS\\INVOICE.app)]");
  EXPECT_EQ(ComposeCommand(Operation::ExportTxa, p), "[ExportApp(D:\\APPS\\INVOICE.App,D:\\APPS\\INVOICE.TXA,0)]");
  EXPECT_EQ(ComposeCommand(Operation::ImportTxa, p),
            "[ImportApp(D:\\APPS\\INVOICE.TXA,D:\\APPS\\INVOICE.APP,0,Replace)]");
  EXPECT_EQ(ComposeCommand(Operation::ImportDct, p), "[ImportDCT(D:\\APPS\\INVOICE.TXD,D:\\APPS\\INVOICE.DCT,0)]");
  EXPECT_EQ(ComposeCommand(Operation::ExportDct, p), "[ExportDCT(D:\\APPS\\INVOICE.DCT,D:\\APPS\\INVOICE.TXD,0)]");
}

TEST(DdeContract, TheLongestCommandFitsItsField) {
  // The longest directory (80 characters) and base name (8): the import names P twice.
  std::string p = std::string(79, 'D') + "\\" + "ABCDEFGH";
  for (Operation operation : kAllOperations)
    EXPECT_LE(ComposeCommand(operation, p).size(), kMaxCommandLength) << RowOf(operation).name;
}

TEST(DdeContract, BaseNameIsTheNameBeforeItsFirstDotCutAtEight) {
  EXPECT_EQ(BaseNameOf("PAYROLL.APP"), "PAYROLL");
  EXPECT_EQ(BaseNameOf("A.B.APP"), "A");
  EXPECT_EQ(BaseNameOf("ABCDEFGHIJ.APP"), "ABCDEFGH");
  EXPECT_EQ(BaseNameOf("NODOT"), "NODOT");
  EXPECT_EQ(BaseNameOf("LONGNAME1234"), "LONGNAME");
  EXPECT_EQ(BaseNameOf(".APP"), "");
  EXPECT_EQ(BaseNameOf(""), "");
}

TEST(DdeContract, CharactersThatWouldBreakACommandAreFound) {
  EXPECT_EQ(FirstUncarriable("D:\\APPS\\INVOICE"), std::nullopt);
  EXPECT_EQ(FirstUncarriable("/home/me/my apps/INV-2_x"), std::nullopt);
  EXPECT_EQ(FirstUncarriable("D:\\APPS\\ÄPFEL"), std::nullopt) << "8-bit text is carried";
  EXPECT_EQ(FirstUncarriable("C:\\Program Files (x86)\\Copy (2)\\INV"), std::nullopt);
  const struct {
    const char* text;
    char bad;
  } cases[] = {{"D:\\[OLD]\\INV", '['}, {"D:\\OLD]\\INV", ']'}, {"D:\\A,B\\INV", ','},    {"D:\\\"Q\"\\INV", '"'}, {"D:\\A\tB", '\t'},   {"D:\\A\x7F", '\x7F'}};
  for (const auto& c : cases) EXPECT_EQ(FirstUncarriable(c.text), c.bad) << c.text;
  EXPECT_EQ(FirstUncarriable(std::string_view("A\0B", 3)), '\0');
}

}  // namespace
}  // namespace ide
