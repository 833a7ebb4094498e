// Properties every window definition must have, whatever its controls: they lie inside the window
// and apart from each other, their access keys are unique and lead where their prompt says, the Tab
// key walks them as they are laid out, and every button says what it does. Sizes the definitions
// leave to the platform are estimated from their texts, as a font of the window's size sets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

#include "procedures/activity_log_def.h"
#include "procedures/activity_record_def.h"
#include "procedures/application_form_def.h"
#include "procedures/main_def.h"
#include "runtime/definition.h"
#include "runtime/picture.h"

namespace procedures {
namespace {

using rt::ControlDef;
using K = rt::ControlKind;
using rt::WindowDef;

const WindowDef* const kWindows[] = {&kMainWindow, &kApplicationFormWindow, &kActivityLogWindow,
                                     &kActivityRecordWindow};

struct Box {
  double left, top, right, bottom;
  bool Across(const Box& o) const { return left < o.right && o.left < right; }  // share a column
  bool Along(const Box& o) const { return top < o.bottom && o.top < bottom; }   // share a row
  bool Holds(const Box& o) const { return left <= o.left && top <= o.top && o.right <= right && o.bottom <= bottom; }
};

// A caption's width in dialog units of the window's font: four an average character, narrow
// letters two, capitals five, m and w six.
double TextUnits(const char* text) {
  double units = 0;
  for (char ch : rt::StripAmpersands(text ? text : ""))
    units += std::string_view("iljtfrI.,:;'!|() ").find(ch) != std::string_view::npos ? 2
             : std::string_view("mwMW").find(ch) != std::string_view::npos            ? 6
             : std::isupper(static_cast<unsigned char>(ch))                            ? 5
                                                                                       : 4;
  return units;
}

// Where the control stands, its natural size estimated where the definition leaves it open.
Box BoxOf(const WindowDef& window, const ControlDef& c) {
  const double of_window = window.font.points > 0 ? window.font.points : 8;  // 8: the platform's
  const double scale = c.font.face && c.font.points > 0 ? c.font.points / of_window : 1;
  const double text = TextUnits(c.text) * scale;
  const int chars = rt::PictureWidth(c.picture ? c.picture : "");
  double w = 32, h = 32;
  if (c.kind == K::Prompt || c.kind == K::String) w = text + 1, h = 8 * scale;
  if (c.kind == K::Check) w = text + 12, h = std::max(10.0, 8 * scale + 2);
  if (c.kind == K::Button) w = text + 8 + (c.icon ? 12 : 0), h = 14;
  if (c.kind == K::Entry || c.kind == K::Spin)
    w = std::min(chars > 0 ? chars * 4.0 + 4 : 40.0, window.w - c.x - 6.0), h = 12;
  if (c.w != rt::kDefault) w = c.w;
  if (c.h != rt::kDefault) h = c.h;
  return {double(c.x), double(c.y), c.x + w, c.y + h};
}

// A hidden one counts: it takes its place in the Tab order when it is shown.
bool Focusable(const ControlDef& c) {
  return c.kind == K::List || c.kind == K::Button || c.kind == K::Check || c.kind == K::Spin || c.kind == K::Entry;
}

// The access key of a caption ("&Gen && Make" -> 'G'), or 0.
char AccessKey(const char* text) {
  for (const char* p = text ? text : ""; *p; ++p)
    if (*p == '&' && *++p != '&') return static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return 0;
}

// The group box holding `field`, or 0.
int GroupOf(const WindowDef& window, int field) {
  for (int g = 1; g < field; ++g)
    if (window.control(g).kind == K::Group && field <= g + window.control(g).members) return g;
  return 0;
}

// The four properties, window by window; a failure names the window and its controls.
TEST(WindowDefinitions, ControlsFitApartHaveUniqueKeysTabAsLaidOutAndButtonsSayWhatTheyDo) {
  for (const WindowDef* window : kWindows) {
    const int n = window->ControlCount();
    auto box = [&](int field) { return BoxOf(*window, window->control(field)); };
    auto name = [&](int field) { return std::string(window->id) + " " + window->control(field).name; };
    const Box frame{0, 0, double(window->w), double(window->h)};
    std::map<char, int> key_owner;
    for (int a = 1; a <= n; ++a) {
      const ControlDef& c = window->control(a);
      // Inside the window, inside its group, apart from the others.
      EXPECT_TRUE(frame.Holds(box(a))) << name(a) << " reaches out of its window";
      const int group = GroupOf(*window, a);
      EXPECT_TRUE(group == 0 || box(group).Holds(box(a))) << name(a) << " leaves its group";
      for (int b = a + 1; b <= n; ++b) {
        const bool overlap = box(a).Across(box(b)) && box(a).Along(box(b));
        EXPECT_FALSE(overlap && GroupOf(*window, b) != a) << name(a) << " and " << name(b) << " overlap";
        // Tab walks in field order: of two in one column the upper first, of two on one row the left.
        if (!Focusable(c) || !Focusable(window->control(b))) continue;
        if (box(a).Across(box(b)) && !box(a).Along(box(b))) {
          EXPECT_LT(box(a).top, box(b).top) << name(b) << " is above " << name(a);
        } else if (box(a).Along(box(b)) && !box(a).Across(box(b))) {
          EXPECT_LT(box(a).left, box(b).left) << name(b) << " is left of " << name(a);
        }
      }
      // A unique access key; a prompt's moves the focus to the next control, the field it labels.
      if (const char key = AccessKey(c.text)) {
        auto [it, fresh] = key_owner.emplace(key, a);
        EXPECT_TRUE(fresh) << name(a) << " takes " << key << " from " << name(it->second);
        if (c.kind == K::Prompt) {
          int next = a + 1;
          while (next <= n && !Focusable(window->control(next))) ++next;
          std::string labelled = c.name;
          labelled.erase(labelled.rfind(":Prompt"));
          EXPECT_EQ(next <= n ? window->control(next).name : "(nothing)", labelled) << name(a);
        }
      }
      // A button says what it does, by its label or its tip.
      const std::string label = rt::StripAmpersands(c.text ? c.text : "");
      const bool says = std::any_of(label.begin(), label.end(), [](unsigned char ch) { return std::isalnum(ch); });
      EXPECT_TRUE(c.kind != K::Button || says || (c.tooltip && *c.tooltip)) << name(a) << " says nothing";
    }
  }
}

}  // namespace
}  // namespace procedures
