// Whether the program can show windows: Windows gives a desktop to every
// program of an interactive session, whose window station is visible; a
// service's window station is not.
#include "platform/display.h"

#include "platform/win_types.h"  // before the system's macros, which windows_api.h brings
#include "platform/windows/windows_api.h"

namespace platform {

bool DisplayAvailable() {
  ::USEROBJECTFLAGS flags{};
  const ::HWINSTA station = ::GetProcessWindowStation();
  return station && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

}  // namespace platform
