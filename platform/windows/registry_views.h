// Where an open registry key lies: its full name as the system stores it and
// the WOW64 view it belongs to, so that keys opened below it stay in that
// view (the system does not carry a handle's view over to its subkeys).
#pragma once

#include <string>

// The interface's types come before the system's macros.
#include "platform/win_types.h"
#include "platform/windows/windows_api.h"

namespace platform_windows {

// One of HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS, ...: a root the
// system names by a fixed value rather than an open key.
bool IsPredefinedKey(::HKEY key);

// The stored name of an open key in the interface's spelling ("HKLM\...",
// "HKU\<SID>\..."); empty when the system cannot name it.
std::wstring OpenKeyName(::HKEY key);

// KEY_WOW64_32KEY when the stored name passes through Wow6432Node,
// KEY_WOW64_64KEY otherwise (it has no effect on keys outside the
// redirected parts). 0 for a predefined root or a key that cannot be named.
::REGSAM ViewOfOpenKey(::HKEY key);

// Whether this process is a 32-bit process on 64-bit Windows.
bool ProcessRunsUnderWow64();

}  // namespace platform_windows
