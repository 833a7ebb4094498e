// The wait for one application's result file: see result_wait.h.
#include "ide/result_wait.h"

#include <algorithm>
#include <vector>

#include "platform/code_page.h"
#include "platform/fixed_string.h"

namespace ide {

ResultWait::ResultWait(platform::DirectoryLister& lister, platform::DdeClient& dde, platform::DdeChannel channel,
                       const OperationRow& row, std::string folder, std::string base)
    : lister_(lister), dde_(dde), channel_(channel), row_(row), folder_(std::move(folder)), base_(std::move(base)) {}

void ResultWait::NoteBefore() {
  awaited_before_ = Note(row_.awaited_extension);
  if (row_.other_extension != nullptr) other_before_ = Note(row_.other_extension);
}

void ResultWait::Start(std::int64_t now, std::int64_t limit, int look_every) {
  start_ = now;
  limit_ = limit;
  look_every_ = look_every > 0 ? look_every : kAliveCheck;
  next_period_ = look_every_;
  next_look_ = now + look_every_;
}

void ResultWait::LookEvery(int look_every, std::int64_t now) {
  look_every_ = look_every > 0 ? look_every : kAliveCheck;
  if (next_period_ != kWritingRecheck) next_period_ = look_every_;
  next_look_ = std::min(next_look_, now + look_every_);
}

ResultWait::Verdict ResultWait::Poll(std::int64_t now, Trigger trigger) {
  // An IDE that exits or ends the conversation must not cost the whole time-out, so the timer
  // ticks often; the folder is listed only when it changed or a look is due.
  const bool alive = trigger != Trigger::kTimer || dde_.ServerAlive(channel_);
  if (trigger == Trigger::kTimer && alive && now < next_look_) return Verdict::kWaiting;
  bool writing = false;
  Verdict found = Verdict::kWaiting;
  if (!WrittenSince(row_.awaited_extension, awaited_before_, writing).empty()) {
    found = Verdict::kWritten;
  } else if (row_.other_extension != nullptr) {
    other_name_ = WrittenSince(row_.other_extension, other_before_, writing);
    if (!other_name_.empty()) found = Verdict::kOtherKind;
  }
  next_period_ = writing ? kWritingRecheck : look_every_;
  next_look_ = now + next_period_;
  if (found != Verdict::kWaiting) return found;
  if (!alive) return Verdict::kIdeGone;
  // The file never came and no error says why: the DDE time-out the command was sent with bounds
  // the wait too, so a job the IDE silently dropped does not hold the batch for ever.
  if (Waited(now) >= limit_) return Verdict::kTimedOut;
  return Verdict::kWaiting;
}

int ResultWait::TimerPeriod() const { return std::min(next_period_, kAliveCheck); }

ResultWait::Stamps ResultWait::Note(const char* extension) {
  Stamps stamps;
  std::vector<platform::DirectoryEntry> entries;
  const std::string expected = platform::FoldUpper(base_ + extension);
  lister_.List(folder_ + "*" + extension, entries);
  for (const platform::DirectoryEntry& entry : entries) {
    std::string name(platform::TrimRight(entry.name));
    if (platform::FoldUpper(name) == expected) stamps[name] = Stamp{entry.date, entry.time, entry.size};
  }
  return stamps;
}

std::string ResultWait::WrittenSince(const char* extension, const Stamps& before, bool& writing) {
  // Names are compared without regard to case; where the file system tells case apart, each
  // spelling is a file of its own.
  for (const auto& [name, stamp] : Note(extension)) {
    auto was = before.find(name);
    if (was != before.end() && was->second == stamp) continue;  // as it was before the command
    // A file its writer still holds open is not the finished result yet.
    if (lister_.IsBeingWritten(folder_ + name)) writing = true;
    else return name;
  }
  return "";
}

}  // namespace ide
