// The DdeClient of the Windows build that holds its conversations itself, with the DDE messages
// (WM_DDE_INITIATE, _EXECUTE, _REQUEST, _DATA, _ACK, _TERMINATE) between a hidden window of its own
// and the server's windows. Unlike a connect through the DDE management library, it can tell the
// servers of one service apart by their process and talk to the one chosen. This header needs no
// <windows.h>.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/dde_client.h"

namespace platform {

// A client whose window belongs to the calling thread, which must serve its messages between calls
// as any Windows program's event loop does; while a command or a request waits for its answer the
// client serves the thread's messages itself.
std::unique_ptr<DdeClient> MakeDdeMessageClient();

// The full path of the program process `process_id` runs; "" when it cannot be told.
std::string ProcessProgram(std::uint32_t process_id);

}  // namespace platform
