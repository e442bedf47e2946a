// The machine's environment, special folders, system folder, temporary
// folder and drives, as a program on it sees them.
#include <string>
#pragma once

#include "platform/win_types.h"

namespace win {

// The variable's value from the machine's environment (not the host's): the
// system environment, the user's, and what a 32-bit process on a 64-bit
// machine is given for ProgramFiles. Returns the length copied, the size
// needed (with NUL) when the buffer is too small, 0 when not set
// (ERROR_ENVVAR_NOT_FOUND).
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
DWORD GetEnvironmentVariableW(const std::wstring& name, wchar_t* buffer, DWORD size);

constexpr int CSIDL_DESKTOP = 0x0000;  // the desktop's file-system folder
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
constexpr int CSIDL_COMMON_PROGRAMS = 0x0017;
constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x0019;
constexpr int CSIDL_WINDOWS = 0x0024;
constexpr int CSIDL_SYSTEM = 0x0025;
constexpr int CSIDL_PROGRAM_FILES = 0x0026;
constexpr int CSIDL_PROGRAM_FILESX86 = 0x002A;
constexpr int CSIDL_COMMON_APPDATA = 0x0023;
constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
// Fills `path` (MAX_PATH characters) with the folder for the calling thread's
// user; a 32-bit process on a 64-bit machine gets "Program Files (x86)" for
// CSIDL_PROGRAM_FILES, as Windows gives it.
BOOL SHGetSpecialFolderPathW(void* window, wchar_t* path, int csidl, BOOL create);

UINT GetSystemDirectoryW(wchar_t* buffer, UINT size);
DWORD GetTempPathW(DWORD size, wchar_t* buffer);
// "C:\", NUL, "Z:\", NUL, NUL.
DWORD GetLogicalDriveStringsW(DWORD size, wchar_t* buffer);
// The kind of drive whose root directory `rootPath` names ("C:\" or "C:"):
// DRIVE_FIXED for the machine's drives, DRIVE_NO_ROOT_DIR for any other path.
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_FIXED = 3;
UINT GetDriveTypeW(const std::wstring& rootPath);
// The device behind "C:" or "Z:", e.g. "\Device\HarddiskVolume2".
DWORD QueryDosDeviceW(const std::wstring& deviceName, wchar_t* buffer, DWORD size);

}  // namespace win
