// What a new machine holds: its folders and files, then its registry and
// resident processes. Used by machine creation only.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/machine/machine.h"

namespace platform {

// Writes drive C:'s folders and the other files of a new machine into
// `folder`, which holds no machine; the caller writes the profile last.
bool CreateMachineFiles(const std::filesystem::path& folder, const Profile& profile, std::string* error);
// Writes the registry and process table of `machine`, which must be current.
void PopulateMachine(const Machine& machine);

}  // namespace platform
