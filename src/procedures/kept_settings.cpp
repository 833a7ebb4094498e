// The values kept between runs: see kept_settings.h.
#include "procedures/kept_settings.h"

#include "platform/code_page.h"
#include "procedures/ide_choice.h"
#include "runtime/list_format.h"
#include "runtime/window.h"
#include "store/settings.h"

namespace procedures {
namespace {

constexpr const char* kTimeOut = "DDETimeOut";
constexpr const char* kIdeProgram = "IDEProgram";  // kept in UTF-8
constexpr const char* kIdes = "IDEs";
constexpr int kLargest = 1 << 20;  // beyond any screen: a damaged value
// A column narrower than this cannot be taken hold of again; wider than this, it is damaged.
constexpr int kNarrowestColumn = 4;
constexpr int kWidestColumn = 4000;

std::string Prefix(const rt::WindowDef& definition) { return std::string(definition.id) + "."; }

// How many columns the window's first list has, or 0 when it has none.
std::size_t ListColumns(const rt::WindowDef& definition) {
  for (const rt::ControlDef& control : definition.controls)
    if (control.kind == rt::ControlKind::List && control.format)
      if (auto columns = rt::ParseListFormat(control.format)) return columns->size();
  return 0;
}

}  // namespace

KeptSettings KeptSettings::Read() {
  KeptSettings kept;
  store::Settings settings(store::kLastResultsFile, kWindowFileWait);
  settings.ReadAll(kept.values_, &kept.texts_);  // unreadable: empty, and the defaults hold
  kept.busy_ = settings.Busy();
  return kept;
}

std::optional<int> KeptSettings::Value(const std::string& name, int low, int high) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second < low || it->second > high) return std::nullopt;
  return static_cast<int>(it->second);
}

std::optional<rt::WindowPlacement> KeptSettings::Placement(const rt::WindowDef& definition) const {
  const std::string prefix = Prefix(definition);
  auto width = Value(prefix + "Width", 1, kLargest);
  auto height = Value(prefix + "Height", 1, kLargest);
  if (!width || !height) return std::nullopt;
  rt::WindowPlacement placement{.width = *width, .height = *height};
  // A position needs both of its values: one damaged leaves the place to the system.
  auto x = Value(prefix + "X", -kLargest, kLargest);
  auto y = Value(prefix + "Y", -kLargest, kLargest);
  if (x && y) {
    placement.x = *x;
    placement.y = *y;
  }
  placement.maximised = Value(prefix + "Maximised", 1, 1).has_value();
  // The columns, all of them or none.
  for (std::size_t i = 1; i <= ListColumns(definition); ++i) {
    auto column = Value(prefix + "Column" + std::to_string(i), kNarrowestColumn, kWidestColumn);
    if (!column) {
      placement.columns.clear();
      break;
    }
    placement.columns.push_back(*column);
  }
  return placement;
}

std::optional<int> KeptSettings::TimeOut(int low, int high) const { return Value(kTimeOut, low, high); }

std::optional<std::string> KeptSettings::IdeProgram() const {
  auto it = texts_.find(kIdeProgram);
  if (it == texts_.end()) return std::nullopt;
  std::string program;
  if (!platform::FromUtf8(it->second, program) || program.size() > kIdeProgramWidth) return std::nullopt;
  for (char c : program)
    if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
  return program;
}

std::optional<int> KeptSettings::Ides(int low, int high) const { return Value(kIdes, low, high); }

std::optional<rt::WindowPlacement> KeptPlacement(const rt::WindowDef& definition) {
  return KeptSettings::Read().Placement(definition);
}

std::optional<int> KeptTimeOut(int low, int high) { return KeptSettings::Read().TimeOut(low, high); }

void KeepTimeOut(int minutes) {
  store::Settings settings(store::kLastResultsFile, kWindowFileWait);
  settings.Write({{kTimeOut, minutes}});  // unwritten: kept again when the window closes
}

void KeepIdeProgram(const std::string& program) {
  store::Settings settings(store::kLastResultsFile, kWindowFileWait);
  settings.Write({}, {{kIdeProgram, platform::ToUtf8(program)}});  // unwritten: kept again at the close
}

void KeepIdes(int ides) {
  store::Settings settings(store::kLastResultsFile, kWindowFileWait);
  settings.Write({{kIdes, ides}});  // unwritten: kept again when the window closes
}

void KeepSettings(const rt::Window& window, bool with_position, std::optional<int> time_out,
                  const std::map<std::string, std::int64_t>& choices, const std::optional<KeptIde>& ide) {
  const rt::WindowPlacement placement = window.Placement();
  const std::string prefix = Prefix(window.definition());
  std::map<std::string, std::int64_t> values;
  if (placement.width > 0 && placement.height > 0) {
    values[prefix + "Width"] = placement.width;
    values[prefix + "Height"] = placement.height;
    values[prefix + "Maximised"] = placement.maximised ? 1 : 0;
    if (with_position && placement.x != rt::kDefault && placement.y != rt::kDefault) {
      values[prefix + "X"] = placement.x;
      values[prefix + "Y"] = placement.y;
    }
  }
  for (std::size_t i = 0; i < placement.columns.size(); ++i)
    values[prefix + "Column" + std::to_string(i + 1)] = placement.columns[i];
  for (const auto& [name, value] : choices) values[prefix + name] = value;
  if (time_out) values[kTimeOut] = *time_out;
  std::map<std::string, std::string> texts;
  if (ide) {
    values[kIdes] = ide->ides;
    texts[kIdeProgram] = platform::ToUtf8(ide->program);
  }
  if (values.empty()) return;
  store::Settings settings(store::kLastResultsFile, kWindowFileWait);
  settings.Write(values, texts);  // a file that cannot be written keeps its last values: no harm done
}

}  // namespace procedures
