// The pool's schedule and the batch's time left: see pool_schedule.h.
#include "ide/pool_schedule.h"

#include <algorithm>
#include <climits>
#include <map>

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

std::int64_t PoolSchedule::TimeLeft(const std::vector<std::int64_t>& expected, const std::vector<std::int64_t>& spent,
                                    int ides) const {
  // The schedule played forward: each IDE, folder and number is free from some moment on; the
  // applications waiting take, in the batch's order, the IDE that comes free first, once their
  // folder is free and every lower number has ended.
  std::vector<std::int64_t> ide_free(static_cast<std::size_t>(std::max(ides, 1)), 0);
  std::map<std::string, std::int64_t> folder_free;
  std::map<std::int64_t, std::int64_t> rank_end;
  auto place = [&](std::size_t i, std::int64_t start, std::int64_t duration) {
    auto ide = std::min_element(ide_free.begin(), ide_free.end());
    const std::int64_t end = std::max(start, *ide) + duration;
    *ide = end;
    folder_free[folders_[i]] = end;
    rank_end[ranks_[i]] = std::max(rank_end[ranks_[i]], end);
  };
  for (std::size_t i = 0; i < states_.size(); ++i) {
    if (states_[i] != State::kAtWork) continue;
    const std::int64_t duration = expected.at(i), at = spent.at(i);
    place(i, 0, duration > at ? duration - at : std::max<std::int64_t>(duration / 10, 1));
  }
  for (std::size_t i = 0; i < states_.size(); ++i) {
    if (states_[i] != State::kWaiting) continue;
    std::int64_t start = folder_free[folders_[i]];
    for (const auto& [rank, end] : rank_end)
      if (rank < ranks_[i]) start = std::max(start, end);
    place(i, start, expected.at(i));
  }
  return *std::max_element(ide_free.begin(), ide_free.end());
}

std::optional<std::int64_t> MedianOf(std::vector<std::int64_t> known) {
  if (known.empty()) return std::nullopt;
  std::nth_element(known.begin(), known.begin() + static_cast<std::ptrdiff_t>(known.size() / 2), known.end());
  return known[known.size() / 2];
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
