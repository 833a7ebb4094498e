// The browse's view over a store record file.
#include "procedures/record_view.h"

namespace procedures {

using browse::FileStatus;

FileStatus RecordView::Status() const {
  switch (file_.store().error.code) {
    case store::kNoError: return FileStatus::Ok;
    case store::kRecordNotAvailable: return FileStatus::End;
    default: return FileStatus::Error;
  }
}

FileStatus RecordView::OpenView() {
  view_.Open();
  if (Status() != FileStatus::Ok) return Status();
  return Apply();
}

FileStatus RecordView::Apply() {
  Pending pending = pending_;
  pending_ = Pending::None;
  switch (pending) {
    case Pending::Start: view_.Set(); break;
    case Pending::KeyValue: view_.SetToKeyValue(); break;
    case Pending::Position: view_.Reset(pending_position_); break;
    case Pending::None: return FileStatus::Ok;
  }
  return Status();
}

FileStatus RecordView::SetToStart() {
  pending_ = Pending::Start;
  return view_.IsOpen() ? Apply() : FileStatus::Ok;
}

FileStatus RecordView::SetToKeyValue() {
  pending_ = Pending::KeyValue;
  return view_.IsOpen() ? Apply() : FileStatus::Ok;
}

FileStatus RecordView::SetToBufferRecord() {
  // The record in the buffer is the file's current one (just added or written back).
  pending_position_ = file_.Position(store::Order::Key);
  if (Status() != FileStatus::Ok) {
    pending_ = Pending::None;
    return Status();
  }
  pending_ = Pending::Position;
  return view_.IsOpen() ? Apply() : FileStatus::Ok;
}

FileStatus RecordView::Next() {
  view_.Next();
  return Status();
}

FileStatus RecordView::Previous() {
  view_.Previous();
  return Status();
}

std::string RecordView::Position() {
  store::RecordPosition position = view_.Position();
  return std::string(position.data, position.size());
}

FileStatus RecordView::Reset(const std::string& position) {
  view_.Reset(store::RecordPosition(position));
  return Status();
}

FileStatus RecordView::Reread(const std::string& position) {
  view_.Reread(store::RecordPosition(position));
  return Status();
}

}  // namespace procedures
