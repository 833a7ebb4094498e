// The entry point of nightjar.exe: the Win32 backend, the platform's services (DDE client, the program
// starter, the directory lister) and the start-up. (mingw's start-up code calls main also for a GUI
// program, so this file needs no Windows headers.)
#include "platform/directory_lister.h"
#include "platform/program_starter.h"
#include "platform/win32/dde_message_client.h"
#include "runtime/runtime.h"
#include "runtime/win32/win32_backend.h"
#include "procedures/program.h"
#include "shell/startup.h"

int main() {
  auto backend = MakeWin32Backend();
  rt::Runtime runtime(*backend);
  auto dde = platform::MakeDdeMessageClient();
  auto starter = platform::MakeProgramStarter();
  auto lister = platform::MakeDirectoryLister();
  procedures::Services services{*dde, *starter, *lister};
  return shell::RunProgram(runtime, services);
}
