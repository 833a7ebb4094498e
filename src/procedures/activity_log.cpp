// ViewEvents and its event loop over VIEWEVENTS$BROWSEWINDOW: each event is handled first by its
// kind, then by the control it concerns.
#include "procedures/activity_log.h"

#include "browse/page_browse.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "files/open_record_file.h"
#include "procedures/activity_list.h"
#include "procedures/activity_log_def.h"
#include "procedures/activity_record.h"
#include "procedures/kept_settings.h"
#include "procedures/procedure.h"

namespace procedures {

namespace f = activity_log_field;
using rt::EventKind;

// How often the idle log looks whether another program (a console batch) has written to it.
constexpr int kLookForChanges = 100;  // hundredths of a second

void ViewEvents(Program& program) {
  rt::Runtime& runtime = program.runtime;
  const std::int32_t request = TakeRequest(program);
  DiscardRightClick(runtime);
  const bool select_mode = request == SelectRecord;
  ActivityList list(program, UpdateEvents, select_mode);

  files::RaiseUseCount(runtime, program.files, program.files.TempFile);
  std::int32_t response = RequestCancelled;
  {
    rt::Window window(runtime, kActivityLogWindow, KeptPlacement(kActivityLogWindow));
    list.Attach(window);
    browse::PageBrowse browse(list, window, f::Browse_1, request);
    browse.OpenBrowse();
    // Select is there only for a caller that asked to choose a record.
    window.Hide(f::Select, !select_mode);
    window.Enable(f::Select, select_mode);
    window.SetTimerPeriod(kLookForChanges);
    while (window.Accept()) {
      switch (window.Kind()) {
        case EventKind::OpenWindow:
          browse.RefreshDisplay();
          window.Select(f::Browse_1);
          break;
        case EventKind::GainFocus:
        case EventKind::Sized:  // the list shows another number of rows: the page is filled again
          browse.ForceReset = true;
          browse.RefreshDisplay();
          break;
        case EventKind::Rejected:
          OnRejected(window);
          break;
        case EventKind::Timer:
          browse.NoticeOtherChanges();
          break;
        default:
          break;
      }
      if (window.Field() == f::Browse_1) {
        browse.TakeListEvent(window.Kind());
        continue;
      }
      // The buttons act on their accepted event, hidden or not: the list's keys and popup reach
      // Insert, Delete and Select even while the window does not show them.
      if (window.Kind() != EventKind::Accepted) continue;
      switch (window.Field()) {
        case f::Insert:
          browse.RereadSelected();
          browse.InsertRow();
          break;
        // View, Delete and Select act only on the highlighted record itself (see Main).
        case f::View:
          if (browse.RereadSelected()) browse.ChangeRow();
          break;
        case f::Delete:
          if (browse.RereadSelected()) browse.DeleteRow();
          break;
        case f::Select:
          if (!browse.RereadSelected()) break;
          browse.Response = RequestCompleted;
          window.Post(EventKind::CloseWindow);
          break;
        case f::Close:
          browse.RereadSelected();
          browse.Response = RequestCancelled;
          window.Post(EventKind::CloseWindow);
          break;
        default:
          break;
      }
    }
    // Its size is kept; it opens centred over the window that called it.
    KeepSettings(window, false);
    files::LowerUseCount(program.files, program.files.TempFile);
    browse.CloseBrowse();
    response = browse.Response;
  }
  GiveResponse(program, response);
}

}  // namespace procedures
