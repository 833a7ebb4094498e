// The main window's IDE part, wired in one place: the connection state bound to the window's three
// fields (the connection check box, the time-out spin box, the last-action field), the two batch
// choices ("Only changed", "Stop at first failure"), the connection and the batch operations on that
// window, and what the window's events ask of them. Main builds it
// on its window, nightjar.com on a window that is never drawn, and the tests as both do.
#pragma once

#include <cstdint>
#include <functional>

#include "ide/batch_operations.h"
#include "ide/connection.h"
#include "platform/fixed_string.h"

namespace files {
struct Files;
}
namespace rt {
class Window;
}

namespace procedures {

struct Services;

class MainIde {
 public:
  // `window` is MAIN$WINDOW, open for as long as this object lives; `state` is bound to it here.
  MainIde(rt::Window& window, ide::ConnectionState& state, Services& services, files::Files& files);

  // Before the window's first event: one attempt to reach the IDE, without starting it.
  void FirstAttempt() { connection.FirstAttempt(); }
  // The window's open event: the warning when no conversation is open, and the focus to the
  // connection group then.
  void Opened();
  // The idle window's timer: whether the IDE it is connected to is still there.
  void Timer() { connection.LookAlive(); }

  // What an Accepted event of `field` did.
  enum class Handled {
    kNotMine,       // not an operation button, Connect or Disconnect
    kDone,          // handled; the list's highlighted record is to be made current again
    kWindowClosed,  // handled, and the window is closing
  };
  // Runs the operation of an operation button (`other_events` as BatchOperations::Run takes it),
  // planned by the window's two batch choices, with every button, both choices and the choice of
  // IDE disabled until the batch ends; Connect or Disconnect.
  Handled Accepted(int field, const std::function<void(rt::Window&)>& other_events = {});

  ide::Connection connection;
  ide::BatchOperations batch;
  // The batch choices' check boxes: 1 ticked. Main keeps them between runs.
  std::uint8_t OnlyChanged = 0;
  std::uint8_t StopOnFailure = 0;

 private:
  rt::Window& window_;
};

}  // namespace procedures
