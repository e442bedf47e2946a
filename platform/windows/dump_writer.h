// dbghelp.dll's minidump writer, from the system folder (system_library.h).
#pragma once

#include <windows.h>

#include <dbghelp.h>

namespace platform_windows {

// MiniDumpWriteDump, found on the first call; null, with the last error,
// when it cannot be. The crash handling asks for it when it is armed, so
// that no library is loaded while a crash is handled (the crashed thread
// may hold the loader's lock).
decltype(&::MiniDumpWriteDump) MiniDumpWriter();

}  // namespace platform_windows
