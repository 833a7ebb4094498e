// Start-up and shutdown of the program, independent of the platform: the Windows entry point and
// the tests call RunProgram with the runtime and the services they made.
#pragma once

namespace rt {
class Runtime;
}

namespace procedures {
struct Services;
}

namespace shell {

// Prepares the process-wide state, sets the program's icon, runs Main and returns the process's
// exit code once Main has returned. `services` are the platform's (or a test's).
int RunProgram(rt::Runtime& runtime, procedures::Services& services);

}  // namespace shell
