// The application form's definition UPDATEAPPS$FORMWINDOW and the field numbers of its controls, by
// which UpdateApps addresses them.
#pragma once

#include "runtime/definition.h"

namespace procedures {

namespace application_form_field {
// Field order is also the tab order: the "&Application:" label and the check box come before the
// application entry although that entry's row is higher on screen.
enum : int {
  FileName_Prompt = 1,
  FileName,
  LookupFile,
  APP_DriveNPath_Prompt,
  APP_DriveNPath,
  APP_Application_Prompt,
  APP_Application,
  BuildOrder_Prompt,
  BuildOrder,
  APP_Tag,
  OK,
  Cancel,
};
}  // namespace application_form_field

extern const rt::WindowDef kApplicationFormWindow;

}  // namespace procedures
