// Kernel objects behind HANDLE values: each kind derives from KernelObject;
// handles are checked against the live set, so a stale or forged handle is
// refused with ERROR_INVALID_HANDLE instead of being followed.
#pragma once

#include "platform/win_types.h"

namespace win {

struct KernelObject {
  virtual ~KernelObject() = default;
};

// An object WaitForSingleObject waits on (an event, a mutex): it checks the
// handle's access and waits in its own way, returning WAIT_OBJECT_0,
// WAIT_TIMEOUT, WAIT_ABANDONED or WAIT_FAILED.
struct WaitableObject : KernelObject {
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

}  // namespace win

namespace platform {

win::HANDLE RegisterHandle(win::KernelObject* object);
// The object behind a handle when it is live and of type T, else null.
win::KernelObject* LookupHandle(win::HANDLE handle);
template <typename T>
T* HandleAs(win::HANDLE handle) {
  return dynamic_cast<T*>(LookupHandle(handle));
}

}  // namespace platform
