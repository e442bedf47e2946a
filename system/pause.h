// The pauses of the installer's polling loops (service start and stop, file
// verification retries, the waits of the install steps). Real pauses in the
// product; tests inject one that only counts, so that waits of seconds cost
// nothing.
#pragma once

#include <functional>

#include "platform/win_types.h"

using Pause = std::function<void(win::DWORD milliseconds)>;

// A pause that sleeps for real.
Pause RealPause();
