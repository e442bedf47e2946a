// Waiting for what other processes of the machine do: a condition is checked
// again whenever a state file in one of the watched folders is replaced (every
// state file is written by renaming a new version over it), when a watched
// host process ends, and at least every 50 ms (for conditions of time).
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace platform {

constexpr int kWaitForever = -1;

// Returns true as soon as `ready` does; false when `timeoutMilliseconds`
// (kWaitForever: no limit) passes first. `hostPid`, when not 0, is a host
// process whose end also wakes the wait.
bool WaitForMachine(const std::function<bool()>& ready, int timeoutMilliseconds,
                    const std::vector<std::filesystem::path>& folders, int hostPid = 0);

// The machine's clock for delays that several processes share, in
// milliseconds since the epoch.
long long MachineNowMilliseconds();

}  // namespace platform
