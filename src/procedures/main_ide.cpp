// The main window's IDE part: see main_ide.h.
#include "procedures/main_ide.h"

#include <vector>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "procedures/main_def.h"
#include "procedures/program.h"

namespace procedures {

namespace f = main_field;

MainIde::MainIde(rt::Window& window, ide::ConnectionState& state, Services& services, files::Files& files,
                 platform::FixedString<80>& OutputFileName)
    : connection(window, state, services.dde, services.starter),
      batch(window, services.dde, window.runtime().clock(), connection, files, services.lister, OutputFileName),
      window_(window) {
  window.Bind(f::ServerActive, state.DDEConnected);
  window.Bind(f::TimeOut, state.DDETimeOut);
  window.Bind(f::LastAction, state.LastAction);
}

void MainIde::Opened() {
  if (connection.WarnIfNotConnected()) window_.Select(f::ConnectionGroup);
}

MainIde::Handled MainIde::Accepted(int field, const std::function<void(rt::Window&)>& other_events) {
  if (const OperationButton* button = OperationOf(field)) {
    // No button acts while the batch runs, and none looks as if it would.
    std::vector<int> disabled;
    for (int f = 1; f <= window_.ControlCount(); ++f) {
      if (window_.definition().control(f).kind != rt::ControlKind::Button || !window_.state(f).enabled) continue;
      window_.Disable(f);
      disabled.push_back(f);
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
