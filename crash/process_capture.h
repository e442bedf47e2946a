// Capture of the crashed process for its dump: the machine's system
// description, the exception with the faulting thread's registers, every
// thread with its stack, the modules and the code around the fault.
#pragma once

#include <cstddef>

#include "crash/crash_snapshot.h"

namespace kvdump {

// How much of each thread's stack a dump keeps, from the stack pointer up.
constexpr std::size_t kStackBytesPerThread = 64 * 1024;

// Captures this process on the handler thread while `requestingThread`
// waits in its fault. `exception` may be null (a dump without exception);
// `assertion` is the pure virtual call's report, when that is the cause.
CrashSnapshot CaptureCrash(win::DWORD requestingThread, const win::EXCEPTION_POINTERS* exception,
                           const minidump::AssertionInfo* assertion);

// The system description of the machine the process runs on.
SystemSnapshot DescribeSystem();

}  // namespace kvdump
