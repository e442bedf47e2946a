// Removing a folder the installer owns (the staging folder) with everything
// in it, leaving what is in use to be deleted at the next restart; and the
// shell's silent delete that it and the legacy-file step share.
#pragma once

#include <string>

#include "platform/win_types.h"

// Deletes every item that `pattern` ("<folder>\*.*") finds, then the folder.
// An item that cannot be deleted is renamed to "_<name>" and scheduled for
// deletion at restart; failures are written to the debug output. Always TRUE.
win::BOOL ClearFolder(const std::wstring& pattern);

// Deletes a file or a whole folder tree through the shell's delete operation,
// without asking and without showing anything. 0 on success, else the
// shell's error code (also for a path that does not exist).
int ShellDelete(const std::wstring& path);
