// The main window's definition MAIN$WINDOW and the field numbers of its controls, by which Main
// addresses them.
#pragma once

#include "ide/dde_contract.h"
#include "runtime/definition.h"

namespace procedures {

namespace main_field {
enum : int {
  TimeOut_Prompt = 1,
  TimeOut,
  IDEs_Prompt,
  IDEs,
  ApplicationGroup,
  MakeExe,
  MakeDll,
  ExportTxa,
  ImportTxa,
  DictionaryGroup,
  ImportDct,
  ExportDct,
  OnlyChanged,
  StopOnFailure,
  ConnectionGroup,
  ServerActive,
  Connect,
  Disconnect,
  IDEProgram_Prompt,
  IDEProgram,
  LookupIDE,
  LastAction_Prompt,
  LastAction,
  Logo,
  Credit,
  Browse_1,
  Close,
  Log,
  Tag,
  Insert,
  Change,
  Delete,
};
}  // namespace main_field

extern const rt::WindowDef kMainWindow;

// The six buttons that run a batch, and the operation each runs.
struct OperationButton {
  int field;
  ide::Operation operation;
};
inline constexpr OperationButton kOperationButtons[] = {
    {.field = main_field::MakeExe, .operation = ide::Operation::MakeExe},
    {.field = main_field::MakeDll, .operation = ide::Operation::MakeDll},
    {.field = main_field::ExportTxa, .operation = ide::Operation::ExportTxa},
    {.field = main_field::ImportTxa, .operation = ide::Operation::ImportTxa},
    {.field = main_field::ImportDct, .operation = ide::Operation::ImportDct},
    {.field = main_field::ExportDct, .operation = ide::Operation::ExportDct},
};
// The operation of button `field`, or nullptr when it runs none.
constexpr const OperationButton* OperationOf(int field) {
  for (const OperationButton& button : kOperationButtons)
    if (button.field == field) return &button;
  return nullptr;
}

}  // namespace procedures
