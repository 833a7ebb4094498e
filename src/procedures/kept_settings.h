// The window places and the DDE time-out that Main and ViewEvents keep between runs, in the
// settings table beside the records. Nothing here stops the program: what cannot be read, or
// makes no sense, is left out and the defaults hold; a file that cannot be written keeps what it
// had.
#pragma once

#include <cstdint>
#include <optional>

#include "runtime/resize_layout.h"

namespace rt {
class Window;
struct WindowDef;
}  // namespace rt

namespace procedures {

// Where window `definition` stood when it last closed; nullopt when no size was kept. The
// backend fits it to the screen.
std::optional<rt::WindowPlacement> KeptPlacement(const rt::WindowDef& definition);
// The DDE time-out kept last, in minutes; nullopt when none was kept or it lies outside
// `low`..`high`.
std::optional<int> KeptTimeOut(int low, int high);
// Keeps where `window` stands now (its position only when `with_position`; its size and whether
// it is maximised always) and, when given, the DDE time-out.
void KeepSettings(const rt::Window& window, bool with_position, std::optional<int> time_out = std::nullopt);
// Keeps the DDE time-out at once, as the user changes it.
void KeepTimeOut(int minutes);

}  // namespace procedures
