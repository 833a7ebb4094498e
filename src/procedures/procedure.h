// What every window procedure does the same way at its entry and exit and on rejected input: the
// request taken from the Program context, the response handed back, a pending right click
// discarded. Main, the two forms and the activity log use these.
#pragma once

#include <cstdint>

#include "procedures/program.h"

namespace rt {
class Runtime;
class Window;
}  // namespace rt

namespace procedures {

// On entry: the global request code (0 when none), with the global request and response codes
// cleared for the procedures this one calls.
std::int32_t TakeRequest(Program& program);
// On leaving: the procedure's response into the global response code; 0 counts as cancelled.
void GiveResponse(Program& program, std::int32_t response);
// A right click still pending from the caller must not act in the procedure being entered (it
// would open the list's popup there).
void DiscardRightClick(rt::Runtime& runtime);
// A control refused what was typed: beep, show its value again and give it the focus back.
void OnRejected(rt::Window& window);

}  // namespace procedures
