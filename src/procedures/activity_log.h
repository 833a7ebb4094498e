// ViewEvents: the window that shows the activity log, one line per step of the last batch, in time
// order. The main window's Log button calls it; it calls UpdateEvents for a record. Request 4 (the
// global request code) opens it to choose a record, which Select hands back with response 1.
#pragma once

namespace procedures {

struct Program;

void ViewEvents(Program& program);

}  // namespace procedures
