// The system clock as Windows gives it: the current time in UTC, broken down
// into its calendar fields.
#pragma once

#include "platform/win_types.h"

namespace win {

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;  // 1 = January
  WORD wDayOfWeek = 0;  // 0 = Sunday
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

// The current time in UTC.
void GetSystemTime(SYSTEMTIME* time);

}  // namespace win
