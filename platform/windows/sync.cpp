// Events, mutexes and waiting on the system's kernel objects. Names with
// "Global\" are the system's machine-wide names; the system keeps an object
// while some process holds a handle to it, as the interface promises.
#include "platform/sync.h"

#include "platform/windows/security_attributes.h"

namespace win {

using platform_windows::Native;
using platform_windows::NativeSecurity;
using platform_windows::Wrapped;

HANDLE CreateEventW(const SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, const wchar_t* name) {
  NativeSecurity native(security);
  // An empty name is no name: an event of this process only.
  return Wrapped(::CreateEventW(native.Get(), manualReset, initialState, name && *name ? name : nullptr));
}

HANDLE OpenEventW(DWORD access, BOOL inherit, const std::wstring& name) {
  if (name.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Wrapped(::OpenEventW(access, inherit, name.c_str()));
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(Native(event)); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(Native(event)); }

HANDLE CreateMutexW(const SECURITY_ATTRIBUTES* security, BOOL initialOwner, const wchar_t* name) {
  NativeSecurity native(security);
  return Wrapped(::CreateMutexW(native.Get(), initialOwner, name && *name ? name : nullptr));
}

HANDLE OpenMutexW(DWORD access, BOOL inherit, const std::wstring& name) {
  if (name.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Wrapped(::OpenMutexW(access, inherit, name.c_str()));
}

BOOL ReleaseMutex(HANDLE mutex) { return ::ReleaseMutex(Native(mutex)); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  // A process never sees its own end: an endless wait for it is refused
  // rather than left to hang for ever.
  if (Native(handle) == ::GetCurrentProcess() && milliseconds == INFINITE) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  return ::WaitForSingleObject(Native(handle), milliseconds);
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace win
