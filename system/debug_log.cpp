// Debug lines go to the platform's debugger output.
#include "system/debug_log.h"

#include "platform/debug_output.h"

void LogDebugLine(const std::wstring& line) { win::OutputDebugStringW(line); }

std::wstring ErrorNumber(win::DWORD error) { return std::to_wstring(static_cast<int>(error)); }
