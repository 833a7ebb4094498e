// The entry point of nightjar.exe: the Win32 backend and the start-up. (mingw's start-up code calls
// main also for a GUI program, so this file needs no Windows headers.)
#include "runtime/runtime.h"
#include "runtime/win32/win32_backend.h"
#include "shell/startup.h"

int main() {
  auto backend = MakeWin32Backend();
  rt::Runtime runtime(*backend);
  return shell::RunProgram(runtime);
}
