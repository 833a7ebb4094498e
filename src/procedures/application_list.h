// The application list of the main window: the browse engine over Apps in DriveKey order, with a
// tag-mark column, type-ahead and thumb over the directory, and the list's popup menu.
#pragma once

#include <cstdint>
#include <functional>

#include "procedures/list_instance.h"
#include "procedures/record_view.h"

namespace files {
struct Files;
}

namespace procedures {

struct Program;

class ApplicationList final : public ListInstance {
 public:
  ApplicationList(Program& program, UpdateProcedure update);

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
  void SetKeyFromSpreadStop(const browse::KeyValue& stop) override;
  char KeyFirstChar() const override;
  void SetKeyFromTyped(char typed) override;
  // A typed character finds an application by its name as well as by its path.
  bool TypedMatches(char typed) const override;
  std::string PopupText(bool has_rows) const override;
  int PopupButton(int entry) const override;
  bool PopupAction(int entry) override;
  int InsertButton() const override;
  int ChangeButton() const override;
  int DeleteButton() const override;
  void DoubleClick() override;
  void EmptyPage() override {}

 private:
  RecordView view_;
};

// Sets the tag of every application of Apps that is not so already (1 tagged, 0 not); returns how
// many were changed, or -1 when the list could not be read to its end. `failed` is called for each
// application the store would not change, its record in the buffer and the error in the store's.
int TagEvery(files::Files& files, std::int16_t tag, const std::function<void()>& failed);

}  // namespace procedures
