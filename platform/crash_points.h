// Crash points: places of the program where a test makes the process crash
// for real. On the simulated machine a test arms one through an injected
// fault of operation "Crash" whose subject is the point's name and whose
// error is the exception the crash shall raise; for the Windows program, the
// environment variable BVL_CRASH_POINT holds "<point>" or "<point>:<code>"
// (the code as 0xC00000FD or in decimal).
#pragma once

#include "platform/win_types.h"

namespace platform {

// The ways to crash, by the exception code the crash raises.
namespace crash_way {
constexpr win::DWORD kInvalidAccess = 0xC0000005;     // a write to kInvalidAccessAddress
constexpr win::DWORD kUncaughtException = 0xE06D7363; // a C++ exception nobody catches
constexpr win::DWORD kAbort = 0x40000015;             // abort()
constexpr win::DWORD kPureVirtualCall = 0xC0000025;   // a pure virtual call during construction
constexpr win::DWORD kStackOverflow = 0xC00000FD;     // endless recursion
constexpr win::DWORD kInvalidParameter = 0xC000000D;  // the C runtime's report of an invalid parameter
}  // namespace crash_way

// The address that the invalid access writes to.
constexpr unsigned long long kInvalidAccessAddress = 0x1234;

// Crashes the process here, in the way the fault names, when a "Crash" fault
// for `point` is armed; otherwise returns at once. A fault whose error names
// no way crashes by invalid access.
void CrashIfInjected(const wchar_t* point);

}  // namespace platform
