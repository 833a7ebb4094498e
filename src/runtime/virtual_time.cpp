// The alarms of virtual time: see virtual_time.h.
#include "runtime/virtual_time.h"

#include <algorithm>

namespace rt {

void Alarms::At(std::int64_t ticks, std::function<void()> action) {
  auto after = std::upper_bound(alarms_.begin(), alarms_.end(), ticks,
                                [](std::int64_t t, const Alarm& alarm) { return t < alarm.ticks; });
  alarms_.insert(after, Alarm{ticks, std::move(action)});
}

void Alarms::RunNext(platform::VirtualClock& clock) {
  // Taken off first: the action may set alarms of its own.
  Alarm next = std::move(alarms_.front());
  alarms_.erase(alarms_.begin());
  if (next.ticks > clock.Ticks()) clock.Advance(next.ticks - clock.Ticks());
  next.action();
}

}  // namespace rt
