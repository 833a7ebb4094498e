// Fonts for the Win32 backend: a definition's FontSpec turned into an HFONT, with a substitute
// face when the named one is not installed, and the measures that lay out a window (dialog base
// units, natural text sizes). Used by the window peers; the tests check the substitutes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include "runtime/definition.h"

namespace rt::win32 {

// Pixels per dialog unit of a font: one horizontal unit is a quarter of the average character
// width, one vertical unit an eighth of the character height.
struct DialogBase {
  int x = 4;  // average character width in pixels
  int y = 8;  // character height in pixels
  int ToPixelsX(int units) const { return MulDiv(units, x, 4); }
  int ToPixelsY(int units) const { return MulDiv(units, y, 8); }
};

// True when a font family of that name is installed.
bool FaceInstalled(std::string_view face);

// The installed face to use for `face`: the face itself when installed, else the first installed
// substitute of a similar design (a sans face for a sans face, and so on), else the platform's
// dialog face. Never empty.
std::string ResolveFace(std::string_view face);

// The platform's font for dialogs (the message font of the desktop).
LOGFONTW DialogLogFont();

// The average character width and height of `font`, measured the usual way (the extent of
// "A".."Z" "a".."z" divided by 52, rounded; tmHeight).
DialogBase MeasureDialogBase(HFONT font);

// The size that `text` (with "&" access-key marks) takes in `font` on one line.
SIZE MeasureText(HFONT font, std::string_view text);

// Owns the fonts of all open windows; a font lives as long as the cache, so that windows opened
// again reuse theirs.
class FontCache {
 public:
  FontCache() = default;
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;
  ~FontCache();

  // The font of `font`: face nullptr means the platform's dialog font; points 0 means the dialog
  // font's size. Colour is not part of a font.
  HFONT Get(const FontSpec& font);

 private:
  std::map<std::tuple<std::string, int, int>, HFONT> fonts_;
};

}  // namespace rt::win32
