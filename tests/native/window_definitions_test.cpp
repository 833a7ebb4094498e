// Properties every window definition must have, whatever its controls: they lie inside the window
// and apart from each other, their access keys are unique and lead where their prompt says, the Tab
// key walks them as they are laid out, and every button says what it does. Sizes the definitions
// leave to the platform are estimated from their texts, as a font of the window's size sets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "procedures/activity_log_def.h"
#include "procedures/activity_record_def.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"
#include "runtime/definition.h"
#include "runtime/picture.h"

namespace procedures {
namespace {

using rt::ControlDef;
using rt::ControlKind;
using rt::kDefault;
using rt::WindowDef;

const WindowDef* const kWindows[] = {&kMainWindow, &kApplicationFormWindow, &kActivityLogWindow,
                                     &kActivityRecordWindow};

struct Box {
  double left, top, right, bottom;
  bool Overlaps(const Box& o) const { return Across(o) && Along(o); }
  bool Across(const Box& o) const { return left < o.right && o.left < right; }  // share a column
  bool Along(const Box& o) const { return top < o.bottom && o.top < bottom; }   // share a row
  bool Holds(const Box& o) const {
    return left <= o.left && top <= o.top && o.right <= right && o.bottom <= bottom;
  }
};

// The width of a caption in dialog units of a font of the window's size: four units make an
// average character, narrow letters take less and capitals more.
double TextUnits(const char* text) {
  double units = 0;
  const std::string shown = rt::StripAmpersands(text ? text : "");
  for (unsigned char ch : shown) {
    if (std::string_view("iljtfrI.,:;'!|() ").find(static_cast<char>(ch)) != std::string_view::npos) units += 2;
    else if (std::string_view("mwMW").find(static_cast<char>(ch)) != std::string_view::npos) units += 6;
    else if (std::isupper(ch)) units += 5;
    else units += 4;
  }
  return units;
}

// A control's font size against its window's (8 points when the window leaves it to the platform).
double Scale(const WindowDef& window, const ControlDef& control) {
  const double of_window = window.font.points > 0 ? window.font.points : 8;
  return control.font.face && control.font.points > 0 ? control.font.points / of_window : 1.0;
}

// Where the control stands, its natural size estimated where the definition leaves it open.
Box BoxOf(const WindowDef& window, const ControlDef& c) {
  const double scale = Scale(window, c);
  double w = 0, h = 0;
  switch (c.kind) {
    case ControlKind::Prompt:
    case ControlKind::String: w = TextUnits(c.text) * scale + 1, h = 8 * scale; break;
    case ControlKind::Check: w = TextUnits(c.text) * scale + 12, h = std::max(10.0, 8 * scale + 2); break;
    case ControlKind::Button: w = TextUnits(c.text) * scale + 8 + (c.icon ? 12 : 0), h = 14; break;
    case ControlKind::Entry:
    case ControlKind::Spin: {
      const int chars = rt::PictureWidth(c.picture ? c.picture : "");
      w = std::min(chars > 0 ? chars * 4.0 + 4 : 40.0, static_cast<double>(window.w - c.x - 6));
      h = 12;
      break;
    }
    default: w = 32, h = 32; break;
  }
  if (c.w != kDefault) w = c.w;
  if (c.h != kDefault) h = c.h;
  return {static_cast<double>(c.x), static_cast<double>(c.y), c.x + w, c.y + h};
}

bool Focusable(const ControlDef& c) {
  switch (c.kind) {
    case ControlKind::List:
    case ControlKind::Button:
    case ControlKind::Check:
    case ControlKind::Spin:
    case ControlKind::Entry: return true;  // a hidden one takes its place when it is shown
    default: return false;
  }
}

// The access key of a caption ("&Gen && Make" -> 'G'), or 0.
char AccessKey(const char* text) {
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p != '&') continue;
    if (p[1] == '&') {
      ++p;
      continue;
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(p[1])));
  }
  return 0;
}

std::string Name(const WindowDef& window, int field) {
  return std::string(window.id) + " " + window.control(field).name;
}

// The group box holding `field`, or 0.
int GroupOf(const WindowDef& window, int field) {
  for (int g = 1; g < field; ++g)
    if (window.control(g).kind == ControlKind::Group && field <= g + window.control(g).members) return g;
  return 0;
}

TEST(WindowDefinitions, EveryControlLiesInsideItsWindowAndApartFromTheOthers) {
  for (const WindowDef* window : kWindows) {
    const Box frame{0, 0, static_cast<double>(window->w), static_cast<double>(window->h)};
    for (int a = 1; a <= window->ControlCount(); ++a) {
      const Box box = BoxOf(*window, window->control(a));
      EXPECT_TRUE(frame.Holds(box)) << Name(*window, a) << " reaches out of its window";
      if (int group = GroupOf(*window, a)) {
        EXPECT_TRUE(BoxOf(*window, window->control(group)).Holds(box)) << Name(*window, a) << " leaves its group";
      }
      for (int b = a + 1; b <= window->ControlCount(); ++b) {
        if (GroupOf(*window, b) == a) continue;  // a group box holds its members
        EXPECT_FALSE(box.Overlaps(BoxOf(*window, window->control(b))))
            << Name(*window, a) << " and " << window->control(b).name << " overlap";
      }
    }
  }
}

// A prompt's access key moves the focus to the control after it, which must be the field it labels.
TEST(WindowDefinitions, AccessKeysAreUniqueAndAPromptsKeyLeadsToItsField) {
  for (const WindowDef* window : kWindows) {
    std::map<char, int> owner;
    for (int field = 1; field <= window->ControlCount(); ++field) {
      const ControlDef& c = window->control(field);
      const char key = AccessKey(c.text);
      if (key == 0) continue;
      auto [it, fresh] = owner.emplace(key, field);
      EXPECT_TRUE(fresh) << Name(*window, field) << " takes " << key << " from " << window->control(it->second).name;
      if (c.kind != ControlKind::Prompt) continue;
      int next = field + 1;
      while (next <= window->ControlCount() && !Focusable(window->control(next))) ++next;
      std::string labelled = c.name;
      labelled.erase(labelled.rfind(":Prompt"));
      ASSERT_LE(next, window->ControlCount()) << Name(*window, field) << " leads nowhere";
      EXPECT_EQ(window->control(next).name, labelled) << Name(*window, field);
    }
  }
}

// Tab walks the controls in field order: of two controls in one column the upper one comes
// first, of two on one row the left one.
TEST(WindowDefinitions, TabOrderFollowsTheLayout) {
  for (const WindowDef* window : kWindows) {
    for (int a = 1; a <= window->ControlCount(); ++a) {
      if (!Focusable(window->control(a))) continue;
      const Box first = BoxOf(*window, window->control(a));
      for (int b = a + 1; b <= window->ControlCount(); ++b) {
        if (!Focusable(window->control(b))) continue;
        const Box then = BoxOf(*window, window->control(b));
        if (first.Across(then) && !first.Along(then)) {
          EXPECT_LT(first.top, then.top) << Name(*window, b) << " is above " << window->control(a).name;
        }
        if (first.Along(then) && !first.Across(then)) {
          EXPECT_LT(first.left, then.left) << Name(*window, b) << " is left of " << window->control(a).name;
        }
      }
    }
  }
}

TEST(WindowDefinitions, EveryButtonHasALabelOrATip) {
  for (const WindowDef* window : kWindows)
    for (int field = 1; field <= window->ControlCount(); ++field) {
      const ControlDef& c = window->control(field);
      if (c.kind != ControlKind::Button) continue;
      const std::string label = rt::StripAmpersands(c.text ? c.text : "");
      const bool says = std::any_of(label.begin(), label.end(), [](unsigned char ch) { return std::isalnum(ch); });
      EXPECT_TRUE(says || (c.tooltip && *c.tooltip)) << Name(*window, field) << " says nothing of what it does";
    }
}

}  // namespace
}  // namespace procedures
