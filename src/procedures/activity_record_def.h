// The activity record form's definition UPDATEEVENTS$FORMWINDOW and the field numbers of its controls,
// by which UpdateEvents addresses them.
#pragma once

#include "runtime/definition.h"

namespace procedures {

namespace activity_record_field {
// Field order (and tab order): the date entry stands before its own label and before the
// application entry, although its row is the second on screen.
enum : int {
  TMP_Apps_Prompt = 1,
  TMP_Apps,
  TMP_Date_Prompt,
  TMP_Date,
  TMP_Clock_Prompt,
  TMP_Clock,
  TMP_Event_Prompt,
  TMP_Event,
  OK,
  Cancel,
};
}  // namespace activity_record_field

extern const rt::WindowDef kActivityRecordWindow;

}  // namespace procedures
