// The crashes behind the crash points, the same on every platform: real
// faults, not simulated ones, so that the crash reporter meets them exactly
// as it meets a defect. Each platform decides when a point is armed.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

// Crashes the process in the way `way` names (a platform::crash_way code;
// any other code crashes by invalid access). `point` names the place in the
// uncaught exception's message.
[[noreturn]] void CrashInWay(win::DWORD way, const std::wstring& point);

// The C runtime's report of an invalid parameter, made the way the
// platform's runtime makes it: the installed handler is called with no
// details, as a release runtime calls it. Returns when the handler returns.
void ReportInvalidParameter();

}  // namespace platform
