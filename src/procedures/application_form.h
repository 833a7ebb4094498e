// UpdateApps: the form through which the user adds an application to the list, changes one or
// deletes one. Called by the application list with the request in the global request code and the
// Apps record buffer prepared; the outcome goes back in the global response code.
#pragma once

namespace procedures {

struct Program;

void UpdateApps(Program& program);

}  // namespace procedures
