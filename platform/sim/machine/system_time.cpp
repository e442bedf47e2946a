// The system clock from the host's real-time clock.
#include "platform/system_time.h"

#include <chrono>
#include <ctime>

namespace win {

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  time->wYear = static_cast<WORD>(utc.tm_year + 1900);
  time->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  time->wDay = static_cast<WORD>(utc.tm_mday);
  time->wHour = static_cast<WORD>(utc.tm_hour);
  time->wMinute = static_cast<WORD>(utc.tm_min);
  time->wSecond = static_cast<WORD>(utc.tm_sec);
  time->wMilliseconds = static_cast<WORD>(milliseconds < 0 ? 0 : milliseconds);
}

}  // namespace win
