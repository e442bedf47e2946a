// Named events, named mutexes and waiting, by the Windows names. An event or
// mutex named with the "Global\" prefix (or any other name) is visible to
// every process of the machine; it exists while some process holds a handle
// to it. Waiting works on events, mutexes and process handles (signalled
// when the process has ended).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win {

struct SECURITY_ATTRIBUTES;

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
constexpr DWORD EVENT_ALL_ACCESS = 0x1F0003;
constexpr DWORD MUTEX_MODIFY_STATE = 0x0001;
constexpr DWORD MUTEX_ALL_ACCESS = 0x1F0001;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr DWORD ERROR_NOT_OWNER = 288;

// Creates the named event, or opens it when it exists already (then
// GetLastError is ERROR_ALREADY_EXISTS and the given states are ignored).
// A null name makes an event of this process only.
HANDLE CreateEventW(const SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, const wchar_t* name);
// ERROR_FILE_NOT_FOUND when no process holds an event of that name.
HANDLE OpenEventW(DWORD access, BOOL inherit, const std::wstring& name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Creates the named mutex, owned by the calling thread when `initialOwner`
// is set, or opens it when it exists already (then GetLastError is
// ERROR_ALREADY_EXISTS and `initialOwner` is ignored). A null name makes a
// mutex of this process only.
HANDLE CreateMutexW(const SECURITY_ATTRIBUTES* security, BOOL initialOwner, const wchar_t* name);
// ERROR_FILE_NOT_FOUND when no process holds a mutex of that name.
HANDLE OpenMutexW(DWORD access, BOOL inherit, const std::wstring& name);
// Gives up one level of the calling thread's ownership; the mutex is free
// when every wait that took it has been released. ERROR_NOT_OWNER when the
// calling thread does not own it. Closing a handle releases nothing.
BOOL ReleaseMutex(HANDLE mutex);

// An auto-reset event is reset by the wait that sees it set. A mutex is
// taken by the wait that finds it free or already owned by the calling
// thread (ownership nests); one whose owning thread or process ended
// without releasing it is taken with WAIT_ABANDONED, as on Windows, so that
// a killed owner does not block the machine's other processes for ever.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

void Sleep(DWORD milliseconds);

}  // namespace win

namespace platform {

// For inspection: the named events that exist now and whether each is set.
struct EventSummary {
  std::wstring name;
  bool set = false;
  bool manualReset = false;
};
std::vector<EventSummary> ListEvents();

// For inspection: the named mutexes that exist now and who owns each.
struct MutexSummary {
  std::wstring name;
  bool owned = false;
  win::DWORD ownerProcessId = 0;  // the owning process's id on the machine; 0 when free
                                  // (on Windows known only when the asking thread owns it)
  bool abandoned = false;         // its owner ended without releasing it; no wait has taken it since
};
std::vector<MutexSummary> ListMutexes();

}  // namespace platform
