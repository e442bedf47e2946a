// The WOW64 question, asked of the platform for the current process.
#include "system/wow64.h"

#include "platform/process.h"

bool RunsUnderWow64() {
  win::BOOL wow64 = win::FALSE;
  return win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64;
}
