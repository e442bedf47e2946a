// Injected faults: a test names an operation of the simulated machine (and
// optionally the path or name it must concern) and the error it shall fail
// with. Faults live in the machine folder, so the installer started as a
// child process meets them too.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

struct Fault {
  std::string operation;  // e.g. "RegCreateKeyEx", "CreateDirectory", "DeleteFile"
  std::wstring subject;   // empty: every call; else the call's path or name (ignoring case)
  win::DWORD error = win::ERROR_ACCESS_DENIED;
  int remaining = -1;     // how many calls still fail; -1 for all of them
};

// Adds a fault to the current machine.
void InjectFault(const Fault& fault);
void ClearFaults();

// Asked by the machine's operations: true when a fault for this operation and
// subject is armed; it then consumes one use and sets the thread's last error.
bool ShouldFail(const char* operation, const std::wstring& subject = std::wstring());

}  // namespace platform
