// Tests of the Win32 backend's translations: message-box styles and results, file-dialog filters,
// popup menus, key codes, resource names and font substitutes. Nothing is shown on the screen.
#include <gtest/gtest.h>

#include <string>

#include "runtime/event.h"
#include "runtime/win32/win32_fonts.h"
#include "runtime/win32/win32_mapping.h"

namespace rt::win32 {
namespace {

using namespace std::string_literals;

struct BoxCase {
  int buttons;
  BoxIcon icon;
  int default_button;
  UINT style;
};

TEST(Win32MessageBox, ButtonSetsIconsAndDefaultsMapToMessageBoxStyles) {
  const BoxCase cases[] = {
      {ButtonOk, BoxIcon::None, 0, MB_OK},
      {ButtonOk, BoxIcon::Exclamation, 0, MB_OK | MB_ICONEXCLAMATION},
      {ButtonYes | ButtonNo, BoxIcon::Question, 0, MB_YESNO | MB_ICONQUESTION},
      {ButtonYes | ButtonNo, BoxIcon::Question, ButtonNo, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2},
      {ButtonYes | ButtonNo | ButtonCancel, BoxIcon::Stop, ButtonCancel,
       MB_YESNOCANCEL | MB_ICONHAND | MB_DEFBUTTON3},
      {ButtonOk | ButtonCancel, BoxIcon::Information, ButtonOk, MB_OKCANCEL | MB_ICONASTERISK},
      {ButtonRetry | ButtonCancel, BoxIcon::Stop, ButtonCancel,
       MB_RETRYCANCEL | MB_ICONHAND | MB_DEFBUTTON2},
      {ButtonAbort | ButtonRetry | ButtonIgnore, BoxIcon::Exclamation, ButtonIgnore,
       MB_ABORTRETRYIGNORE | MB_ICONEXCLAMATION | MB_DEFBUTTON3},
      // Sets Win32 has no box for get the tightest box holding their buttons.
      {ButtonCancel, BoxIcon::None, 0, MB_OKCANCEL},
      {ButtonNo | ButtonCancel, BoxIcon::None, ButtonNo, MB_YESNOCANCEL | MB_DEFBUTTON2},
      {0, BoxIcon::None, 0, MB_OK},
  };
  for (const BoxCase& c : cases) {
    MessageBoxSpec box;
    box.buttons = c.buttons;
    box.icon = c.icon;
    box.default_button = c.default_button;
    EXPECT_EQ(MessageBoxStyle(box), c.style)
        << "With buttons " << c.buttons << ", icon " << static_cast<int>(c.icon) << ", default "
        << c.default_button;
  }
}

TEST(Win32MessageBox, ResultsMapBackToButtonFlags) {
  EXPECT_EQ(ButtonFromResult(IDOK), ButtonOk);
  EXPECT_EQ(ButtonFromResult(IDYES), ButtonYes);
  EXPECT_EQ(ButtonFromResult(IDNO), ButtonNo);
  EXPECT_EQ(ButtonFromResult(IDABORT), ButtonAbort);
  EXPECT_EQ(ButtonFromResult(IDRETRY), ButtonRetry);
  EXPECT_EQ(ButtonFromResult(IDIGNORE), ButtonIgnore);
  EXPECT_EQ(ButtonFromResult(IDCANCEL), ButtonCancel);
  EXPECT_EQ(ButtonFromResult(0), 0);
}

TEST(Win32FileDialog, FilterPairsBecomeNulSeparatedList) {
  EXPECT_EQ(FileDialogFilter("Applications|*.app|All files|*.*"),
            L"Applications\0*.app\0All files\0*.*\0\0"s);
  EXPECT_EQ(FileDialogFilter("Text|*.txa|"), L"Text\0*.txa\0\0"s);
  EXPECT_EQ(FileDialogFilter(""), L"\0\0"s);
}

TEST(Win32Popup, MenuNumbersEntriesWithoutSeparatorsAndGreysMarkedOnes) {
  HMENU menu = BuildPopupMenu(ParsePopup("&Insert|~Chan&ge|-|&Delete"));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 4);
  const UINT ids[] = {1, 2, 0, 3};
  for (int i = 0; i < 4; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    wchar_t text[64] = L"";
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) << "item " << i;
    EXPECT_EQ(info.wID, ids[i]) << "item " << i;
    EXPECT_EQ((info.fType & MFT_SEPARATOR) != 0, i == 2) << "item " << i;
    if (i != 2) {  // Windows reports separators as greyed
      EXPECT_EQ((info.fState & MFS_GRAYED) != 0, i == 1) << "item " << i;
    }
  }
  wchar_t text[64] = L"";
  GetMenuStringW(menu, 2, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"Chan&ge");
  DestroyMenu(menu);
}

TEST(Win32Keys, VirtualKeysMapToRuntimeKeyCodes) {
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_RETURN, false, false, false), key::kEnter);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_RETURN, true, false, false), key::kCtrlEnter);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_ESCAPE, false, false, false), key::kEsc);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_UP, false, false, false), key::kUp);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_DOWN, false, false, false), key::kDown);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_PRIOR, false, false, false), key::kPgUp);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_NEXT, false, false, false), key::kPgDn);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_HOME, true, false, false), key::kCtrlHome);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_END, true, false, false), key::kCtrlEnd);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_INSERT, false, false, false), key::kInsert);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_DELETE, false, false, false), key::kDelete);
  // Character keys come as characters; modifiers alone are no key.
  EXPECT_EQ(KeyCodeFromVirtualKey('A', false, false, false), 0);
  EXPECT_EQ(KeyCodeFromVirtualKey('A', false, true, false), 0);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_SHIFT, false, true, false), 0);
  EXPECT_EQ(KeyCodeFromVirtualKey(VK_CONTROL, true, false, false), 0);
  // With Ctrl a letter produces no character and becomes a key of its own, unlike any other.
  int ctrl_a = KeyCodeFromVirtualKey('A', true, false, false);
  EXPECT_GT(ctrl_a, 0xFF);
  EXPECT_NE(ctrl_a, KeyCodeFromVirtualKey('B', true, false, false));
  EXPECT_NE(KeyCodeFromVirtualKey(VK_INSERT, false, true, false), key::kInsert);
}

TEST(Win32Keys, TypedCharactersAreTheirEightBitCodes) {
  EXPECT_EQ(TypedCharacter(L'a'), 'a');
  EXPECT_EQ(TypedCharacter(L' '), ' ');
  // A character of the code page beyond ASCII keeps its 8-bit code.
  std::string e_acute = Narrow(L"\u00E9");
  ASSERT_EQ(e_acute.size(), 1u);
  EXPECT_EQ(TypedCharacter(L'\u00E9'), static_cast<unsigned char>(e_acute[0]));
  // Control characters (Enter, Backspace, Ctrl+letter) and DEL are no typing.
  EXPECT_EQ(TypedCharacter(0x0D), 0);
  EXPECT_EQ(TypedCharacter(0x08), 0);
  EXPECT_EQ(TypedCharacter(0x01), 0);
  EXPECT_EQ(TypedCharacter(0x7F), 0);
  // A character the code page has no byte for is not turned into "?".
  EXPECT_EQ(TypedCharacter(0x4E2D), 0);
}

// The controls' text goes through the records' code page, whatever the system's ANSI code page
// is, and a name the user gives that the code page cannot hold comes by its short form, never
// with "?" in it; without a short form it is refused (and shows "?").
TEST(Win32Text, TextIsInTheRecordsCodePageAndAForeignNameComesByItsShortForm) {
  EXPECT_EQ(Widen("\x80 Caf\xE9"), L"\u20AC Caf\u00E9");
  EXPECT_EQ(Narrow(L"\u20AC Caf\u00E9"), "\x80 Caf\xE9");
  EXPECT_EQ(Narrow(L"\u041A\u0438\u0440"), "???");

  wchar_t temp[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"nj-names-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring foreign = folder + L"\\\u041A\u0438\u0440.APP";
  HANDLE file = CreateFileW(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  std::string name;
  EXPECT_TRUE(NarrowName(foreign, name));
  EXPECT_EQ(name.find('?'), std::string::npos) << name;
  EXPECT_NE(GetFileAttributesW(Widen(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
  EXPECT_TRUE(NarrowName(folder + L"\\Caf\u00E9.APP", name)) << "held as it is, existing or not";
  EXPECT_FALSE(NarrowName(folder + L"\\\u041D\u0435\u0442.APP", name)) << "no such file, so no short form";
  EXPECT_NE(name.find('?'), std::string::npos);
  DeleteFileW(foreign.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST(Win32Resources, NamesSelectTheProgramsOwnResources) {
  EXPECT_EQ(ResourceName("COFFEE2.ICO"), "COFFEE2.ICO");
  EXPECT_EQ(ResourceName("~c:\\cw20\\template\\check.ico"), "CHECK.ICO");
  EXPECT_EQ(ResourceName("~check.ico"), "CHECK.ICO");
  EXPECT_EQ(ResourceName("icons/close.ico"), "CLOSE.ICO");
  EXPECT_TRUE(IsResourceReference("~c:\\cw20\\template\\check.ico"));
  EXPECT_FALSE(IsResourceReference("COFFEE2.ICO"));
}

TEST(Win32Entries, TextPicturesLimitTyping) {
  EXPECT_EQ(TextLimit("@s30"), 30);
  EXPECT_EQ(TextLimit("@S5"), 5);
  EXPECT_EQ(TextLimit("@n3"), 0);
  EXPECT_EQ(TextLimit(""), 0);
}

TEST(Win32Text, EightBitTextSurvivesTheRoundTrip) {
  std::string text = "Caf\xE9 & co: 100%";
  EXPECT_EQ(Narrow(Widen(text)), text);
  EXPECT_EQ(Widen("Close"), L"Close");
}

TEST(Win32Fonts, EveryFaceResolvesToAnInstalledOne) {
  for (const char* face : {"Arial", "MS Sans Serif", "Small Fonts", "Courier New", "Times New Roman",
                           "No Such Face At All"}) {
    std::string resolved = ResolveFace(face);
    EXPECT_FALSE(resolved.empty()) << face;
    EXPECT_TRUE(FaceInstalled(resolved)) << face << " -> " << resolved;
  }
  EXPECT_FALSE(FaceInstalled("No Such Face At All"));
  // A face that is there is used as itself (wine has these once its fonts are in the prefix).
  for (const char* face : {"MS Sans Serif", "Small Fonts", "Tahoma"}) {
    if (FaceInstalled(face)) {
      EXPECT_EQ(ResolveFace(face), face);
    }
  }
}

TEST(Win32Fonts, FontCacheHandsOutOneFontPerFaceSizeAndWeight) {
  FontCache fonts;
  HFONT a = fonts.Get(FontSpec{"MS Sans Serif", 8, 400});
  HFONT b = fonts.Get(FontSpec{"MS Sans Serif", 8, 400, 0x80});  // colour is not part of a font
  HFONT bold = fonts.Get(FontSpec{"MS Sans Serif", 8, 700});
  EXPECT_EQ(a, b);
  EXPECT_NE(a, bold);
  LOGFONTW lf{};
  ASSERT_EQ(GetObjectW(bold, sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_EQ(Narrow(lf.lfFaceName), ResolveFace("MS Sans Serif"));
  // A bigger font has bigger dialog units.
  DialogBase small = MeasureDialogBase(fonts.Get(FontSpec{"MS Sans Serif", 8, 400}));
  DialogBase big = MeasureDialogBase(fonts.Get(FontSpec{"MS Sans Serif", 14, 400}));
  EXPECT_GT(big.x, small.x);
  EXPECT_GT(big.y, small.y);
}

}  // namespace
}  // namespace rt::win32
