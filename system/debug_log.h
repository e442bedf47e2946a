// The one way the installer's engine and system code write a debug line: each
// call is one line of the debugger output. The lines themselves are kept in
// the catalogues of their subsystem (system/system_texts.h,
// engine/engine_texts.h), so that every text stays in one place.
#pragma once

#include <string>

#include "platform/win_types.h"

// Writes `line` to the debugger output as one line, exactly as given.
void LogDebugLine(const std::wstring& line);

// A platform error code as the debug lines print it: signed decimal, as
// "%d" prints a DWORD (a code of 2^31 or more comes out negative).
std::wstring ErrorNumber(win::DWORD error);
