// The short date and time on POSIX: the C library's locale gives no form that matches the Windows
// user's, so every text takes the fixed forms of time_text.h, the same on every station.
#include "platform/time_text.h"

namespace platform {

bool SystemDateText(CalendarDate, std::string&) { return false; }
bool SystemTimeText(int, int, std::string&) { return false; }

}  // namespace platform
