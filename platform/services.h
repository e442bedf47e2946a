// The service control manager of the simulated machine, by the Windows names.
// Services are stored where Windows keeps them, one key each under
// HKLM\SYSTEM\CurrentControlSet\Services (Type, Start, ErrorControl,
// ImagePath as REG_EXPAND_SZ, DisplayName, ObjectName, FailureActions as
// REG_BINARY in the SERVICE_FAILURE_ACTIONS layout); their running state is
// kept in the machine folder, so every process of the machine sees it.
//
// A Win32 own-process service runs a real program of its image; it reaches
// RUNNING when that program reports it through the service program API below,
// and a stop request is delivered to it there. A kernel-driver service whose
// image file is present "loads" (after its start delay) and exposes the
// control device "\\.\<service name>" while it runs.
//
// The keys are the service database: a service whose key is removed directly
// (SHDeleteKeyW) is gone at once, where Windows would keep it until restart.
// SERVICE_CONTROL_INTERROGATE is answered from the status the program last
// reported, without a round trip to its handler.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win {

struct ServiceHandleObject;
using SC_HANDLE = ServiceHandleObject*;

constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
constexpr DWORD DELETE = 0x10000;

constexpr DWORD SERVICE_KERNEL_DRIVER = 0x01;
constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x02;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;

constexpr DWORD SERVICE_BOOT_START = 0;
constexpr DWORD SERVICE_SYSTEM_START = 1;
constexpr DWORD SERVICE_AUTO_START = 2;
constexpr DWORD SERVICE_DEMAND_START = 3;
constexpr DWORD SERVICE_DISABLED = 4;

constexpr DWORD SERVICE_ERROR_IGNORE = 0;
constexpr DWORD SERVICE_ERROR_NORMAL = 1;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;

constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;

constexpr DWORD SERVICE_CONFIG_DESCRIPTION = 1;
constexpr DWORD SERVICE_CONFIG_FAILURE_ACTIONS = 2;

struct SERVICE_DESCRIPTIONW {
  const wchar_t* lpDescription = nullptr;
};

constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr DWORD ERROR_DATABASE_DOES_NOT_EXIST = 1065;
constexpr DWORD ERROR_PROCESS_ABORTED = 1067;
constexpr DWORD ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_DUPLICATE_SERVICE_NAME = 1078;

struct SERVICE_STATUS {
  DWORD dwServiceType = 0;
  DWORD dwCurrentState = 0;
  DWORD dwControlsAccepted = 0;
  DWORD dwWin32ExitCode = 0;
  DWORD dwServiceSpecificExitCode = 0;
  DWORD dwCheckPoint = 0;
  DWORD dwWaitHint = 0;
};

enum SC_ACTION_TYPE : DWORD {
  SC_ACTION_NONE = 0,
  SC_ACTION_RESTART = 1,
  SC_ACTION_REBOOT = 2,
  SC_ACTION_RUN_COMMAND = 3,
};

struct SC_ACTION {
  SC_ACTION_TYPE Type = SC_ACTION_NONE;
  DWORD Delay = 0;
};

struct SERVICE_FAILURE_ACTIONSW {
  DWORD dwResetPeriod = 0;
  const wchar_t* lpRebootMsg = nullptr;
  const wchar_t* lpCommand = nullptr;
  DWORD cActions = 0;
  SC_ACTION* lpsaActions = nullptr;
};

// `machine` and `database` must be null (the local machine, the active
// database). Fails with ERROR_ACCESS_DENIED when a fault "OpenSCManager" is armed.
SC_HANDLE OpenSCManagerW(const wchar_t* machine, const wchar_t* database, DWORD access);
// ERROR_SERVICE_DOES_NOT_EXIST for an unknown name (names ignore case).
SC_HANDLE OpenServiceW(SC_HANDLE manager, const std::wstring& name, DWORD access);
// Writes the service's key. An existing name fails with ERROR_SERVICE_EXISTS
// (ERROR_SERVICE_MARKED_FOR_DELETE while a deleted one still has handles).
// A null account means LocalSystem.
SC_HANDLE CreateServiceW(SC_HANDLE manager, const std::wstring& name, const std::wstring& displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const std::wstring& binaryPath,
                         const wchar_t* loadOrderGroup, DWORD* tagId, const wchar_t* dependencies,
                         const wchar_t* account, const wchar_t* password);
// A stopped service starts: a driver goes to RUNNING after its start delay
// when its image file exists (ERROR_FILE_NOT_FOUND otherwise); an own-process
// service's program is started and the call returns once that program has
// connected to the service controller (ERROR_SERVICE_REQUEST_TIMEOUT when it
// ends or does not connect within 30 s). ERROR_SERVICE_ALREADY_RUNNING when
// it is not stopped.
BOOL StartServiceW(SC_HANDLE service, DWORD argc, const wchar_t** argv);
// SERVICE_CONTROL_INTERROGATE fills `status`; on a stopped service it fails
// with ERROR_SERVICE_NOT_ACTIVE and still reports SERVICE_STOPPED.
// SERVICE_CONTROL_STOP asks a running service to stop (a driver stops after
// its stop delay; a program gets the request through its handler) and fills
// `status` with STOP_PENDING or STOPPED; on a stopped service it fails with
// ERROR_SERVICE_NOT_ACTIVE. A null or invalid handle fails with
// ERROR_INVALID_HANDLE and leaves `status` as it was.
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
// Marks the service for deletion; its key goes when the last handle to it (in
// any process of the machine) is closed and it is stopped.
BOOL DeleteService(SC_HANDLE service);
// SERVICE_CONFIG_FAILURE_ACTIONS with a SERVICE_FAILURE_ACTIONSW: stored as
// the FailureActions value (a null lpsaActions keeps the actions and reset
// period; a null lpRebootMsg or lpCommand keeps the RebootMessage or
// FailureCommand value, an empty one removes it). Restart actions need
// SERVICE_START access besides SERVICE_CHANGE_CONFIG. SERVICE_CONFIG_DESCRIPTION
// with a SERVICE_DESCRIPTIONW sets the Description value. Other levels fail
// with ERROR_INVALID_LEVEL.
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, const void* info);
BOOL CloseServiceHandle(SC_HANDLE handle);

// The service program side: what a program started by the service
// controller calls.
using LPSERVICE_MAIN_FUNCTIONW = void (*)(DWORD argc, wchar_t** argv);
struct SERVICE_TABLE_ENTRYW {
  const wchar_t* lpServiceName = nullptr;
  LPSERVICE_MAIN_FUNCTIONW lpServiceProc = nullptr;
};
// Connects to the service controller and runs the service's main function on
// a thread of its own; returns when the service has reported SERVICE_STOPPED.
// Fails with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the program was
// not started by the service controller.
BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table);
struct ServiceStatusObject;
using SERVICE_STATUS_HANDLE = ServiceStatusObject*;
using LPHANDLER_FUNCTION = void (*)(DWORD control);
// The handler is called on the dispatcher's thread for every control request.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(const std::wstring& serviceName, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

}  // namespace win

namespace platform {

// Test seam: how long a driver service of this name takes to reach RUNNING
// after a start request and STOPPED after a stop request, in milliseconds
// (-1: never). Kept in the machine, so child processes see it. Default 0.
void SetServiceDelays(const std::wstring& serviceName, int startMilliseconds, int stopMilliseconds);
// Test seam: moves the clock that these delays are measured by forward, for
// every process of the machine, so that a test whose pause is injected can
// let a driver's start take "5 s" without waiting for them.
// On Windows a driver takes the time it takes: both seams change nothing.
void AdvanceServiceClock(int milliseconds);

// A service as an inspection tool shows it.
struct ServiceSummary {
  std::wstring name;
  std::wstring displayName;
  win::DWORD type = 0;
  win::DWORD startType = 0;
  std::wstring imagePath;
  std::wstring account;
  win::DWORD state = win::SERVICE_STOPPED;
  win::DWORD processId = 0;
  bool markedForDelete = false;
  // The FailureActions value decoded: reset period and each action.
  bool hasFailureActions = false;
  win::DWORD resetPeriod = 0;
  std::vector<win::SC_ACTION> actions;
};
std::vector<ServiceSummary> ListServices();

}  // namespace platform
