// UpdateEvents: the small form that shows one record of the activity log and, by the request it is
// called with, adds it, writes back a changed date, or deletes it (without showing the form).
#pragma once

namespace procedures {

struct Program;

void UpdateEvents(Program& program);

}  // namespace procedures
