// Windows' rules for the names in a path, as its file API applies them before
// a path reaches the file system: device names that exist in every folder,
// characters no name may hold, and the trailing dots and spaces that the path
// normalisation drops.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/machine/paths.h"
#include "platform/win_types.h"

namespace platform {

// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 (and COM or LPT with a superscript
// one, two or three), in any case, also followed by an extension or by spaces
// before it ("nul.txt", "Com1 .log"): Windows opens the device for such a name
// in any folder.
bool IsDeviceName(std::wstring_view name);

// True when `name` holds a character that no Windows name may hold:
// < > : " | ? * or a control character U+0001 to U+001F.
bool HasInvalidNameCharacter(std::wstring_view name);

// The last name of a path as Windows keeps it: its trailing dots and spaces
// removed ("a.txt. " names "a.txt"; "..." and " " leave nothing).
std::wstring_view WithoutTrailingDotsAndSpaces(std::wstring_view name);

// What a path is used for, which decides the error a device name gives.
enum class PathUse {
  Item,          // an existing or new file, or an existing folder
  NewFolder,     // a folder to create, its parent existing (CreateDirectoryW)
  NewFolderTree  // a folder to create with all missing parents (SHCreateDirectory)
};

// The error Windows' file API gives for the names of a path, resolved as
// SplitWindowsPath resolves it; ERROR_SUCCESS when they are acceptable:
// - a device name as the last name: ERROR_FILE_NOT_FOUND for an item (the
//   machine has no such device), ERROR_DIRECTORY for a folder to create;
// - an invalid character in any name: ERROR_INVALID_NAME;
// - a device name as a folder of the path: ERROR_PATH_NOT_FOUND, since no such
//   folder can be made (ERROR_DIRECTORY when the folders are to be created).
win::DWORD PathNameError(const WindowsPathParts& path, PathUse use);

}  // namespace platform
