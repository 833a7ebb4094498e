// Translations between the runtime's portable terms and Win32's (see win32_mapping.h).
#include "runtime/win32/win32_mapping.h"

#include <algorithm>
#include <cctype>

#include "platform/code_page.h"

namespace rt::win32 {
namespace {

struct ButtonSet {
  int buttons;  // runtime flags, in the order the box shows them
  int order[3];
  UINT style;
};

// Win32's button sets, smallest first so that the first superset found is the tightest.
constexpr ButtonSet kButtonSets[] = {
    {ButtonOk, {ButtonOk, 0, 0}, MB_OK},
    {ButtonOk | ButtonCancel, {ButtonOk, ButtonCancel, 0}, MB_OKCANCEL},
    {ButtonYes | ButtonNo, {ButtonYes, ButtonNo, 0}, MB_YESNO},
    {ButtonRetry | ButtonCancel, {ButtonRetry, ButtonCancel, 0}, MB_RETRYCANCEL},
    {ButtonYes | ButtonNo | ButtonCancel, {ButtonYes, ButtonNo, ButtonCancel}, MB_YESNOCANCEL},
    {ButtonAbort | ButtonRetry | ButtonIgnore, {ButtonAbort, ButtonRetry, ButtonIgnore},
     MB_ABORTRETRYIGNORE},
};

const ButtonSet& SetFor(int buttons) {
  for (const ButtonSet& set : kButtonSets)
    if (set.buttons == buttons) return set;
  for (const ButtonSet& set : kButtonSets)
    if (buttons != 0 && (set.buttons & buttons) == buttons) return set;
  return kButtonSets[0];
}

}  // namespace

UINT MessageBoxStyle(const MessageBoxSpec& box) {
  const ButtonSet& set = SetFor(box.buttons);
  UINT style = set.style;
  switch (box.icon) {
    case BoxIcon::Stop: style |= MB_ICONHAND; break;
    case BoxIcon::Question: style |= MB_ICONQUESTION; break;
    case BoxIcon::Exclamation: style |= MB_ICONEXCLAMATION; break;
    case BoxIcon::Information: style |= MB_ICONASTERISK; break;
    case BoxIcon::None: break;
  }
  static constexpr UINT kDefaults[] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3};
  for (int i = 0; i < 3; ++i)
    if (box.default_button != 0 && set.order[i] == box.default_button) style |= kDefaults[i];
  return style;
}

int ButtonFromResult(int result) {
  switch (result) {
    case IDOK: return ButtonOk;
    case IDYES: return ButtonYes;
    case IDNO: return ButtonNo;
    case IDABORT: return ButtonAbort;
    case IDRETRY: return ButtonRetry;
    case IDIGNORE: return ButtonIgnore;
    case IDCANCEL: return ButtonCancel;
    default: return 0;
  }
}

std::wstring FileDialogFilter(std::string_view filter) {
  std::wstring out = Widen(filter);
  std::replace(out.begin(), out.end(), L'|', L'\0');
  // Every part ends with one NUL and the list with a second; a trailing "|" already gave one.
  if (out.empty() || out.back() != L'\0') out.push_back(L'\0');
  out.push_back(L'\0');
  return out;
}

HMENU BuildPopupMenu(const std::vector<PopupEntry>& entries) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return nullptr;
  UINT_PTR number = 0;
  for (const PopupEntry& e : entries) {
    if (e.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    ++number;
    std::wstring text = Widen(e.text);
    AppendMenuW(menu, MF_STRING | (e.greyed ? MF_GRAYED : 0u), number, text.c_str());
  }
  return menu;
}

int KeyCodeFromVirtualKey(unsigned virtual_key, bool ctrl, bool shift, bool alt) {
  bool is_character = (virtual_key >= '0' && virtual_key <= '9') ||
                      (virtual_key >= 'A' && virtual_key <= 'Z') || virtual_key == VK_SPACE ||
                      (virtual_key >= VK_OEM_1 && virtual_key <= VK_OEM_8) ||
                      (virtual_key >= VK_NUMPAD0 && virtual_key <= VK_DIVIDE);
  bool is_modifier = virtual_key == VK_SHIFT || virtual_key == VK_CONTROL || virtual_key == VK_MENU ||
                     (virtual_key >= VK_LSHIFT && virtual_key <= VK_RMENU) ||
                     virtual_key == VK_CAPITAL;
  if (virtual_key == 0 || virtual_key > 0xFF || is_modifier) return 0;
  // A character key with Ctrl or Alt produces no character, so it is reported as a key.
  if (is_character && !ctrl && !alt) return 0;
  return 0x100 + static_cast<int>(virtual_key) + (ctrl ? 0x100 : 0) + (shift ? 0x400 : 0) +
         (alt ? 0x800 : 0);
}

int TypedCharacter(WPARAM wide_character) {
  if (wide_character < 0x20 || wide_character == 0x7F || wide_character > 0xFFFF) return 0;
  std::string narrow;
  if (!platform::FromUtf16(std::u16string(1, static_cast<char16_t>(wide_character)), narrow) || narrow.size() != 1)
    return 0;
  return static_cast<unsigned char>(narrow[0]);
}

bool IsResourceReference(std::string_view name) { return !name.empty() && name[0] == '~'; }

std::string ResourceName(std::string_view name) {
  if (IsResourceReference(name)) name.remove_prefix(1);
  std::size_t slash = name.find_last_of("\\/:");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string out(name);
  for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

int TextLimit(std::string_view picture) {
  if (picture.size() < 3 || picture[0] != '@' || (picture[1] != 's' && picture[1] != 'S')) return 0;
  int n = 0;
  for (std::size_t i = 2; i < picture.size() && std::isdigit(static_cast<unsigned char>(picture[i]));
       ++i)
    n = n * 10 + (picture[i] - '0');
  return n;
}

std::wstring Widen(std::string_view text) {
  const std::u16string wide = platform::ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(std::wstring_view text) {
  std::string out;
  platform::FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), out);
  return out;
}

bool NarrowName(std::wstring_view text, std::string& out) {
  return platform::NameFromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()),
                                 out);
}

}  // namespace rt::win32
