// The host processes behind the machine's programs: who this one is, whether
// another still runs (guarding against reused pids by start time), and a
// descriptor that becomes readable when one ends.
#pragma once

namespace platform {

struct HostProcess {
  int pid = 0;
  long long start = 0;  // start time in clock ticks since boot
};

HostProcess CurrentHostProcess();
// The start time of a running host process; -1 when it is gone or has ended
// and waits to be reaped.
long long HostProcessStartTime(int pid);
bool HostProcessRunning(const HostProcess& process);
// A pidfd for `pid`, readable once the process ends; -1 when the host offers
// none (the caller then polls).
int OpenHostProcessDescriptor(int pid);

}  // namespace platform
