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
