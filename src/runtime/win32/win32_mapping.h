// Translations between the runtime's portable terms and Win32's: message-box flags and results,
// file-dialog filters, popup menus, key codes, resource names and 8-bit text. Pure functions, so
// the Windows tests check them without putting anything on the screen. Used by the Win32 backend.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/backend.h"
#include "runtime/runtime.h"

namespace rt::win32 {

// The MessageBox style (buttons, icon, default button) for a runtime message box. A button set
// that Win32 has no box for gets the smallest Win32 set holding all its buttons (Ok when none).
UINT MessageBoxStyle(const MessageBoxSpec& box);
// The runtime's button flag for a MessageBox result (IDOK -> ButtonOk, ...); 0 for anything else.
int ButtonFromResult(int result);

// "Text files|*.txt|All|*.*" -> "Text files\0*.txt\0All\0*.*\0\0" (the terminating pair included).
std::wstring FileDialogFilter(std::string_view filter);

// A popup menu for the entries of a popup definition. Each entry's command id is its 1-based
// number, separators not counted; greyed entries are MF_GRAYED. The caller destroys the menu.
HMENU BuildPopupMenu(const std::vector<PopupEntry>& entries);

// The runtime's key code for a virtual key (Enter, arrows, Insert, F-keys, ...): 0x100 plus the
// virtual key, plus 0x100 with Ctrl, 0x400 with Shift and 0x800 with Alt. Character keys are
// reported through WM_CHAR instead and give 0 here.
int KeyCodeFromVirtualKey(unsigned virtual_key, bool ctrl, bool shift, bool alt);

// The runtime's code for a character typed (the wParam of WM_CHAR): its 8-bit code in the
// program's code page, which is also the character it produced. 0 for control characters and for
// characters that the code page has no single byte for.
int TypedCharacter(WPARAM wide_character);

// The resource name under which the program carries an icon or bitmap named in a definition or
// an icon list: "COFFEE2.ICO" stays as it is; "~c:\dir\check.ico" (a leading "~" selects the
// program's own resource) becomes "CHECK.ICO". Resource names are compared without letter case.
std::string ResourceName(std::string_view name);
// True when `name` selects the program's own resource ("~..."), false when it may be a file.
bool IsResourceReference(std::string_view name);

// "@s30" -> 30: the most characters an entry with this picture takes; 0 when unlimited.
int TextLimit(std::string_view picture);

// 8-bit text of the program (the records' code page, whatever the system's ANSI code page is) to and
// from the UTF-16 of the W functions, through the platform's one converter: Narrow gives "?" for a
// character the code page lacks, fit only for what is shown; NarrowName takes a name the user
// gives (an entry, the open-file dialog) as every way in does: by its short form where the code page
// cannot hold it, false when it can be held neither way (`out` then holds it with "?").
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
bool NarrowName(std::wstring_view text, std::string& out);

}  // namespace rt::win32
