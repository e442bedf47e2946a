// Files and folders by path through kernel32 and the shell: attributes,
// folders, deletion, moves and copies, and folder searches.
#include "platform/files.h"

#include "platform/windows/system_security.h"
#include "platform/windows/windows_api.h"

#include <shlobj.h>
#include <shellapi.h>

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;

// The system's failed handle, spelt outside namespace win, where the
// system's macro would take the interface's HANDLE type.
const ::HANDLE kNoHandle = INVALID_HANDLE_VALUE;

// A list of paths as the shell reads it: each ends with a NUL, the list with
// one more. The interface's list already holds its separators; extra NULs
// at the end end it for certain.
std::wstring ShellPathList(const std::wstring& paths) { return paths + std::wstring(2, L'\0'); }

void FillFindData(const ::WIN32_FIND_DATAW& found, win::WIN32_FIND_DATAW* data) {
  data->dwFileAttributes = found.dwFileAttributes;
  data->nFileSize = static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
  data->cFileName = found.cFileName;
}

}  // namespace

namespace win {

DWORD GetFileAttributesW(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

BOOL CreateDirectoryW(const std::wstring& path, const void* securityAttributes) {
  platform_windows::SystemSecurityAttributes attributes(securityAttributes);
  return ::CreateDirectoryW(path.c_str(), attributes.get());
}

BOOL RemoveDirectoryW(const std::wstring& path) { return ::RemoveDirectoryW(path.c_str()); }

BOOL DeleteFileW(const std::wstring& path) { return ::DeleteFileW(path.c_str()); }

BOOL MoveFileExW(const std::wstring& from, const std::wstring& to, DWORD flags) {
  // A move scheduled for the restart with no target is a deletion, which the
  // system wants as a null target.
  const bool deletion = (flags & MOVEFILE_DELAY_UNTIL_REBOOT) && to.empty();
  return ::MoveFileExW(from.c_str(), deletion ? nullptr : to.c_str(), flags);
}

BOOL CopyFileW(const std::wstring& from, const std::wstring& to, BOOL failIfExists) {
  return ::CopyFileW(from.c_str(), to.c_str(), failIfExists);
}

int SHCreateDirectory(void* window, const std::wstring& path) {
  return ::SHCreateDirectoryExW(static_cast<::HWND>(window), path.c_str(), nullptr);
}

int SHFileOperationW(SHFILEOPSTRUCTW* operation) {
  if (!operation) return static_cast<int>(ERROR_INVALID_PARAMETER);
  const std::wstring from = ShellPathList(operation->pFrom);
  const std::wstring to = ShellPathList(operation->pTo);
  ::SHFILEOPSTRUCTW system{};
  system.hwnd = static_cast<::HWND>(operation->hwnd);
  system.wFunc = operation->wFunc;
  system.pFrom = from.c_str();
  system.pTo = operation->pTo.empty() ? nullptr : to.c_str();
  system.fFlags = static_cast<::FILEOP_FLAGS>(operation->fFlags);
  const int result = ::SHFileOperationW(&system);
  operation->fAnyOperationsAborted = system.fAnyOperationsAborted ? TRUE : FALSE;
  return result;
}

HANDLE FindFirstFileW(const std::wstring& pattern, WIN32_FIND_DATAW* data) {
  if (!data) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return Wrapped(kNoHandle);
  }
  ::WIN32_FIND_DATAW found{};
  const ::HANDLE find = ::FindFirstFileW(pattern.c_str(), &found);
  if (find != kNoHandle) FillFindData(found, data);
  return Wrapped(find);
}

BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
  if (!data) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(Native(find), &found)) return FALSE;
  FillFindData(found, data);
  return TRUE;
}

BOOL FindClose(HANDLE find) { return ::FindClose(Native(find)); }

}  // namespace win
