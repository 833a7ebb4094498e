// The entry point of nightjar.com: the console backend with the system's waiter, the platform's
// services (DDEML, the program starter, the directory lister), and the command from the arguments.
#include <iostream>
#include <string>
#include <vector>

#include "console/console_command.h"
#include "console/console_runner.h"
#include "platform/directory_lister.h"
#include "platform/program_starter.h"
#include "platform/win32/ddeml_client.h"
#include "runtime/console/console_backend.h"
#include "runtime/runtime.h"
#include "windows/program.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  console::Parsed parsed = console::ParseCommand(arguments);
  if (!parsed.command) {
    std::cerr << "nightjar: " << parsed.error << "\n\n" << console::Usage();
    return console::kExitCannotRun;
  }
  auto waiter = rt::console::MakeSystemWaiter();
  rt::console::ConsoleBackend backend(*waiter, std::cerr, parsed.command->yes);
  rt::Runtime runtime(backend);
  auto dde = platform::MakeDdemlClient();
  auto starter = platform::MakeProgramStarter();
  auto lister = platform::MakeDirectoryLister();
  windows::Services services{*dde, *starter, *lister};
  try {
    return console::RunCommand(*parsed.command, runtime, services, std::cout, std::cerr);
  } catch (const rt::console::Halted&) {
    // The backend has said why.
    return console::kExitCannotRun;
  }
}
