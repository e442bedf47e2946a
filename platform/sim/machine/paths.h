// Windows paths of the simulated machine and the host files behind them.
// C: is the machine's drive_c folder, Z: the host's root (as Wine does);
// lookups ignore letter case as Windows does.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A Windows path with a drive, resolved as Windows' path normalisation does:
// "/" taken as "\", "." dropped, ".." goes up but never above the drive's
// root, one dot at the end of a folder's name dropped ("a.\b" is "a\b"), and
// the trailing dots and spaces of the last name dropped ("a.txt." is "a.txt";
// a last name of only dots and spaces names its folder). A path that ends in
// a separator keeps the spaces of its last name, as on Windows.
struct WindowsPathParts {
  wchar_t drive = 0;                // upper case
  std::vector<std::wstring> names;  // below the drive's root, in order
};
// Empty unless the path starts with a letter and ":", followed by "\" or by
// nothing (the drive's root).
std::optional<WindowsPathParts> SplitWindowsPath(const std::wstring& windowsPath);

// The host path for a Windows path ("C:\Program Files\x", "z:\tmp\y", forward
// slashes allowed), resolved as SplitWindowsPath does. Existing components
// are matched ignoring case; missing ones are appended as written. Empty
// when the path has no drive the machine knows (a relative path, a UNC share,
// another letter).
std::optional<std::filesystem::path> ToHostPath(const std::wstring& windowsPath);
// The same for a path already split (empty for a drive the machine lacks).
std::optional<std::filesystem::path> ToHostPath(const WindowsPathParts& path);

// The Windows form of a host path: below drive_c it is a C: path, anything
// else a Z: path.
std::wstring ToWindowsPath(const std::filesystem::path& hostPath);

}  // namespace platform
