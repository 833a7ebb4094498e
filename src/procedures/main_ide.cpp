// The main window's IDE part: see main_ide.h.
#include "procedures/main_ide.h"

#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/main_def.h"
#include "procedures/program.h"

namespace procedures {

namespace f = main_field;

MainIde::MainIde(rt::Window& window, ide::ConnectionState& state, Services& services, files::Files& files)
    : connection(window, state, services.dde, services.starter, &services.lister),
      batch(window, services.dde, window.runtime().clock(), connection, files, services.lister),
      window_(window) {
  window.Bind(f::ServerActive, state.DDEConnected);
  window.Bind(f::TimeOut, state.DDETimeOut);
  window.Bind(f::LastAction, state.LastAction);
  window.Bind(f::OnlyChanged, OnlyChanged);
  window.Bind(f::StopOnFailure, StopOnFailure);
}

void MainIde::Opened() {
  if (connection.WarnIfNotConnected()) window_.Select(f::ConnectionGroup);
}

MainIde::Handled MainIde::Accepted(int field, const std::function<void(rt::Window&)>& other_events) {
  if (const OperationButton* button = OperationOf(field)) {
    batch.Plan({.only_changed = OnlyChanged != 0, .stop_on_failure = StopOnFailure != 0});
    // No button acts while the batch runs, and none looks as if it would; the choices it took
    // cannot be changed under it.
    std::vector<int> disabled;
    for (int n = 1; n <= window_.ControlCount(); ++n) {
      const bool choice = n == f::OnlyChanged || n == f::StopOnFailure || n == f::IDEs || n == f::IDEProgram;
      if ((window_.definition().control(n).kind != rt::ControlKind::Button && !choice) || !window_.state(n).enabled)
        continue;
      window_.Disable(n);
      disabled.push_back(n);
    }
    const ide::BatchEnd end = batch.Run(button->operation, other_events);
    if (end == ide::BatchEnd::kWindowClosed) return Handled::kWindowClosed;
    for (int f : disabled) window_.Enable(f);
    return Handled::kDone;
  }
  switch (field) {
    case f::Connect:
      return connection.Connect() ? Handled::kDone : Handled::kWindowClosed;
    case f::Disconnect:
      connection.Disconnect();
      return Handled::kDone;
    default:
      return Handled::kNotMine;
  }
}

}  // namespace procedures
