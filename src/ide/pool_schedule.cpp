// The pool's schedule and the batch's time left: see pool_schedule.h.
#include "ide/pool_schedule.h"

#include <algorithm>
#include <climits>

#include "store/path_key.h"

namespace ide {

PoolSchedule::PoolSchedule(const std::vector<Item>& items, store::PathKeys* keys)
    : states_(items.size(), State::kWaiting) {
  store::PathKeys by_text;
  for (const Item& item : items) {
    folders_.push_back((keys != nullptr ? *keys : by_text).Folder(item.folder));
    ranks_.push_back(item.order > 0 ? item.order : INT64_MAX);
  }
}

std::optional<std::size_t> PoolSchedule::Next() const {
  // The barrier: the lowest rank not ended yet; nothing ranked above it may start.
  std::int64_t barrier = INT64_MAX;
  for (std::size_t i = 0; i < states_.size(); ++i)
    if (states_[i] != State::kEnded) barrier = std::min(barrier, ranks_[i]);
  for (std::size_t i = 0; i < states_.size(); ++i) {
    if (states_[i] != State::kWaiting || ranks_[i] > barrier) continue;
    bool folder_busy = false;
    for (std::size_t j = 0; j < states_.size() && !folder_busy; ++j)
      folder_busy = states_[j] == State::kAtWork && folders_[j] == folders_[i];
    if (!folder_busy) return i;
  }
  return std::nullopt;
}

void PoolSchedule::Started(std::size_t i) {
  if (states_.at(i) != State::kWaiting) return;
  states_[i] = State::kAtWork;
  ++at_work_;
}

void PoolSchedule::Ended(std::size_t i) {
  if (states_.at(i) == State::kEnded) return;
  if (states_[i] == State::kAtWork) --at_work_;
  states_[i] = State::kEnded;
}

std::size_t PoolSchedule::NotStarted() const {
  return static_cast<std::size_t>(std::count(states_.begin(), states_.end(), State::kWaiting));
}

std::optional<std::int64_t> TimeLeft(const std::vector<std::int64_t>& expected, const std::vector<std::int64_t>& spent,
                                     int ides) {
  std::vector<std::int64_t> known;
  for (std::int64_t duration : expected)
    if (duration >= 0) known.push_back(duration);
  if (known.empty()) return std::nullopt;
  std::nth_element(known.begin(), known.begin() + known.size() / 2, known.end());
  const std::int64_t median = known[known.size() / 2];
  std::int64_t left = 0;
  int count = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::int64_t duration = expected[i] >= 0 ? expected[i] : median;
    // One that runs longer than last time is taken to be nearly done, not done.
    left += std::max<std::int64_t>(duration - (i < spent.size() ? spent[i] : 0), 0);
    ++count;
  }
  // The work is shared by the IDEs, but never by more IDEs than applications are left.
  const int sharing = std::max(1, std::min(ides, count));
  return left / sharing;
}

std::string TimeLeftText(std::int64_t hundredths) {
  const std::int64_t seconds = (hundredths + 99) / 100;
  if (seconds < 60) return "about " + std::to_string(std::max<std::int64_t>(seconds, 1)) + " s left";
  const std::int64_t minutes = (seconds + 30) / 60;
  if (minutes < 60) return "about " + std::to_string(minutes) + " min left";
  return "about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min left";
}

std::string AtWorkText(const std::vector<std::string>& names, std::size_t room) {
  const std::size_t count = names.size();
  std::string text = std::to_string(count) + (count == 1 ? " IDE: " : " IDEs: ");
  for (std::size_t i = 0; i < count; ++i) {
    const std::string separator = i == 0 ? "" : ", ";
    const std::size_t after = count - i - 1;  // names still to come
    const std::size_t reserve = after == 0 ? 0 : (", +" + std::to_string(after)).size();
    if (text.size() + separator.size() + names[i].size() + reserve > room) {
      text += separator + "+" + std::to_string(count - i);
      break;
    }
    text += separator + names[i];
  }
  return text;
}

}  // namespace ide
