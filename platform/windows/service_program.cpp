// The service program side on the system's calls. The system calls a
// service's main function and its control handler with its own calling
// convention (WINAPI), which the interface's function types do not have:
// trampolines of that convention call them.
#include "platform/services.h"

#include <atomic>

#include "platform/windows/windows_api.h"

namespace win {

namespace {

// An own-process service program runs one service: the first entry of the
// table it gives the dispatcher, whatever name that entry has.
std::atomic<LPSERVICE_MAIN_FUNCTIONW> g_serviceMain{nullptr};

void WINAPI ServiceMainEntry(::DWORD argc, ::LPWSTR* argv) {
  if (LPSERVICE_MAIN_FUNCTIONW main = g_serviceMain.load()) main(argc, argv);
}

// The handler travels as the system's context argument of the extended
// handler, so that each registration keeps its own.
::DWORD WINAPI HandlerEntry(::DWORD control, ::DWORD, void*, void* context) {
  reinterpret_cast<LPHANDLER_FUNCTION>(context)(control);
  return NO_ERROR;
}

}  // namespace

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  if (!table || !table[0].lpServiceProc) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_serviceMain = table[0].lpServiceProc;
  ::SERVICE_TABLE_ENTRYW native[2] = {
      {const_cast<wchar_t*>(table[0].lpServiceName ? table[0].lpServiceName : L""), ServiceMainEntry},
      {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherW(native);
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(const std::wstring& serviceName, LPHANDLER_FUNCTION handler) {
  if (!handler) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ::SERVICE_STATUS_HANDLE status =
      ::RegisterServiceCtrlHandlerExW(serviceName.c_str(), HandlerEntry, reinterpret_cast<void*>(handler));
  return reinterpret_cast<SERVICE_STATUS_HANDLE>(status);
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
  if (!status) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SERVICE_STATUS native{};
  native.dwServiceType = status->dwServiceType;
  native.dwCurrentState = status->dwCurrentState;
  native.dwControlsAccepted = status->dwControlsAccepted;
  native.dwWin32ExitCode = status->dwWin32ExitCode;
  native.dwServiceSpecificExitCode = status->dwServiceSpecificExitCode;
  native.dwCheckPoint = status->dwCheckPoint;
  native.dwWaitHint = status->dwWaitHint;
  return ::SetServiceStatus(reinterpret_cast<::SERVICE_STATUS_HANDLE>(handle), &native);
}

}  // namespace win
