// The browse's view over a store record file.
#include "windows/record_view.h"

namespace windows {

int RecordView::OpenView() {
  view_.Open();
  if (Code() != 0) return Code();
  return Apply();
}

int RecordView::Apply() {
  Pending pending = pending_;
  pending_ = Pending::None;
  switch (pending) {
    case Pending::Start: view_.Set(); break;
    case Pending::KeyValue: view_.SetToKeyValue(); break;
    case Pending::Position: view_.Reset(pending_position_); break;
    case Pending::None: return 0;
  }
  return Code();
}

int RecordView::SetToStart() {
  pending_ = Pending::Start;
  return view_.IsOpen() ? Apply() : 0;
}

int RecordView::SetToKeyValue() {
  pending_ = Pending::KeyValue;
  return view_.IsOpen() ? Apply() : 0;
}

int RecordView::SetToBufferRecord() {
  // The record in the buffer is the file's current one (just added or written back).
  pending_position_ = file_.Position(store::Order::Key);
  if (Code() != 0) {
    pending_ = Pending::None;
    return Code();
  }
  pending_ = Pending::Position;
  return view_.IsOpen() ? Apply() : 0;
}

int RecordView::Next() {
  view_.Next();
  return Code();
}

int RecordView::Previous() {
  view_.Previous();
  return Code();
}

std::string RecordView::Position() {
  store::RecordPosition position = view_.Position();
  return std::string(position.data, position.size());
}

int RecordView::Reset(const std::string& position) {
  view_.Reset(store::RecordPosition(position));
  return Code();
}

int RecordView::Reread(const std::string& position) {
  view_.Reread(store::RecordPosition(position));
  return Code();
}

}  // namespace windows
