// The process's environment, the shell's special folders, the system and
// temporary folders and the drives, as the system gives them.
#include "platform/environment.h"

#include "platform/windows/windows_api.h"

#include <shlobj.h>

namespace win {

DWORD GetEnvironmentVariableW(const std::wstring& name, wchar_t* buffer, DWORD size) {
  return ::GetEnvironmentVariableW(name.c_str(), buffer, size);
}

BOOL SHGetSpecialFolderPathW(void* window, wchar_t* path, int csidl, BOOL create) {
  return ::SHGetSpecialFolderPathW(static_cast<::HWND>(window), path, csidl, create);
}

UINT GetSystemDirectoryW(wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); }

DWORD GetTempPathW(DWORD size, wchar_t* buffer) { return ::GetTempPathW(size, buffer); }

DWORD GetLogicalDriveStringsW(DWORD size, wchar_t* buffer) { return ::GetLogicalDriveStringsW(size, buffer); }

UINT GetDriveTypeW(const std::wstring& rootPath) {
  // The system takes an empty path for the current folder's drive; the
  // interface's empty path names no root.
  if (rootPath.empty()) return DRIVE_NO_ROOT_DIR;
  return ::GetDriveTypeW(rootPath.c_str());
}

DWORD QueryDosDeviceW(const std::wstring& deviceName, wchar_t* buffer, DWORD size) {
  return ::QueryDosDeviceW(deviceName.c_str(), buffer, size);
}

}  // namespace win
