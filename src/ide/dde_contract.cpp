// The six batch operations as a table, and the texts of the commands sent to the IDE.
#include "ide/dde_contract.h"

#include <cstring>

namespace ide {
namespace {

constexpr OperationRow kRows[] = {
    {.operation = Operation::MakeExe,
     .name = "MakeExe",
     .label = "Gen & Make (.EXE)",
     .input_extension = ".APP",
     .deleted_extension = ".EXE",
     .begin_text = "Begin Make",
     .sending_action = nullptr,
     .ack_text = " DDE Ack.",
     .awaited_extension = ".EXE",
     .other_extension = ".DLL",
     .other_reason = ", not an .EXE: is it a library project?",
     .completion_action = " Compiled & Made",
     .finished_text = "Make Finished",
     .error_prefix = "Error Making .App "},
    {.operation = Operation::MakeDll,
     .name = "MakeDll",
     .label = "Gen & Make (.DLL)",
     .input_extension = ".APP",
     .deleted_extension = ".DLL",
     .begin_text = "Begin Make",
     .sending_action = nullptr,
     .ack_text = " DDE Ack.",
     .awaited_extension = ".DLL",
     .other_extension = ".EXE",
     .other_reason = ", not a .DLL: is it a program project?",
     .completion_action = " DLL Compiled & Made",
     .finished_text = "Make Finished",
     .error_prefix = "Error Making .App "},
    {.operation = Operation::ExportTxa,
     .name = "ExportTxa",
     .label = "Export .APP to .TXA",
     .input_extension = ".APP",
     .deleted_extension = ".TXA",
     .begin_text = "Begin APP Export",
     .sending_action = "Exporting ",
     .ack_text = " Exported.",
     .awaited_extension = ".TXA",
     .other_extension = nullptr,
     .other_reason = nullptr,
     .completion_action = nullptr,
     .finished_text = "Export APP Finished",
     .error_prefix = "Error Making .App "},
    {.operation = Operation::ImportTxa,
     .name = "ImportTxa",
     .label = "Import .TXA into .APP",
     .input_extension = ".TXA",
     .deleted_extension = nullptr,
     .begin_text = "Begin APP Import",
     .sending_action = "Importing ",
     .ack_text = " Imported.",
     .awaited_extension = ".APP",
     .other_extension = nullptr,
     .other_reason = nullptr,
     .completion_action = nullptr,
     .finished_text = "Import APP Finished",
     .error_prefix = "Error Making .App "},
    {.operation = Operation::ImportDct,
     .name = "ImportDct",
     .label = "Import .TXD into .DCT",
     .input_extension = ".TXD",
     .deleted_extension = nullptr,
     .begin_text = "Begin DCT Import",
     .sending_action = "Importing ",
     .ack_text = " Imported.",
     .awaited_extension = ".DCT",
     .other_extension = nullptr,
     .other_reason = nullptr,
     .completion_action = nullptr,
     .finished_text = "Import DCT Finished",
     .error_prefix = "Error Importing .DCT "},
    // The imports and this export await a file that is there before the command: only its writing
    // after the command ends the wait.
    {.operation = Operation::ExportDct,
     .name = "ExportDct",
     .label = "Export .DCT to .TXD",
     .input_extension = ".DCT",
     .deleted_extension = nullptr,
     .begin_text = "Begin DCT Export",
     .sending_action = "Exporting ",
     .ack_text = " Exported.",
     .awaited_extension = ".TXD",
     .other_extension = nullptr,
     .other_reason = nullptr,
     .completion_action = nullptr,
     .finished_text = "Export DCT Finished",
     .error_prefix = "Error Exporting .DCT "},
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
