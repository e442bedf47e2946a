// The service manager's data: each service's configuration where Windows
// keeps it (HKLM\SYSTEM\CurrentControlSet\Services\<name>, a key with a Type
// value) and its running state in the machine's state/services.json, shared
// by every process of the machine. Used by the controller side (services.cpp)
// and the service program side (service_program.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/processes/host_process.h"
#include "platform/services.h"

namespace platform {

constexpr const wchar_t* kServicesKey = L"HKLM\\SYSTEM\\CurrentControlSet\\Services";
// The variable through which a program started by the service manager learns
// which service it runs for.
constexpr const char* kServiceVariable = "BVLSIM_SERVICE";

struct ServiceConfig {
  std::wstring name;  // as the key is named
  win::DWORD type = 0;
  win::DWORD startType = 0;
  win::DWORD errorControl = 0;
  std::wstring imagePath;
  std::wstring displayName;
  std::wstring account;
  std::string failureActions;  // the FailureActions bytes; empty when not set
};

bool IsDriverType(win::DWORD type);

// A process holding handles to a service, with how many.
struct ServiceHolder {
  HostProcess process;
  int count = 0;
};

struct ServiceRuntime {
  win::DWORD state = win::SERVICE_STOPPED;
  long long pendingUntil = 0;  // machine ms when a driver's pending state ends; -1 never
  win::DWORD processId = 0;    // the program of an own-process service
  bool connected = false;      // its program reached StartServiceCtrlDispatcherW
  std::vector<std::wstring> arguments;  // StartServiceW's, for the service's main function
  win::DWORD controlsAccepted = 0;
  win::DWORD win32ExitCode = 0;
  win::DWORD specificExitCode = 0;
  win::DWORD checkPoint = 0;
  win::DWORD waitHint = 0;
  bool markedForDelete = false;
  std::vector<ServiceHolder> holders;
  std::uint64_t controlSequence = 0;   // control requests sent
  win::DWORD control = 0;              // the latest one
  std::uint64_t answeredSequence = 0;  // handled by the program
};

struct ServiceDelays {
  int start = 0;
  int stop = 0;
};

struct ServiceState {
  long long clockOffset = 0;  // added to the wall clock for service delays
  std::map<std::wstring, ServiceRuntime> services;  // by lower-case name
  std::map<std::wstring, ServiceDelays> delays;     // by lower-case name
  long long Now() const;
};

// The configurations of all services, or of one (name ignoring case).
std::vector<ServiceConfig> ReadServiceConfigs();
std::optional<ServiceConfig> ReadServiceConfig(const std::wstring& name);

// The state as it is now, brought up to date (drivers' delays run out,
// programs that ended, deleted services whose last handle went).
ServiceState ReadServiceState();
// Runs `change` on the up-to-date state under the exclusive lock and writes
// the state back when it differs (what bringing it up to date changed is
// written too). Services marked for deletion that have become stopped and
// unheld are deleted, keys and all, on the way. Returns what `change`
// returned, false also when a needed write failed.
bool ChangeServiceState(const std::function<bool(ServiceState&)>& change);

// The SERVICE_STATUS a service shows.
win::SERVICE_STATUS StatusOf(const ServiceConfig& config, const ServiceRuntime& runtime);

// FailureActions bytes: the SERVICE_FAILURE_ACTIONS header as Windows stores
// it (reset period, two zero pointers, count, and the actions' offset 20
// when there are actions) followed by the actions.
std::string EncodeFailureActions(win::DWORD resetPeriod, const std::vector<win::SC_ACTION>& actions);
bool DecodeFailureActions(const std::string& bytes, win::DWORD* resetPeriod, std::vector<win::SC_ACTION>* actions);

// Service names compare ignoring case.
std::wstring FoldServiceName(const std::wstring& name);

}  // namespace platform
