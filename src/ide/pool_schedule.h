// Which application a free IDE of a batch takes next, and about how long a batch still has.
// BatchOperations asks it each time an IDE is free; the rules live here so that they can be
// tested on their own: one folder's applications never at once (they share its dictionary and
// outputs), and build order numbers as barriers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace store {
class PathKeys;
}

namespace ide {

class PoolSchedule {
 public:
  struct Item {
    std::string folder;       // compared by its key (store::PathKeys): one folder, one key
    std::int32_t order = 0;   // build order number; 0 = none (after every numbered one)
  };

  // `items` in the batch's order: the numbered ones by their numbers, then the rest. `keys` maps a
  // folder's long and short spellings to one key (give it the batch's lister); without it, folders
  // are keyed by their text alone.
  explicit PoolSchedule(const std::vector<Item>& items, store::PathKeys* keys = nullptr);

  // The first application, in the batch's order, that may start now: not started yet, no
  // application of its folder at work, and every application with a lower order number ended
  // (the unnumbered ones wait for all the numbered ones). None when every one has started or
  // what is left must wait for one at work.
  std::optional<std::size_t> Next() const;
  void Started(std::size_t i);
  void Ended(std::size_t i);
  // Applications at work (started, not ended) and not started yet.
  int AtWork() const { return at_work_; }
  std::size_t NotStarted() const;

  // About how long the applications not yet ended still take, in hundredths, with `ides` IDEs
  // sharing them under this schedule's rules: one folder's applications one after another, and
  // every number's applications after the lower numbers'. `expected` holds each one's duration,
  // `spent` how long each at work has been at it. One past its time is taken to need a tenth of
  // that time more, so that the estimate never ends before the work does.
  std::int64_t TimeLeft(const std::vector<std::int64_t>& expected, const std::vector<std::int64_t>& spent,
                        int ides) const;

 private:
  enum class State { kWaiting, kAtWork, kEnded };
  std::vector<std::string> folders_;  // keys
  std::vector<std::int64_t> ranks_;   // order, or the largest for none
  std::vector<State> states_;
  int at_work_ = 0;
};

// The median of `known` durations (the upper one of an even count); none when there is none. The
// one stand-in for an application whose time is not known, in the time left and in the shards.
std::optional<std::int64_t> MedianOf(std::vector<std::int64_t> known);

// "about 4 min left", "about 40 s left", "about 1 h 5 min left".
std::string TimeLeftText(std::int64_t hundredths);
// "3 IDEs: INVOICE, LEDGER, PAYROLL" for the applications at work, within `room` characters: the
// names that do not fit are counted instead ("4 IDEs: PAYROLL, INVOICE, +2"), never cut.
std::string AtWorkText(const std::vector<std::string>& names, std::size_t room);

}  // namespace ide
