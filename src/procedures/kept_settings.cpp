// The window places and the DDE time-out kept between runs: see kept_settings.h.
#include "procedures/kept_settings.h"

#include <map>
#include <string>

#include "runtime/window.h"
#include "store/settings.h"

namespace procedures {
namespace {

constexpr const char* kTimeOut = "DDETimeOut";

std::map<std::string, std::int64_t> ReadSettings() {
  std::map<std::string, std::int64_t> values;
  store::Settings settings;
  settings.ReadAll(values);  // unreadable: empty, and the defaults hold
  return values;
}

// The value of `name` when it is kept and lies within `low`..`high`.
std::optional<int> Value(const std::map<std::string, std::int64_t>& values, const std::string& name, int low,
                         int high) {
  auto it = values.find(name);
  if (it == values.end() || it->second < low || it->second > high) return std::nullopt;
  return static_cast<int>(it->second);
}

}  // namespace

std::optional<rt::WindowPlacement> KeptPlacement(const rt::WindowDef& definition) {
  const auto values = ReadSettings();
  const std::string prefix = std::string(definition.id) + ".";
  constexpr int kLargest = 1 << 20;  // beyond any screen: a damaged value
  auto width = Value(values, prefix + "Width", 1, kLargest);
  auto height = Value(values, prefix + "Height", 1, kLargest);
  if (!width || !height) return std::nullopt;
  rt::WindowPlacement placement{.width = *width, .height = *height};
  auto x = Value(values, prefix + "X", -kLargest, kLargest);
  auto y = Value(values, prefix + "Y", -kLargest, kLargest);
  if (x && y) {
    placement.x = *x;
    placement.y = *y;
  }
  placement.maximised = Value(values, prefix + "Maximised", 1, 1).has_value();
  return placement;
}

std::optional<int> KeptTimeOut(int low, int high) { return Value(ReadSettings(), kTimeOut, low, high); }

void KeepTimeOut(int minutes) {
  store::Settings settings;
  settings.Write({{kTimeOut, minutes}});  // unwritten: kept again when the window closes
}

void KeepSettings(const rt::Window& window, bool with_position, std::optional<int> time_out) {
  const rt::WindowPlacement placement = window.Placement();
  std::map<std::string, std::int64_t> values;
  if (placement.width > 0 && placement.height > 0) {
    const std::string prefix = std::string(window.definition().id) + ".";
    values[prefix + "Width"] = placement.width;
    values[prefix + "Height"] = placement.height;
    values[prefix + "Maximised"] = placement.maximised ? 1 : 0;
    if (with_position && placement.x != rt::kDefault && placement.y != rt::kDefault) {
      values[prefix + "X"] = placement.x;
      values[prefix + "Y"] = placement.y;
    }
  }
  if (time_out) values[kTimeOut] = *time_out;
  if (values.empty()) return;
  store::Settings settings;
  settings.Write(values);  // a file that cannot be written keeps its last values: no harm done
}

}  // namespace procedures
