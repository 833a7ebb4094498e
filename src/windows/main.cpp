// Main and its event loop over MAIN$WINDOW: each event is handled first by its kind, then by the
// control it concerns.
#include "windows/main.h"

#include <cstdint>

#include "runtime/runtime.h"
#include "runtime/window.h"
#include "shell/program.h"
#include "store/open_record_file.h"
#include "windows/main_def.h"

namespace windows {
namespace {

using rt::EventKind;
namespace f = main_field;

// The application list's page. It stays empty until the list has a store to read.
class EmptyPage final : public rt::ListSource {
 public:
  int RowCount() const override { return 0; }
  rt::Cell CellAt(int, int) const override { return {}; }
};

class MainProcedure {
 public:
  explicit MainProcedure(shell::Program& program) : program_(program), runtime_(program.runtime) {}

  void Run() {
    Request = EntryRequest = program_.GlobalRequest;
    Response = shell::RequestCancelled;
    program_.GlobalRequest = 0;
    program_.GlobalResponse = 0;
    // A right click still pending from the caller must not open the list's popup.
    if (runtime_.LastKey() == rt::key::kMouseRight) runtime_.SetLastKey(0, 0);

    // Apps stays open while Main runs; a file that cannot be opened ends the program in there.
    store::RaiseUseCount(runtime_, program_.files, program_.files.Apps);
    files_opened_ = true;

    LastAction.Clear();
    {
      rt::Window window(runtime_, kMainWindow);
      window_ = &window;
      window.Bind(f::Browse_1, page_);
      window.Bind(f::ServerActive, DDEConnected);
      window.Bind(f::TimeOut, DDETimeOut);
      window.Bind(f::LastAction, LastAction);
      window.Display();
      while (window.Accept()) {
        DispatchByKind(window);
        DispatchByField(window);
      }
      window_ = nullptr;
      if (files_opened_) store::LowerUseCount(program_.files, program_.files.Apps);
    }
    program_.GlobalResponse = Response != 0 ? Response : shell::RequestCancelled;
  }

 private:
  void DispatchByKind(rt::Window& window) {
    switch (window.Kind()) {
      case EventKind::OpenWindow:
        RefreshDisplay();
        window.Select(f::Browse_1);
        break;
      case EventKind::GainFocus:
        ForceReset = true;
        RefreshDisplay();
        break;
      case EventKind::Rejected:
        runtime_.Beep();
        window.Display(window.Field());
        window.Select(window.Field());
        break;
      default:
        break;
    }
  }

  void DispatchByField(rt::Window& window) {
    // Buttons act on their Accepted event only; the list, the check box, the spin box and the
    // last-action field have no actions of their own yet.
    if (window.Kind() != EventKind::Accepted) return;
    switch (window.Field()) {
      case f::Close:
        // The button's own close action closes the window after this event.
        break;
      default:
        break;
    }
  }

  void RefreshDisplay() {
    if (window_->InAcceptAll()) return;
    window_->Display();
    ForceReset = false;
  }

  shell::Program& program_;
  rt::Runtime& runtime_;
  rt::Window* window_ = nullptr;
  EmptyPage page_;
  bool files_opened_ = false;

  // State of one activation; names are the system's own.
  std::int32_t DDEChannel = 0;
  std::uint8_t DDEConnected = 0;
  std::uint8_t DDETimeOut = 15;
  rt::FixedString<30> LastAction;
  std::int32_t Request = 0;
  std::int32_t EntryRequest = 0;
  std::int32_t Response = 0;
  bool ForceReset = false;
};

}  // namespace

void Main(shell::Program& program) { MainProcedure(program).Run(); }

}  // namespace windows
