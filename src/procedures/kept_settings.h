// The window places, the list's column widths, the DDE time-out, the IDE's program, how many IDEs
// make applications at once and the main window's batch choices that Main and ViewEvents keep
// between runs, in the settings table beside the records.
// Nothing here stops the program or freezes a window: what cannot be read, or makes no sense, is
// left out and the defaults hold; a file that another program holds is waited for only briefly;
// a file that cannot be written keeps what it had.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "runtime/resize_layout.h"

namespace rt {
class Window;
struct WindowDef;
}  // namespace rt

namespace procedures {

// How long a window waits for another program's lock on the file of kept settings and results,
// in milliseconds: a write of another station ends well within it, and a window that opens or
// closes is not held up for long by a program that keeps the file locked.
inline constexpr int kWindowFileWait = 300;

// The kept values, read once.
class KeptSettings {
 public:
  // Reads them, waiting at most kWindowFileWait for another program's lock.
  static KeptSettings Read();

  // True when another program held the file past the wait, so that nothing was read.
  bool Busy() const { return busy_; }
  // Where window `definition` stood when it last closed, with its list's column widths; nullopt
  // when no size was kept. The backend fits it to the screen.
  std::optional<rt::WindowPlacement> Placement(const rt::WindowDef& definition) const;
  // The value kept as `name`, when it lies within `low`..`high`.
  std::optional<int> Value(const std::string& name, int low, int high) const;
  // The DDE time-out kept last, in minutes, when it lies within `low`..`high`.
  std::optional<int> TimeOut(int low, int high) const;
  // The IDE's program kept last, in the code page ("" none), when it is a text the window's field
  // could have held.
  std::optional<std::string> IdeProgram() const;
  // How many IDEs make applications at once, kept last, when it lies within `low`..`high`.
  std::optional<int> Ides(int low, int high) const;

 private:
  std::map<std::string, std::int64_t> values_;
  std::map<std::string, std::string> texts_;
  bool busy_ = false;
};

// The IDE the batches use: its program ("" any) and how many at once.
struct KeptIde {
  std::string program;
  int ides = 1;
};

std::optional<rt::WindowPlacement> KeptPlacement(const rt::WindowDef& definition);
std::optional<int> KeptTimeOut(int low, int high);
// Keeps where `window` stands now (its position only when `with_position`; its size, whether it
// is maximised and its list's column widths always), when given the DDE time-out and the IDE,
// and `choices` by their names after the window's ("MAIN$WINDOW.OnlyChanged").
void KeepSettings(const rt::Window& window, bool with_position, std::optional<int> time_out = std::nullopt,
                  const std::map<std::string, std::int64_t>& choices = {},
                  const std::optional<KeptIde>& ide = std::nullopt);
// Keep the DDE time-out, the IDE's program and the number of IDEs at once, as the user changes
// them.
void KeepTimeOut(int minutes);
void KeepIdeProgram(const std::string& program);
void KeepIdes(int ides);

}  // namespace procedures
