// The real pause: the platform's Sleep.
#include "system/pause.h"

#include "platform/sync.h"

Pause RealPause() {
  return [](win::DWORD milliseconds) { win::Sleep(milliseconds); };
}
