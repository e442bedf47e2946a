// Named events and waiting, by the Windows names. An event named with the
// "Global\" prefix (or any other name) is visible to every process of the
// machine; it exists while some process holds a handle to it. Waiting works
// on events and on process handles (signalled when the process has ended).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win {

struct SECURITY_ATTRIBUTES;

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
constexpr DWORD EVENT_ALL_ACCESS = 0x1F0003;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Creates the named event, or opens it when it exists already (then
// GetLastError is ERROR_ALREADY_EXISTS and the given states are ignored).
// A null name makes an event of this process only.
HANDLE CreateEventW(const SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, const wchar_t* name);
// ERROR_FILE_NOT_FOUND when no process holds an event of that name.
HANDLE OpenEventW(DWORD access, BOOL inherit, const std::wstring& name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// An auto-reset event is reset by the wait that sees it set.
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

}  // namespace platform
