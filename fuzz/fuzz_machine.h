// The simulated machine of one fuzzing process: a fresh machine of the
// default profile in a new temporary folder, made current when the target
// first needs it and removed when the process ends, so that a target never
// works on the user's default machine and one fuzzing run leaves nothing.
#pragma once

#include <filesystem>

namespace fuzzing {

// The root of this process's machine, created and made current on the first
// call. A machine that cannot be created ends the process: no input could be
// tried without it.
const std::filesystem::path& UseFreshMachine();

}  // namespace fuzzing
