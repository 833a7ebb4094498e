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

 private:
  enum class State { kWaiting, kAtWork, kEnded };
  std::vector<std::string> folders_;  // keys
  std::vector<std::int64_t> ranks_;   // order, or the largest for none
  std::vector<State> states_;
  int at_work_ = 0;
};

// About how long the applications not yet ended still take, in hundredths, shared by `ides` IDEs:
// `expected` holds each one's expected duration (its last one; -1 when not known), `spent` how long
// each has been at work (0 for those not started). One whose time is not known counts as the
// median of the known ones. None when no time is known at all.
std::optional<std::int64_t> TimeLeft(const std::vector<std::int64_t>& expected, const std::vector<std::int64_t>& spent,
                                     int ides);
// "about 4 min left", "about 40 s left", "about 1 h 5 min left".
std::string TimeLeftText(std::int64_t hundredths);
// "3 IDEs: INVOICE, LEDGER, PAYROLL" for the applications at work, within `room` characters: the
// names that do not fit are counted instead ("4 IDEs: PAYROLL, INVOICE, +2"), never cut.
std::string AtWorkText(const std::vector<std::string>& names, std::size_t room);

}  // namespace ide
