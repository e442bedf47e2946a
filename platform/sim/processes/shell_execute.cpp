// ShellExecuteExW and CreateProcessW over the machine's process start, and
// the security records they take.
#include "platform/shell_execute.h"

#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/sim/machine/last_error.h"
#include "platform/process.h"
#include "platform/sim/processes/program_search.h"
#include "platform/sim/registry/registry_store.h"

namespace win {

namespace {

constexpr DWORD kShellExecuteInfoSize32 = 60;
constexpr DWORD kShellExecuteInfoSize64 = 112;
constexpr DWORD DETACHED_PROCESS = 0x00000008;

using platform::FailWith;

std::wstring Extension(const std::wstring& path) {
  std::size_t slash = path.rfind(L'\\');
  std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return std::wstring();
  return platform::RegistryFold(path.substr(dot));
}

void* InstanceResult(DWORD value) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)); }

BOOL ShellFailure(SHELLEXECUTEINFOW* info, DWORD error) {
  DWORD code = error == ERROR_FILE_NOT_FOUND    ? SE_ERR_FNF
               : error == ERROR_PATH_NOT_FOUND  ? SE_ERR_PNF
               : error == ERROR_NO_ASSOCIATION  ? SE_ERR_NOASSOC
               : error == ERROR_BAD_EXE_FORMAT  ? ERROR_BAD_FORMAT
                                                : SE_ERR_ACCESSDENIED;
  info->hInstApp = InstanceResult(code);
  return FailWith(error, FALSE);
}

// The host descriptor a standard-stream handle stands for; -1 for a null
// handle (the stream goes nowhere), -2 for a handle that cannot be inherited.
int StreamDescriptor(HANDLE handle) {
  if (!handle || handle == INVALID_HANDLE_VALUE) return -1;
  int fd = platform::InheritableFileDescriptor(handle);
  return fd >= 0 ? fd : -2;
}

}  // namespace

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
  if (!info || (info->cbSize != kShellExecuteInfoSize32 && info->cbSize != kShellExecuteInfoSize64)) {
    return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  }
  info->hProcess = nullptr;
  if (!info->lpFile || !*info->lpFile) return ShellFailure(info, ERROR_FILE_NOT_FOUND);
  const std::wstring file = info->lpFile;
  if (platform::ShouldFail("ShellExecuteEx", file)) return ShellFailure(info, GetLastError());
  std::wstring verb = info->lpVerb ? platform::RegistryFold(info->lpVerb) : std::wstring();
  if (!verb.empty() && verb != L"open" && verb != L"runas") return ShellFailure(info, ERROR_NO_ASSOCIATION);
  std::vector<std::wstring> folders;
  if (info->lpDirectory && *info->lpDirectory) folders.push_back(info->lpDirectory);
  for (const auto& folder : platform::SystemSearchFolders()) folders.push_back(folder);
  auto program = platform::FindProgramFile(file, folders);
  if (!program) return ShellFailure(info, ERROR_FILE_NOT_FOUND);
  if (*program != file && platform::ShouldFail("ShellExecuteEx", *program)) return ShellFailure(info, GetLastError());
  std::wstring extension = Extension(*program);
  if (extension != L".exe" && extension != L".com") return ShellFailure(info, ERROR_NO_ASSOCIATION);
  std::wstring commandLine = L"\"" + *program + L"\"";
  if (info->lpParameters && *info->lpParameters) commandLine += L" " + std::wstring(info->lpParameters);
  platform::ProcessStartOptions options;
  options.detachedConsole = true;
  DWORD id = platform::StartProcess(*program, commandLine, options);
  if (!id) {
    DWORD error = GetLastError();
    return ShellFailure(info, error == ERROR_BAD_FORMAT ? ERROR_BAD_EXE_FORMAT : error);
  }
  info->hInstApp = InstanceResult(42);
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CreateProcessW(const wchar_t* applicationName, const std::wstring& commandLine,
                    const SECURITY_ATTRIBUTES*, const SECURITY_ATTRIBUTES*, BOOL inheritHandles,
                    DWORD creationFlags, const void*, const wchar_t*, const STARTUPINFOW* startup,
                    PROCESS_INFORMATION* information) {
  if (!information) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  std::wstring asWritten = applicationName ? std::wstring(applicationName) : commandLine;
  if (platform::ShouldFail("CreateProcess", asWritten)) return FALSE;
  // Searched like Windows: the caller's own folder, then the system folders.
  std::vector<std::wstring> folders;
  const std::wstring& self = platform::CurrentProcessRecord().imagePath;
  if (self.rfind(L'\\') != std::wstring::npos) folders.push_back(self.substr(0, self.rfind(L'\\')));
  for (const auto& folder : platform::SystemSearchFolders()) folders.push_back(folder);
  auto program = applicationName ? platform::FindProgramFile(applicationName, folders)
                                 : platform::ProgramOfCommandLine(commandLine, folders);
  if (!program) return FailWith(ERROR_FILE_NOT_FOUND, FALSE);
  platform::ProcessStartOptions options;
  options.detachedConsole = (creationFlags & (CREATE_NEW_CONSOLE | CREATE_NO_WINDOW | DETACHED_PROCESS)) != 0;
  if (startup && (startup->dwFlags & STARTF_USESTDHANDLES)) {
    options.detachedConsole = true;
    if (inheritHandles) {
      int in = StreamDescriptor(startup->hStdInput);
      int out = StreamDescriptor(startup->hStdOutput);
      int error = StreamDescriptor(startup->hStdError);
      if (in == -2 || out == -2 || error == -2) return FailWith(ERROR_INVALID_HANDLE, FALSE);
      options.stdinDescriptor = in;
      options.stdoutDescriptor = out;
      options.stderrDescriptor = error;
    }
  }
  std::wstring line = commandLine.empty() ? L"\"" + *program + L"\"" : commandLine;
  DWORD id = platform::StartProcess(*program, line, options);
  if (!id) return FALSE;
  information->dwProcessId = id;
  information->dwThreadId = id + 2;
  information->hProcess = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  information->hThread = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
  if (!descriptor) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  if (revision != SECURITY_DESCRIPTOR_REVISION) return FailWith(ERROR_UNKNOWN_REVISION, FALSE);
  *descriptor = SECURITY_DESCRIPTOR();
  descriptor->revision = static_cast<BYTE>(revision);
  return TRUE;
}

BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, const void* dacl, BOOL defaulted) {
  if (!descriptor || descriptor->revision != SECURITY_DESCRIPTOR_REVISION) {
    return FailWith(ERROR_INVALID_SECURITY_DESCR, FALSE);
  }
  descriptor->daclPresent = present != FALSE;
  descriptor->dacl = present ? dacl : nullptr;
  descriptor->daclDefaulted = present && defaulted;
  return TRUE;
}

}  // namespace win
