// The desktop's display, as the host's environment names it.
#include "platform/display.h"

#include <cstdlib>
#include <initializer_list>

namespace platform {

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace platform
