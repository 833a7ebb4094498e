// The activity log browse's definition VIEWEVENTS$BROWSEWINDOW and the field numbers of its controls,
// by which ViewEvents addresses them.
#pragma once

#include "runtime/definition.h"

namespace procedures {

namespace activity_log_field {
// Field order (and tab order) differs from the buttons' left-to-right order on screen, which is
// Insert, Delete, Select, View, Close.
enum : int {
  Browse_1 = 1,
  Insert,
  Delete,
  Select,
  View,
  Close,
};
}  // namespace activity_log_field

extern const rt::WindowDef kActivityLogWindow;

}  // namespace procedures
