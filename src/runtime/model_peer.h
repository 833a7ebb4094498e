// A window's rendering in a backend that draws nothing (the headless backend of the tests, the
// console backend of nightjar.com): the window's timer as the tick it next falls due, the folder
// it watches, for the backend's own wait to act on, and its size in dialog units on a screen of
// kModelScreen.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/backend.h"
#include "runtime/resize_layout.h"

namespace platform {
class Clock;
}

namespace rt {

class Window;

// A folder as a watch compares it: without its final separators ("/" stays "/").
std::string FolderKey(std::string folder);

// The screen a window that is not drawn stands on, in dialog units.
inline constexpr Box kModelScreen{0, 0, 800, 600};

class ModelPeer : public WindowPeer {
 public:
  // Starts the window's timer with its definition's period.
  ModelPeer(Window& window, platform::Clock& clock);

  void Refresh(int) override {}
  void Focus(int) override {}
  // Nothing is shown, so a page is as long as the list's height would hold on screen: a header
  // line and rows of about ten dialog units each.
  int VisibleRows(int field) override;
  WindowPlacement Placement() const override;
  void SetTimer(int hundredths) override;
  // A folder that exists can be watched; "" stops watching.
  bool WatchDirectory(const std::string& path) override;

  Window& window() { return window_; }
  // Whether the window watches `folder` (final separators ignored).
  bool Watches(const std::string& folder) const;
  // The timer fired at `now`: the next tick falls due a period later, never at or before `now`
  // (a clock that ran past several periods gives one tick, not a pile).
  void TimerFired(std::int64_t now);
  // When the timer next falls due, in clock ticks; -1: no timer.
  std::int64_t next_tick() const { return next_tick_; }
  // The folder watched, as the program wrote it; "" = none.
  const std::string& watched() const { return watched_; }
  // The user resized a resizable window to `width` x `height` dialog units (made to fit between
  // its definition's size and the screen), or maximised it to the whole screen; the window hears
  // of it when its list's rows change. A window of fixed size keeps its size.
  void Resize(int width, int height);
  void Maximise();
 private:
  Window& window_;
  platform::Clock& clock_;
  std::int64_t period_ = 0;      // hundredths; 0: no timer
  std::int64_t next_tick_ = -1;
  std::string watched_;
  ResizeLayout layout_;
  WindowPlacement placement_;
};

}  // namespace rt
