// Windows paths of the simulated machine and the host files behind them.
// C: is the machine's drive_c folder, Z: the host's root (as Wine does);
// lookups ignore letter case as Windows does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// The host path for a Windows path ("C:\Program Files\x", "z:\tmp\y", forward
// slashes allowed). Existing components are matched ignoring case; missing
// ones are appended as written. Empty when the path has no drive the machine
// knows (a relative path, a UNC share, another letter).
std::optional<std::filesystem::path> ToHostPath(const std::wstring& windowsPath);

// The Windows form of a host path: below drive_c it is a C: path, anything
// else a Z: path.
std::wstring ToWindowsPath(const std::filesystem::path& hostPath);

}  // namespace platform
