// The application list of the main window: the browse engine over Apps in DriveKey order, with a
// tag-mark column, each application by the long path kept beside Apps (its stored path where none
// is kept), its build order number and last result (kept beside Apps by the batches), type-ahead
// over the stored and the long names, the thumb over the directory, and the list's popup menu.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "procedures/list_instance.h"
#include "procedures/record_view.h"
#include "store/last_results.h"
#include "store/records.h"

namespace files {
struct Files;
}

namespace procedures {

struct Program;

class ApplicationList final : public ListInstance {
 public:
  ApplicationList(Program& program, UpdateProcedure update);

  // The list's own setup when the main window opens: the check-mark icon as the list's icon 1,
  // the last results' icons after it, and the kept results read.
  void Setup(rt::Window& window);
  // Reads the kept results and build order numbers again when their file has changed since they
  // were last read (a look at its size and time, no more), or with `always`, so that filling a
  // page reads none of them. True when they were read: the page must be rebuilt to show them.
  bool ReadResults(bool always = false);
  // The application form may have set a build order: the page rebuilt after it shows it.
  std::int32_t RunUpdateProcedure(std::int32_t request) override;

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
  browse::KeyValue SpreadKey() const override;
  std::string KeyText() const override;
  void SetKeyFromTyped(const std::string& typed) override;
  // A typed character finds an application by its name as well as by its path, long or stored.
  bool TypedMatches(std::string_view typed) const override;
  bool FindTypedBeside(std::string_view typed, const browse::KeyValue& from, browse::KeyValue& found) override;
  std::string PopupText(bool has_rows) const override;
  int PopupButton(int entry) const override;
  bool PopupAction(int entry) override;
  int InsertButton() const override;
  int ChangeButton() const override;
  int DeleteButton() const override;
  void DoubleClick() override;
  void EmptyPage() override {}

 private:
  // Tags exactly the applications whose kept result asks for them to be made again.
  void TagFailedOnly();

  RecordView view_;
  // The long path of the application in the buffer, split; both "" when none is kept.
  struct LongName {
    std::string folder, name;
  };
  LongName LongNameOf(const store::AppsRecord& app) const;

  std::map<std::string, store::LastResult> results_;  // by store::LastResultKey
  // The applications with a long path, by their stored key (folded folder, folded name) in the
  // list's key order, for type-ahead over the long names.
  std::map<std::pair<std::string, std::string>, LongName> long_names_;
  // The results file as it was when last read: whether it was there, its size and its time.
  struct FileStamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    bool operator==(const FileStamp&) const = default;
  };
  FileStamp read_stamp_;
  bool read_ = false;
};


// Sets the tag of every application of Apps that is not so already (1 tagged, 0 not); returns how
// many were changed, or -1 when the list could not be read to its end. `failed` is called for each
// application the store would not change, its record in the buffer and the error in the store's.
int TagEvery(files::Files& files, std::int16_t tag, const std::function<void()>& failed);
// The same with each application's tag given by `tag_of` (its record in the buffer).
int TagWhere(files::Files& files, const std::function<std::int16_t(const store::AppsRecord&)>& tag_of,
             const std::function<void()>& failed);

}  // namespace procedures
