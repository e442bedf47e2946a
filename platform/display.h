// Whether the machine has a desktop to show windows on: a display for the
// window system (an X or Wayland display, or a platform named for the
// windowing library such as the offscreen one of the tests).
#pragma once

namespace platform {

bool DisplayAvailable();

}  // namespace platform
