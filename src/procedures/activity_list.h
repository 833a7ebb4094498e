// The activity log's list: the browse engine over TempFile in ClockKey order (date, then time),
// with type-ahead and thumb over the date's day number, the log's popup menu, and a log that
// never stays open empty. An application's cell tips the long paths kept beside Apps for its name.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "procedures/list_instance.h"
#include "procedures/record_view.h"

namespace procedures {

class ActivityList final : public ListInstance {
 public:
  // `select_mode`: the log was opened to choose a record (request 4).
  ActivityList(Program& program, UpdateProcedure update, bool select_mode);

  browse::BrowseFile& File() override { return view_; }
  std::string FileName() const override { return "TempFile"; }
  void RecordToRow(browse::PageRow& row) override;
  void RowToRecord(const browse::PageRow& row) override;
  browse::KeyValue KeyField() const override;
  browse::KeyValue ThumbKey() const override { return KeyField(); }
  bool NumericKey() const override { return true; }
  // The log's records mostly share one date: stops taken from them carry the time as well.
  browse::KeyValue SpreadKey() const override;
  void SetKeyFromSpreadStop(const browse::KeyValue& stop) override;
  void ComputeStopTable(const browse::KeyValue& low, const browse::KeyValue& high,
                        std::array<browse::KeyValue, 100>& stops) override;
  void SetKeyFromStop(const browse::KeyValue& stop) override;
  std::string KeyText() const override;
  void SetKeyFromTyped(const std::string& typed) override;
  std::string PopupText(bool has_rows) const override;
  int PopupButton(int entry) const override;
  int InsertButton() const override;
  int ChangeButton() const override;
  int DeleteButton() const override;
  int SelectButton() const override;
  void DoubleClick() override;
  // Says that the log is empty, then closes its window: the log never stays open empty.
  void EmptyPage() override;

 private:
  RecordView view_;
  bool select_mode_;
  // The long paths kept beside Apps, by the folded application name the log records name, read
  // when the log opens; a name of two folders has both.
  std::map<std::string, std::vector<std::string>> long_paths_;
};

}  // namespace procedures
