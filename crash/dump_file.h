// The dump file of a crash, written on the handler thread while the crashed
// thread waits. The Windows program has the system write it (dbghelp); the
// builds on the simulated machine capture the process and write it with the
// crash reporter's own writer. Both give a minidump of the normal kind with
// the crashed thread's exception, and Breakpad's assertion stream when a pure
// virtual call is the cause.
#pragma once

#include <string>

#include "crash/minidump_format.h"
#include "platform/exception_dispatch.h"

namespace kvdump {

// Writes the dump to `path`, which must not exist yet. `exception` may be
// null (a dump without exception); `assertion` is the pure virtual call's
// report, when that is the cause. False when the file cannot be created or
// the dump not written; no partial file is left then.
bool WriteDumpFile(const std::wstring& path, win::DWORD requestingThread, win::EXCEPTION_POINTERS* exception,
                   const minidump::AssertionInfo* assertion);

}  // namespace kvdump
