// The form pattern the application form and the activity record form share: the request taken on
// entry, the record file held through its use count, a byte copy of the record to tell whether
// anything changed, the delete request answered without showing the form, OK through the window's
// accept-all pass to the completed event, the guarded change with its retry question, and the
// response handed back. Each form adds its fields and what is particular to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/definition.h"
#include "procedures/program.h"

namespace rt {
class Runtime;
class Window;
}  // namespace rt

namespace store {
class RecordFile;
}  // namespace store

namespace files {
struct Files;
}  // namespace files

namespace procedures {

class RecordForm {
 public:
  // Runs the form to its end; the global response code then holds its outcome.
  void Run();

 protected:
  // The record file the form works on, its record buffer and its guarded change and delete.
  struct RecordOps {
    store::RecordFile& file;
    const void* buffer;
    std::size_t size;
    std::int32_t (*change)(rt::Runtime&, files::Files&);
    std::int32_t (*remove)(rt::Runtime&, files::Files&);
  };
  // `first_field` is where the focus goes when the form opens and after a failed save.
  RecordForm(Program& program, const rt::WindowDef& definition, RecordOps ops, int first_field, int ok,
             int cancel);
  virtual ~RecordForm() = default;
  RecordForm(const RecordForm&) = delete;
  RecordForm& operator=(const RecordForm&) = delete;

  // Before the file is opened (the request is known, the record buffer is the caller's).
  virtual void Prepare() {}
  // The window is open: bind its entries, set its title.
  virtual void Opened(rt::Window& window) = 0;
  // Adds the record (the completed event of an insert). True when the form stays open.
  virtual bool Insert(rt::Window& window) = 0;
  // Another station changed the record first; the buffer now holds the stored record.
  virtual void ChangedElsewhere() {}
  // OK was pressed: false when the form must stay open without saving (it has said why).
  virtual bool CheckBeforeSave(rt::Window& /*window*/) { return true; }
  // An event of one of the form's own controls (not OK or Cancel).
  virtual void ControlEvent(rt::Window& /*window*/) {}

  // Redisplays every control, except during the accept-all pass (which must not lose typing).
  static void RefreshWindow(rt::Window& window);
  std::int32_t Warn(std::int32_t id, const char* first = nullptr);

  Program& program_;
  rt::Runtime& runtime_;
  std::int32_t Request = 0;
  std::int32_t EntryRequest = 0;
  std::int32_t Response = RequestCancelled;
  const int first_field_;

 private:
  // True when the control's handling is skipped for this event.
  bool TakeWindowEvent(rt::Window& window);
  void TakeControlEvent(rt::Window& window);
  void Delete();
  void SaveChange(rt::Window& window);

  const rt::WindowDef& definition_;
  RecordOps ops_;
  const int ok_;
  const int cancel_;
  std::vector<unsigned char> saved_;  // the record as the form found it
  bool window_initialised_ = false;
};

}  // namespace procedures
