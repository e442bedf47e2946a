// The system clock through kernel32.
#include "platform/system_time.h"

#include "platform/windows/windows_api.h"

namespace win {

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  ::SYSTEMTIME now{};
  ::GetSystemTime(&now);
  time->wYear = now.wYear;
  time->wMonth = now.wMonth;
  time->wDayOfWeek = now.wDayOfWeek;
  time->wDay = now.wDay;
  time->wHour = now.wHour;
  time->wMinute = now.wMinute;
  time->wSecond = now.wSecond;
  time->wMilliseconds = now.wMilliseconds;
}

}  // namespace win
