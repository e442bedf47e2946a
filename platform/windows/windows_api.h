// The system's headers for the implementation of platform/ on Windows, and
// the conversions between the interface's handle types and the system's.
//
// Each implementation file includes its platform/ header first and this one
// after it: the system's headers define many of the interface's names as
// macros (TRUE, MAX_PATH, ERROR_SUCCESS, GENERIC_READ, ...), which must not
// reach the interface's own declarations. Below this header such names mean
// the system's macros, which carry the same values, so implementation files
// spell them without "win::".
#pragma once

// The interface's types come first, before the system's macros exist.
#include "platform/win_types.h"

#include <windows.h>

namespace platform_windows {

// The interface's handles are the system's handles under a type of their own.
inline ::HANDLE Native(win::HANDLE handle) { return reinterpret_cast<::HANDLE>(handle); }
inline win::HANDLE Wrapped(::HANDLE handle) { return reinterpret_cast<win::HANDLE>(handle); }
inline ::HKEY Native(win::HKEY key) { return reinterpret_cast<::HKEY>(key); }
inline win::HKEY Wrapped(::HKEY key) { return reinterpret_cast<win::HKEY>(key); }
inline ::HMODULE Native(win::HMODULE module) { return reinterpret_cast<::HMODULE>(module); }
inline win::HMODULE Wrapped(::HMODULE module) { return reinterpret_cast<win::HMODULE>(module); }

}  // namespace platform_windows
