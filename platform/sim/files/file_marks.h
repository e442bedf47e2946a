// Marks the simulated machine keeps on files: locked (in use, so it cannot be
// deleted or overwritten, though it can be renamed, as a running program on
// Windows) and encrypted (FILE_ATTRIBUTE_ENCRYPTED). A reboot runs the moves
// scheduled for it and releases every lock.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

bool LockFile(const std::wstring& windowsPath);
bool IsLocked(const std::filesystem::path& hostPath);

bool MarkEncrypted(const std::wstring& windowsPath);
bool IsEncrypted(const std::filesystem::path& hostPath);

// A renamed file keeps its marks.
void MoveMarks(const std::filesystem::path& from, const std::filesystem::path& to);

// Runs PendingFileRenameOperations (deleting or moving each item), clears the
// value and releases all locks. Returns the number of operations run.
int RebootMachine();

}  // namespace platform
