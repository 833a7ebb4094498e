// A record file's view in key order as the list browse reads it: the browse engine's BrowseFile
// over the store's View. Positioning asked for while the view is closed is remembered and applied
// when it opens, as the browse closes the view, positions the key, then opens the view again.
// Used by the application list and the activity log.
#pragma once

#include <functional>
#include <string>

#include "browse/page_browse.h"
#include "store/record_file.h"

namespace windows {

class RecordView final : public browse::BrowseFile {
 public:
  // `clear_buffer` clears the file's record buffer (the store knows only its bytes).
  RecordView(store::RecordFile& file, std::function<void()> clear_buffer)
      : file_(file), view_(file), clear_buffer_(std::move(clear_buffer)) {}

  int OpenView() override;
  void CloseView() override { view_.Close(); }
  int SetToStart() override;
  int SetToKeyValue() override;
  int SetToBufferRecord() override;
  int Next() override;
  int Previous() override;
  std::string Position() override;
  int Reset(const std::string& position) override;
  int Reread(const std::string& position) override;
  void Watch() override { view_.Watch(); }
  void ClearCurrent() override { file_.ForgetCurrent(); }
  void ClearBuffer() override { clear_buffer_(); }

 private:
  enum class Pending { None, Start, KeyValue, Position };
  int Code() const { return file_.store().error.code; }
  int Apply();

  store::RecordFile& file_;
  store::View view_;
  std::function<void()> clear_buffer_;
  Pending pending_ = Pending::None;
  store::RecordPosition pending_position_;
};

}  // namespace windows
