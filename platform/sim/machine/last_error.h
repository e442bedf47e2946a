// Failing a call the Windows way: the calling thread's last error is set and
// the call's failure value returned.
#pragma once

#include "platform/win_types.h"

namespace platform {

// Sets the last error to `error` and returns `result`, so that a failing
// call reads `return FailWith(ERROR_INVALID_HANDLE, FALSE);`.
template <typename T>
T FailWith(win::DWORD error, T result) {
  win::SetLastError(error);
  return result;
}

}  // namespace platform
