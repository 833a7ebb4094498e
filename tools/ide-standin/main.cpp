// ide-standin.exe (also copied as CW20.exe): a DDE server standing in for the IDE, for the Windows
// tests and for running Nightjar where no IDE is installed. Reads its settings, offers the service
// and runs the message loop until "[Quit]" (when allowed) or until it is ended.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/program_starter.h"
#include "standin_options.h"
#include "standin_server.h"

namespace {

standin::Server* g_server = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      if (g_server != nullptr) g_server->OnTimer(wparam);
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

std::string ExePath() {
  char path[MAX_PATH * 4] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Settings beside the program, named after it: ide-standin.ini, or CW20.ini for the copy that is
  // started as "CW20" with no arguments.
  std::string exe = ExePath();
  std::string settings_path = ide_standin::ReplaceExtension(exe, ".ini");
  standin::Options options;
  std::vector<std::string> errors;
  std::ifstream settings(settings_path, std::ios::binary);
  if (settings) {
    std::ostringstream text;
    text << settings.rdbuf();
    standin::ReadSettings(text.str(), options, errors);
  }
  std::vector<std::string> arguments = platform::SplitCommandLine(GetCommandLineA());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  standin::ReadArguments(arguments, options, errors);

  standin::Log log(options.log);
  log.Line("started pid=" + std::to_string(GetCurrentProcessId()) + " as " + exe.substr(exe.find_last_of("\\/") + 1) +
           " from " + exe);
  for (const std::string& error : errors) log.Line("setting ignored: " + error);
  if (options.startup_delay_ms > 0) Sleep(static_cast<DWORD>(options.startup_delay_ms));

  WNDCLASSA window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = "NightjarIdeStandIn";
  RegisterClassA(&window_class);
  // A message-only window: the server's timers and its "[Quit]" need nothing visible.
  HWND window = CreateWindowA("NightjarIdeStandIn", "ide-standin", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                              nullptr);
  if (window == nullptr) {
    log.Line("could not create the message window");
    return 1;
  }

  int exit_code = 0;
  {
    standin::Server server(options, log);
    g_server = &server;
    if (server.Start(window)) {
      log.Line(std::string("ready service=") + standin::Server::kService);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    } else {
      exit_code = 1;
    }
    g_server = nullptr;
  }
  if (IsWindow(window)) DestroyWindow(window);
  log.Line("stopped");
  return exit_code;
}
