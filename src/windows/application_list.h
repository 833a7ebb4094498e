// The application list of the main window: the browse engine over Apps in DriveKey order, with a
// tag-mark column, type-ahead and thumb over the directory, and the list's popup menu.
#pragma once

#include <functional>

#include "browse/page_browse.h"
#include "windows/record_view.h"

namespace shell {
struct Program;
}

namespace windows {

class ApplicationList final : public browse::BrowseInstance {
 public:
  // `update` is the update procedure: it reads the global request code and leaves the response.
  ApplicationList(shell::Program& program, std::function<void(shell::Program&)> update);

  // The list's own setup when the main window opens: the check-mark icon as the list's icon 1.
  void Setup(rt::Window& window);

  browse::BrowseFile& File() override { return view_; }
  std::string FileName() const override { return "Apps"; }
  void RecordToRow(browse::PageRow& row) override;
  void RowToRecord(const browse::PageRow& row) override;
  browse::KeyValue KeyField() const override;
  browse::KeyValue ThumbKey() const override;
  bool NumericKey() const override { return false; }
  void ComputeStopTable(const browse::KeyValue& low, const browse::KeyValue& high,
                        std::array<browse::KeyValue, 100>& stops) override;
  void SetKeyFromStop(const browse::KeyValue& stop) override;
  char KeyFirstChar() const override;
  void SetKeyFromTyped(char typed) override;
  std::string PopupText(bool has_rows) const override;
  int PopupButton(int entry) const override;
  int InsertButton() const override;
  int ChangeButton() const override;
  int DeleteButton() const override;
  void DoubleClick() override;
  void EmptyPage() override {}
  std::int32_t RunUpdateProcedure(std::int32_t request) override;
  void ShowWarning(std::int32_t id, std::string_view first) override;

 private:
  shell::Program& program_;
  std::function<void(shell::Program&)> update_;
  RecordView view_;
  rt::Window* window_ = nullptr;
};

}  // namespace windows
