// The Win32 backend of the window runtime: real windows and controls, the message loop, and the
// services beside windows (message box, open-file dialog, popup menu, beep, cursor, halt). The
// program's entry point creates it; this header needs no Windows headers.
#pragma once

#include <memory>
#include <string>

#include "runtime/backend.h"

// Creates the backend for the running program; its windows take their icons and bitmaps from the
// program's own resources.
std::unique_ptr<rt::Backend> MakeWin32Backend();

namespace rt::win32 {
// The program's name: the description in its manifest (resource 1 of type RT_MANIFEST), else the
// file name of its .exe without the extension. The caption of the box that Halt shows.
std::string ProgramName();
}  // namespace rt::win32
