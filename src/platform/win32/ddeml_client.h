// The DdeClient of the Windows build, on the system's DDE management library (DDEML). Used by the
// program's start-up and by the Windows DDE tests; this header needs no <windows.h>.
#pragma once

#include <memory>

#include "platform/dde_client.h"

namespace platform {

// Two behaviours of wine's DDEML (measured with wine 8.0) need working around on the client side:
//  - its server side answers an item request with the data and then a stray extra acknowledgement,
//    which the next request on the same conversation takes for its (negative) answer, so each
//    request goes out on a conversation of its own;
//  - after an execute timed out, the server's late acknowledgement is taken for the answer of the
//    next command on that conversation, and a finished asynchronous execute stays queued on its
//    conversation, taking the next answer for its own; so after every execute the next command
//    (and every request) goes out on a new conversation.
// kAuto applies them when running under wine, kOn and kOff force them (tests use kOff to watch
// whether the problem still exists).
enum class WineWorkaround { kAuto, kOn, kOff };

struct DdemlOptions {
  WineWorkaround fresh_conversation_per_request = WineWorkaround::kAuto;
  WineWorkaround new_conversation_after_time_out = WineWorkaround::kAuto;
};

// A DDEML client instance (client only) tied to the calling thread, which must pump its messages
// between calls as any Windows program's event loop does. If DDEML cannot be initialised, no server
// ever answers.
std::unique_ptr<DdeClient> MakeDdemlClient(DdemlOptions options = {});

// True when the program runs under wine rather than Windows.
bool RunningOnWine();

}  // namespace platform
