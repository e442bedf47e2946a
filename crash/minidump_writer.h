// The minidump writer: a crash snapshot as the bytes of a Windows minidump of
// the normal kind (system information, exception, threads with their
// registers and stacks, modules, memory, miscellaneous information).
#pragma once

#include <string>

#include "crash/crash_snapshot.h"

namespace kvdump {

std::string WriteMinidump(const CrashSnapshot& snapshot);

// Writes the dump to the file at the Windows path `path`, which must not
// exist yet. False when it cannot be created or written.
bool WriteMinidumpFile(const std::wstring& path, const CrashSnapshot& snapshot);

}  // namespace kvdump
