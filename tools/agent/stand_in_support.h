// What the agent's stand-in programs share: their debug lines, their own
// folder on the machine, and waiting that gives up when the machine itself
// has gone (a test removed it).
#pragma once

#include <string>

#include "platform/win_types.h"

namespace stand_in {

// "[Brimvale] <tag> : <text>" on the machine's debug output.
void Log(const std::string& tag, const std::wstring& text);

// The program's own Windows path and its folder.
std::wstring OwnPath();
std::wstring OwnFolder();

// Waits for the handle in slices; false when the machine folder has gone
// before the handle was signalled.
bool WaitWhileMachineExists(win::HANDLE handle);
// True while the machine exists: on the simulated machine while its folder
// does, on Windows always.
bool MachineExists();

// Case-insensitive comparison of a program argument with a switch.
bool IsSwitch(const char* argument, const char* name);

}  // namespace stand_in
