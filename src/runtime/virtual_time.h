// Virtual time as the backends that draw nothing keep it for tests (the headless backend, the
// console backend's virtual waiter): the moment their clocks start at, and the queue of actions
// that run when virtual time reaches them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/clock.h"

namespace rt {

// 1 March 2024 (day 81,513) at 9:00 AM.
inline constexpr std::int32_t kVirtualStartDay = 81513;
inline constexpr std::int32_t kVirtualStartTime = 9 * 360000;
inline platform::VirtualClock MakeVirtualClock() { return {kVirtualStartDay, kVirtualStartTime}; }

// Actions due at ticks of a virtual clock, kept in order of time, and of setting within one tick.
class Alarms {
 public:
  void At(std::int64_t ticks, std::function<void()> action);
  // Whether an alarm falls due at or before `ticks`.
  bool DueBy(std::int64_t ticks) const { return !alarms_.empty() && alarms_.front().ticks <= ticks; }
  // Moves `clock` on to the earliest alarm's tick (an alarm already due runs at once) and runs it.
  // Precondition: an alarm is set.
  void RunNext(platform::VirtualClock& clock);
  bool empty() const { return alarms_.empty(); }

 private:
  struct Alarm {
    std::int64_t ticks;
    std::function<void()> action;
  };
  std::vector<Alarm> alarms_;
};

}  // namespace rt
