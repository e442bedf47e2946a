// Processes, their snapshot and tokens on the system's calls. The interface's
// DWORD is 32 bits like the system's, but not the same type: values pass
// through locals of the system's type.
#include "platform/process.h"

#include <algorithm>
#include <vector>

#include "platform/windows/windows_api.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace win {

using platform_windows::Native;
using platform_windows::Wrapped;

DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
HANDLE GetCurrentProcess() { return Wrapped(::GetCurrentProcess()); }
HANDLE GetCurrentThread() { return Wrapped(::GetCurrentThread()); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64) {
  if (!wow64) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::BOOL answer = FALSE;
  if (!::IsWow64Process(Native(process), &answer)) return FALSE;
  *wow64 = answer ? TRUE : FALSE;
  return TRUE;
}

BOOL K32EnumProcesses(DWORD* ids, DWORD capacity, DWORD* returned) {
  if (!ids || !returned) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The system counts bytes where the interface counts entries.
  std::vector<::DWORD> found(std::max<DWORD>(capacity, 1));
  ::DWORD bytes = 0;
  if (!::K32EnumProcesses(found.data(), static_cast<::DWORD>(capacity * sizeof(::DWORD)), &bytes)) return FALSE;
  const DWORD count = std::min<DWORD>(capacity, bytes / sizeof(::DWORD));
  std::copy(found.begin(), found.begin() + count, ids);
  *returned = count;
  return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId) {
  return Wrapped(::OpenProcess(access, inherit, processId));
}

DWORD GetProcessId(HANDLE process) { return ::GetProcessId(Native(process)); }

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  if (!exitCode) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::DWORD code = 0;
  if (!::GetExitCodeProcess(Native(process), &code)) return FALSE;
  *exitCode = code;
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(Native(process), exitCode); }

namespace {

// A path cut to the buffer ends with NUL and reports the buffer as too
// small, as Windows 7 and later do; Wine (like Windows XP) leaves it without
// its NUL.
DWORD CutToBuffer(DWORD copied, wchar_t* buffer, DWORD size) {
  if (!buffer || size == 0 || copied < size) return copied;
  buffer[size - 1] = L'\0';
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

}  // namespace

DWORD K32GetModuleFileNameExW(HANDLE process, HMODULE module, wchar_t* buffer, DWORD size) {
  return CutToBuffer(::K32GetModuleFileNameExW(Native(process), Native(module), buffer, size), buffer, size);
}

DWORD K32GetProcessImageFileNameW(HANDLE process, wchar_t* buffer, DWORD size) {
  return ::K32GetProcessImageFileNameW(Native(process), buffer, size);
}

DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD size) {
  return CutToBuffer(::GetModuleFileNameW(Native(module), buffer, size), buffer, size);
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  return Wrapped(::CreateToolhelp32Snapshot(flags, processId));
}

namespace {

BOOL SnapshotEntry(HANDLE snapshot, PROCESSENTRY32W* entry, bool first) {
  if (!entry) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::PROCESSENTRY32W native{};
  native.dwSize = sizeof native;
  const ::BOOL found = first ? ::Process32FirstW(Native(snapshot), &native) : ::Process32NextW(Native(snapshot), &native);
  if (!found) return FALSE;
  entry->th32ProcessID = native.th32ProcessID;
  entry->th32ParentProcessID = native.th32ParentProcessID;
  entry->cntThreads = native.cntThreads;
  entry->szExeFile = native.szExeFile;
  return TRUE;
}

}  // namespace

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) { return SnapshotEntry(snapshot, entry, true); }
BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) { return SnapshotEntry(snapshot, entry, false); }

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  if (!token) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::HANDLE opened = nullptr;
  if (!::OpenProcessToken(Native(process), access, &opened)) return FALSE;
  *token = Wrapped(opened);
  return TRUE;
}

BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token) {
  if (!token) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ::HANDLE opened = nullptr;
  if (!::OpenThreadToken(Native(thread), access, openAsSelf, &opened)) return FALSE;
  *token = Wrapped(opened);
  return TRUE;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) { return ::ImpersonateLoggedOnUser(Native(token)); }
BOOL RevertToSelf() { return ::RevertToSelf(); }

}  // namespace win
