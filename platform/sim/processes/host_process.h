// The host processes behind the machine's programs: who this one is, whether
// another still runs (guarding against reused pids by start time), and a
// descriptor that becomes readable when one ends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

struct HostProcess {
  int pid = 0;
  long long start = 0;  // start time in clock ticks since boot
};

// The start time that stands for "no such process": the process is gone,
// has ended, or its entry could not be read.
constexpr long long kNoHostProcess = -1;

// The fields of /proc/<pid>/stat that follow the command name, in order;
// false, never an exception, when the process is gone (also when it ends
// while the file is read) or the file cannot be read.
bool ReadHostProcessStat(int pid, std::vector<std::string>* fields);
// Places in those fields.
constexpr std::size_t kStatState = 0;
constexpr std::size_t kStatUserTime = 11;
constexpr std::size_t kStatKernelTime = 12;
constexpr std::size_t kStatStartTime = 19;

HostProcess CurrentHostProcess();
// The start time of a running host process; kNoHostProcess when there is no
// such process or it has ended and waits to be reaped.
long long HostProcessStartTime(int pid);
// Whether the process still runs: its pid names a live process with the
// recorded start time (never true for a process that is gone).
bool HostProcessRunning(const HostProcess& process);
// A pidfd for `pid`, readable once the process ends; -1 when the host offers
// none (the caller then polls).
int OpenHostProcessDescriptor(int pid);

}  // namespace platform
