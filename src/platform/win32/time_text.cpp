// The short date and time on Windows: the user's locale's own short forms, as the system's clock
// and Explorer show them, converted to the code page as every way out of the system is.
#include <windows.h>

#include "platform/code_page.h"
#include "platform/time_text.h"

namespace platform {
namespace {

// The system's wide text in the code page. A narrow no-break space (some locales put one before
// "AM") reads as a space rather than sending the whole text to the fixed form.
bool InCodePage(const wchar_t* text, int length, std::string& out) {
  if (length <= 1) return false;  // the length counts the closing null
  std::u16string wide(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length - 1));
  for (char16_t& c : wide)
    if (c == u'\x202F') c = u' ';
  return FromUtf16(wide, out);
}

}  // namespace

bool SystemDateText(CalendarDate day, std::string& out) {
  SYSTEMTIME moment{};
  moment.wYear = static_cast<WORD>(day.year);
  moment.wMonth = static_cast<WORD>(day.month);
  moment.wDay = static_cast<WORD>(day.day);
  wchar_t text[96];
  return InCodePage(text, GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &moment, nullptr, text, 96, nullptr),
                    out);
}

bool SystemTimeText(int hour, int minute, std::string& out) {
  SYSTEMTIME moment{};
  moment.wYear = 2000;
  moment.wMonth = 1;
  moment.wDay = 1;
  moment.wHour = static_cast<WORD>(hour);
  moment.wMinute = static_cast<WORD>(minute);
  wchar_t text[96];
  return InCodePage(text, GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &moment, nullptr, text, 96), out);
}

}  // namespace platform
