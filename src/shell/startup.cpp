// Start-up in its fixed order: cleared process state, the program icon, Main; then shutdown.
#include "shell/startup.h"

#include "runtime/runtime.h"
#include "procedures/program.h"
#include "procedures/main.h"

namespace shell {

int RunProgram(rt::Runtime& runtime, procedures::Services& services) {
  // The context starts with blank strings and zero codes; nothing is read from the command line,
  // a settings file or the environment.
  procedures::Program program(runtime, services);
  runtime.backend().SetProgramIcon("RUZOZIZ.ICO");
  runtime.backend().SetProgramName("Nightjar");
  procedures::Main(program);
  return 0;
}

}  // namespace shell
