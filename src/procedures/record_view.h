// A record file's view in key order as the list browse reads it: the browse engine's BrowseFile
// over the store's View. Positioning asked for while the view is closed is remembered and applied
// when it opens, as the browse closes the view, positions the key, then opens the view again.
// Used by the application list and the activity log.
#pragma once

#include <functional>
#include <string>

#include "browse/page_browse.h"
#include "store/record_file.h"

namespace procedures {

class RecordView final : public browse::BrowseFile {
 public:
  // `clear_buffer` clears the file's record buffer (the store knows only its bytes).
  RecordView(store::RecordFile& file, std::function<void()> clear_buffer)
      : file_(file), view_(file), clear_buffer_(std::move(clear_buffer)) {}

  browse::FileStatus OpenView() override;
  void CloseView() override { view_.Close(); }
  browse::FileStatus SetToStart() override;
  browse::FileStatus SetToKeyValue() override;
  browse::FileStatus SetToBufferRecord() override;
  browse::FileStatus Next() override;
  browse::FileStatus Previous() override;
  std::string Position() override;
  browse::FileStatus Reset(const std::string& position) override;
  browse::FileStatus Reread(const std::string& position) override;
  void Watch() override { view_.Watch(); }
  void ClearCurrent() override { file_.ForgetCurrent(); }
  void ClearBuffer() override { clear_buffer_(); }
  std::int64_t ChangeCounter() override { return file_.ChangeCounter(); }
  std::int64_t RecordCountUpTo(std::int64_t limit) override {
    const std::int64_t n = file_.RecordsUpTo(limit);
    return file_.store().error.code == 0 ? n : -1;
  }
  bool FindsKeyPrefix() override { return file_.FindsKeyPrefix(); }
  browse::FileStatus FindKeyPrefix(const std::string& prefix) override {
    file_.FindKeyPrefix(prefix, true);
    return Status();
  }
  browse::FileStatus ReadKeysAtRanks(const std::vector<std::int64_t>& ranks,
                                     const std::function<void()>& each) override {
    file_.KeysAtRanks(ranks, each);
    return Status();
  }

 private:
  enum class Pending { None, Start, KeyValue, Position };
  // The outcome of the store operation just done: 33 (no further record, or gone) is the end.
  browse::FileStatus Status() const;
  browse::FileStatus Apply();

  store::RecordFile& file_;
  store::View view_;
  std::function<void()> clear_buffer_;
  Pending pending_ = Pending::None;
  store::RecordPosition pending_position_;
};

}  // namespace procedures
