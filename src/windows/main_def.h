// The main window's definition MAIN$WINDOW and the field numbers of its controls, by which Main
// addresses them.
#pragma once

#include "runtime/definition.h"

namespace windows {

namespace main_field {
enum : int {
  Browse_1 = 1,
  ApplicationGroup,
  MakeExe,
  MakeDll,
  ExportTxa,
  ImportTxa,
  DictionaryGroup,
  ImportDct,
  ExportDct,
  ConnectionGroup,
  ServerActive,
  Connect,
  Disconnect,
  Tag,
  Insert,
  Change,
  Delete,
  Log,
  Close,
  TimeOut,
  TimeOut_Prompt,
  LastAction,
  Logo,
  LastAction_Prompt,
  Credit,
};
}  // namespace main_field

extern const rt::WindowDef kMainWindow;

}  // namespace windows
