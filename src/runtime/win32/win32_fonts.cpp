// Fonts for the Win32 backend (see win32_fonts.h).
#include "runtime/win32/win32_fonts.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "runtime/win32/win32_mapping.h"

namespace rt::win32 {
namespace {

// Faces tried in turn when a definition names a face that is not installed. Wine ships Tahoma,
// "MS Sans Serif" and "Small Fonts"; Linux systems add the Liberation and DejaVu families.
const char* const kSansSubstitutes[] = {"Arial", "Liberation Sans", "Arimo", "Helvetica",
                                        "Microsoft Sans Serif", "Tahoma", "DejaVu Sans",
                                        "MS Sans Serif"};
const char* const kSerifSubstitutes[] = {"Times New Roman", "Liberation Serif", "Tinos",
                                         "DejaVu Serif", "MS Serif", "Tahoma"};
const char* const kMonoSubstitutes[] = {"Courier New", "Liberation Mono", "Cousine",
                                        "DejaVu Sans Mono", "Courier", "Fixedsys"};
const char* const kSmallSubstitutes[] = {"Small Fonts", "Tahoma", "MS Sans Serif", "DejaVu Sans"};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

bool Contains(const std::string& haystack, const char* needle) {
  return haystack.find(needle) != std::string::npos;
}

int CALLBACK FoundFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

struct ScreenDc {
  HDC dc = GetDC(nullptr);
  ~ScreenDc() { ReleaseDC(nullptr, dc); }
};

}  // namespace

bool FaceInstalled(std::string_view face) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  std::wstring wide = Widen(face);
  std::copy(wide.begin(), wide.end(), lf.lfFaceName);
  bool found = false;
  ScreenDc screen;
  EnumFontFamiliesExW(screen.dc, &lf, FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

LOGFONTW DialogLogFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    return metrics.lfMessageFont;
  LOGFONTW lf{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  return lf;
}

std::string ResolveFace(std::string_view face) {
  if (FaceInstalled(face)) return std::string(face);
  std::string lower = Lower(face);
  std::vector<const char*> candidates;
  auto add = [&](const auto& list) { candidates.insert(candidates.end(), std::begin(list), std::end(list)); };
  if (Contains(lower, "small")) add(kSmallSubstitutes);
  if (Contains(lower, "courier") || Contains(lower, "mono") || Contains(lower, "fixed") ||
      Contains(lower, "console"))
    add(kMonoSubstitutes);
  else if ((Contains(lower, "times") || Contains(lower, "serif")) && !Contains(lower, "sans"))
    add(kSerifSubstitutes);
  add(kSansSubstitutes);
  for (const char* candidate : candidates)
    if (FaceInstalled(candidate)) return candidate;
  return Narrow(DialogLogFont().lfFaceName);
}

DialogBase MeasureDialogBase(HFONT font) {
  static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  ScreenDc screen;
  HGDIOBJ old = SelectObject(screen.dc, font);
  SIZE extent{};
  GetTextExtentPoint32W(screen.dc, kAlphabet, 52, &extent);
  TEXTMETRICW tm{};
  GetTextMetricsW(screen.dc, &tm);
  SelectObject(screen.dc, old);
  DialogBase base;
  base.x = std::max(1, static_cast<int>((extent.cx + 26) / 52));
  base.y = std::max(1, static_cast<int>(tm.tmHeight));
  return base;
}

SIZE MeasureText(HFONT font, std::string_view text) {
  ScreenDc screen;
  HGDIOBJ old = SelectObject(screen.dc, font);
  std::wstring wide = Widen(text);
  RECT r{0, 0, 0, 0};
  TEXTMETRICW tm{};
  GetTextMetricsW(screen.dc, &tm);
  if (!wide.empty())
    DrawTextW(screen.dc, wide.c_str(), static_cast<int>(wide.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_LEFT | DT_TOP);
  SelectObject(screen.dc, old);
  return SIZE{r.right - r.left, std::max<LONG>(r.bottom - r.top, tm.tmHeight)};
}

FontCache::~FontCache() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

HFONT FontCache::Get(const FontSpec& font) {
  LOGFONTW dialog = DialogLogFont();
  int weight = font.face ? font.weight : (font.weight != 400 ? font.weight : int(dialog.lfWeight));
  int height = dialog.lfHeight;
  if (font.points > 0) {
    ScreenDc screen;
    height = -MulDiv(font.points, GetDeviceCaps(screen.dc, LOGPIXELSY), 72);
  }
  // Keyed by the face asked for, so that the search for a substitute runs once per face.
  auto key = std::make_tuple(std::string(font.face ? font.face : ""), height, weight);
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  std::string face = font.face ? ResolveFace(font.face) : Narrow(dialog.lfFaceName);
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  std::wstring wide = Widen(face);
  std::copy_n(wide.begin(), std::min<std::size_t>(wide.size(), LF_FACESIZE - 1), lf.lfFaceName);
  HFONT made = CreateFontIndirectW(&lf);
  if (!made) made = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_[key] = made;
  return made;
}

}  // namespace rt::win32
