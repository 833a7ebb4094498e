// Start-up in its fixed order: cleared process state, the program icon, Main; then shutdown.
#include "shell/startup.h"

#include "runtime/runtime.h"
#include "windows/program.h"
#include "windows/main.h"

namespace shell {

int RunProgram(rt::Runtime& runtime, windows::Services& services) {
  // The context starts with blank strings and zero codes; nothing is read from the command line,
  // a settings file or the environment.
  windows::Program program(runtime, services);
  runtime.backend().SetProgramIcon("RUZOZIZ.ICO");
  runtime.backend().SetProgramName("Nightjar");
  windows::Main(program);
  return 0;
}

}  // namespace shell
