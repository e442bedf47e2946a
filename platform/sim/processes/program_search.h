// Finding the program a command names, as Windows does for CreateProcessW,
// ShellExecuteExW and the service manager: a bare name is looked for in the
// folders searched, ".exe" is added to a name without an extension, and an
// unquoted path with spaces is tried at each space from the left (so
// "C:\Program Files\a b.exe" runs C:\Program.exe when that file exists).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The system directory and the Windows directory.
std::vector<std::wstring> SystemSearchFolders();

// The Windows path of the existing file `name` names: an absolute path as
// it stands, a relative one in each of `folders` in turn; ".exe" is tried
// after the name itself when the name has no extension. Empty when none exists.
std::optional<std::wstring> FindProgramFile(const std::wstring& name, const std::vector<std::wstring>& folders);

// The program file a command line starts: its first token, quoted or not,
// found with FindProgramFile. Empty when no file matches.
std::optional<std::wstring> ProgramOfCommandLine(const std::wstring& commandLine,
                                                 const std::vector<std::wstring>& folders);

// `text` with each %NAME% replaced by the machine environment's value;
// unknown names stay as written (as ExpandEnvironmentStringsW leaves them).
std::wstring ExpandMachineEnvironment(const std::wstring& text);

}  // namespace platform
