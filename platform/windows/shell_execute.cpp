// ShellExecuteExW and CreateProcessW on the system's calls, with the
// interface's records copied into the system's, and the security records.
#include "platform/shell_execute.h"

#include <vector>

#include "platform/windows/security_attributes.h"

#include <shellapi.h>

static_assert(win::kShellExecuteInfoSize == sizeof(::SHELLEXECUTEINFOW),
              "cbSize that product code passes is the system's structure size on this target");

namespace win {

using platform_windows::Native;
using platform_windows::Wrapped;

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  // A caller built with another structure width is refused before the
  // system could read a structure laid out for another target.
  if (!info || info->cbSize != kShellExecuteInfoSize) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->hProcess = nullptr;
  ::SHELLEXECUTEINFOW native{};
  native.cbSize = sizeof native;
  native.fMask = info->fMask;
  native.hwnd = static_cast<::HWND>(info->hwnd);
  native.lpVerb = info->lpVerb;
  native.lpFile = info->lpFile;
  native.lpParameters = info->lpParameters;
  native.lpDirectory = info->lpDirectory;
  native.nShow = info->nShow;
  const ::BOOL started = ::ShellExecuteExW(&native);
  const ::DWORD error = ::GetLastError();
  info->hInstApp = native.hInstApp;
  if (started && (info->fMask & SEE_MASK_NOCLOSEPROCESS)) info->hProcess = Wrapped(native.hProcess);
  ::SetLastError(error);
  return started;
}

namespace {

// Whether a handle given as a standard stream can reach the program: the
// system would hand a handle that is not inheritable to the program as a
// number that names nothing there.
bool Inheritable(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return true;
  ::DWORD flags = 0;
  if (!::GetHandleInformation(Native(handle), &flags)) return true;  // left to the system to judge
  return (flags & HANDLE_FLAG_INHERIT) != 0;
}

}  // namespace

BOOL CreateProcessW(const wchar_t* applicationName, const std::wstring& commandLine,
                    const SECURITY_ATTRIBUTES* processAttributes, const SECURITY_ATTRIBUTES* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, const void* environment,
                    const wchar_t* currentDirectory, const STARTUPINFOW* startup, PROCESS_INFORMATION* information) {
  if (!information) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::STARTUPINFOW nativeStartup{};
  nativeStartup.cb = sizeof nativeStartup;
  if (startup) {
    nativeStartup.dwFlags = startup->dwFlags;
    nativeStartup.wShowWindow = startup->wShowWindow;
    if (startup->dwFlags & STARTF_USESTDHANDLES) {
      if (inheritHandles && (!Inheritable(startup->hStdInput) || !Inheritable(startup->hStdOutput) ||
                             !Inheritable(startup->hStdError))) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      nativeStartup.hStdInput = Native(startup->hStdInput);
      nativeStartup.hStdOutput = Native(startup->hStdOutput);
      nativeStartup.hStdError = Native(startup->hStdError);
    }
  }
  // The system may write into the command line it is given.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  platform_windows::NativeSecurity processSecurity(processAttributes);
  platform_windows::NativeSecurity threadSecurity(threadAttributes);
  ::PROCESS_INFORMATION started{};
  if (!::CreateProcessW(applicationName, line.data(), processSecurity.Get(), threadSecurity.Get(), inheritHandles,
                        creationFlags, const_cast<void*>(environment), currentDirectory, &nativeStartup, &started)) {
    return FALSE;
  }
  information->hProcess = Wrapped(started.hProcess);
  information->hThread = Wrapped(started.hThread);
  information->dwProcessId = started.dwProcessId;
  information->dwThreadId = started.dwThreadId;
  ::SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// The interface's descriptor is a plain record; NativeSecurity turns it into
// the system's when a call takes it.
BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
  if (!descriptor) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (revision != SECURITY_DESCRIPTOR_REVISION) {
    ::SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  *descriptor = SECURITY_DESCRIPTOR();
  descriptor->revision = static_cast<BYTE>(revision);
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, const void* dacl, BOOL defaulted) {
  if (!descriptor || descriptor->revision != SECURITY_DESCRIPTOR_REVISION) {
    ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  descriptor->daclPresent = present != FALSE;
  descriptor->dacl = present ? dacl : nullptr;
  descriptor->daclDefaulted = present && defaulted;
  return TRUE;
}

}  // namespace win
