// The six batch operations as a table, and the texts of the commands sent to the IDE.
#include "ide/dde_contract.h"

#include <cstring>

namespace ide {
namespace {

constexpr OperationRow kRows[] = {
    {Operation::MakeExe, "MakeExe", ".APP", ".EXE", "Begin Make", nullptr, " DDE Ack.", ".EXE", " Compiled & Made",
     "Make Finished", "Error Making .App "},
    {Operation::MakeDll, "MakeDll", ".APP", ".DLL", "Begin Make", nullptr, " DDE Ack.", ".DLL",
     " DLL Compiled & Made", "Make Finished", "Error Making .App "},
    {Operation::ExportTxa, "ExportTxa", ".APP", ".TXA", "Begin APP Export", "Exporting ", " Exported.", ".TXA",
     nullptr, "Export APP Finished", "Error Making .App "},
    {Operation::ImportTxa, "ImportTxa", ".TXA", nullptr, "Begin APP Import", "Importing ", " Imported.", ".APP",
     nullptr, "Import APP Finished", "Error Making .App "},
    {Operation::ImportDct, "ImportDct", ".TXD", nullptr, "Begin DCT Import", "Importing ", " Imported.", ".DCT",
     nullptr, "Import DCT Finished", "Error Importing .DCT "},
    // The export reads the .DCT and writes the .TXD, yet the wait looks for the .DCT, which is there
    // already: the wait ends at its first timer event, with the acknowledgement as the only sign.
    {Operation::ExportDct, "ExportDct", ".DCT", nullptr, "Begin DCT Export", "Exporting ", " Exported.", ".DCT",
     nullptr, "Export DCT Finished", "Error Exporting .DCT "},
};

}  // namespace

const OperationRow& RowOf(Operation operation) { return kRows[static_cast<int>(operation)]; }

std::string ComposeCommand(Operation operation, std::string_view p_view) {
  std::string p(p_view);
  switch (operation) {
    case Operation::MakeExe:
    case Operation::MakeDll:
      return "[ExecuteProject(" + p + ".app)]";
    case Operation::ExportTxa:
      return "[ExportApp(" + p + ".App," + p + ".TXA,0)]";
    case Operation::ImportTxa:
      return "[ImportApp(" + p + ".TXA," + p + ".APP,0,Replace)]";
    case Operation::ImportDct:
      return "[ImportDCT(" + p + ".TXD," + p + ".DCT,0)]";
    case Operation::ExportDct:
      return "[ExportDCT(" + p + ".DCT," + p + ".TXD,0)]";
  }
  return "";
}

std::string BaseNameOf(std::string_view application) {
  std::string_view base = application.substr(0, application.find('.'));
  return std::string(base.substr(0, 8));
}

std::optional<char> FirstUncarriable(std::string_view text) {
  for (char c : text) {
    auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F || std::strchr("[],\"", c) != nullptr) return c;
  }
  return std::nullopt;
}

}  // namespace ide
