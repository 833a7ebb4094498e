// UpdateEvents over UPDATEEVENTS$FORMWINDOW: the shared form pattern with the log record's four
// fields, of which only the date takes typing.
#include "procedures/activity_record.h"

#include "messages/standard_warnings.h"
#include "runtime/window.h"
#include "files/change_guard.h"
#include "procedures/activity_record_def.h"
#include "procedures/record_form.h"

namespace procedures {
namespace {

using rt::EventKind;
namespace f = activity_record_field;

class ActivityRecordForm final : public RecordForm {
 public:
  explicit ActivityRecordForm(Program& program)
      : RecordForm(program, kActivityRecordWindow,
                   {program.files.TempFile, &program.files.TMP, sizeof(store::TempFileRecord),
                    files::ChangeTempFileRecord, files::DeleteTempFileRecord},
                   f::OK, f::OK, f::Cancel) {}

 private:
  void Opened(rt::Window& window) override {
    store::TempFileRecord& tmp = program_.files.TMP;
    window.Bind(f::TMP_Date, tmp.Date);
    window.Bind(f::TMP_Apps, tmp.Apps);
    window.Bind(f::TMP_Clock, tmp.Clock);
    window.Bind(f::TMP_Event, tmp.Event);
  }

  // The log has no unique key: every failure to add, a duplicate included, is an insert error.
  bool Insert(rt::Window& window) override {
    program_.files.TempFile.Add();
    if (program_.files.store.error.code == store::kNoError) {
      Response = RequestCompleted;
      window.Post(EventKind::CloseWindow);
      return false;
    }
    Warn(messages::WarnInsertError);
    window.Select(first_field_);
    return true;
  }
};

}  // namespace

void UpdateEvents(Program& program) { ActivityRecordForm(program).Run(); }

}  // namespace procedures
