// The service control manager's controller side on the system's calls. The
// interface's records hold DWORD = uint32_t where the system's hold
// unsigned long: both 32 bits, copied field by field.
#include "platform/services.h"

#include <algorithm>
#include <cwctype>
#include <memory>
#include <vector>

#include "platform/windows/windows_api.h"

namespace win {

namespace {

::SC_HANDLE Native(SC_HANDLE handle) { return reinterpret_cast<::SC_HANDLE>(handle); }
SC_HANDLE Wrapped(::SC_HANDLE handle) { return reinterpret_cast<SC_HANDLE>(handle); }

void CopyStatus(const ::SERVICE_STATUS& from, SERVICE_STATUS* to) {
  to->dwServiceType = from.dwServiceType;
  to->dwCurrentState = from.dwCurrentState;
  to->dwControlsAccepted = from.dwControlsAccepted;
  to->dwWin32ExitCode = from.dwWin32ExitCode;
  to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->dwCheckPoint = from.dwCheckPoint;
  to->dwWaitHint = from.dwWaitHint;
}

}  // namespace

SC_HANDLE OpenSCManagerW(const wchar_t* machine, const wchar_t* database, DWORD access) {
  return Wrapped(::OpenSCManagerW(machine, database, access));
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const std::wstring& name, DWORD access) {
  return Wrapped(::OpenServiceW(Native(manager), name.c_str(), access));
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, const std::wstring& name, const std::wstring& displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const std::wstring& binaryPath,
                         const wchar_t* loadOrderGroup, DWORD* tagId, const wchar_t* dependencies,
                         const wchar_t* account, const wchar_t* password) {
  ::DWORD tag = 0;
  ::SC_HANDLE service = ::CreateServiceW(Native(manager), name.c_str(), displayName.empty() ? nullptr : displayName.c_str(),
                                         access, serviceType, startType, errorControl, binaryPath.c_str(),
                                         loadOrderGroup, tagId ? &tag : nullptr, dependencies, account, password);
  if (service && tagId) *tagId = tag;
  return Wrapped(service);
}

BOOL StartServiceW(SC_HANDLE service, DWORD argc, const wchar_t** argv) {
  return ::StartServiceW(Native(service), argc, argv);
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  if (!status) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SERVICE_STATUS native{};
  if (::ControlService(Native(service), control, &native)) {
    CopyStatus(native, status);
    return TRUE;
  }
  const ::DWORD error = ::GetLastError();
  // These refusals still report the service's status; any other failure
  // (a bad handle, no access) leaves `status` as it was.
  if (error == ERROR_SERVICE_NOT_ACTIVE || error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
      error == ERROR_INVALID_SERVICE_CONTROL) {
    if (native.dwCurrentState == 0) {
      // Not filled in by the refusal: asked for, and a service that is not
      // active is known to be stopped.
      if (!::QueryServiceStatus(Native(service), &native) && error == ERROR_SERVICE_NOT_ACTIVE) {
        native.dwCurrentState = SERVICE_STOPPED;
      }
    }
    if (native.dwCurrentState != 0) CopyStatus(native, status);
  }
  ::SetLastError(error);
  return FALSE;
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  if (!status) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::SERVICE_STATUS native{};
  if (!::QueryServiceStatus(Native(service), &native)) return FALSE;
  CopyStatus(native, status);
  return TRUE;
}

BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(Native(service)); }

BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, const void* info) {
  if (infoLevel == SERVICE_CONFIG_DESCRIPTION) {
    const auto* given = static_cast<const SERVICE_DESCRIPTIONW*>(info);
    ::SERVICE_DESCRIPTIONW native{given ? const_cast<wchar_t*>(given->lpDescription) : nullptr};
    return ::ChangeServiceConfig2W(Native(service), infoLevel, given ? &native : nullptr);
  }
  if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS) {
    const auto* given = static_cast<const SERVICE_FAILURE_ACTIONSW*>(info);
    if (!given) return ::ChangeServiceConfig2W(Native(service), infoLevel, nullptr);
    std::vector<::SC_ACTION> actions;
    if (given->lpsaActions) {
      for (DWORD i = 0; i < given->cActions; ++i) {
        actions.push_back(::SC_ACTION{static_cast<::SC_ACTION_TYPE>(given->lpsaActions[i].Type),
                                      given->lpsaActions[i].Delay});
      }
    }
    ::SERVICE_FAILURE_ACTIONSW native{};
    native.dwResetPeriod = given->dwResetPeriod;
    native.lpRebootMsg = const_cast<wchar_t*>(given->lpRebootMsg);
    native.lpCommand = const_cast<wchar_t*>(given->lpCommand);
    native.cActions = given->lpsaActions ? given->cActions : 0;
    native.lpsaActions = given->lpsaActions ? actions.data() : nullptr;
    return ::ChangeServiceConfig2W(Native(service), infoLevel, &native);
  }
  // Other levels' records are not part of the interface.
  ::SetLastError(ERROR_INVALID_LEVEL);
  return FALSE;
}

BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(Native(handle)); }

}  // namespace win

namespace platform {

// The start and stop delays of the simulated machine's drivers and their
// clock belong to the simulation: on Windows a driver takes what it takes,
// so these seams change nothing.
void SetServiceDelays(const std::wstring&, int, int) {}
void AdvanceServiceClock(int) {}

namespace {

struct ScHandleCloser {
  void operator()(::SC_HANDLE__* handle) const {
    if (handle) ::CloseServiceHandle(handle);
  }
};
using OwnedService = std::unique_ptr<::SC_HANDLE__, ScHandleCloser>;

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The configuration the manager keeps for a service: type, start type,
// image path and account.
void ReadConfig(::SC_HANDLE service, ServiceSummary* summary) {
  ::DWORD needed = 0;
  ::QueryServiceConfigW(service, nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  auto* config = reinterpret_cast<::QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (needed == 0 || !::QueryServiceConfigW(service, config, needed, &needed)) return;
  summary->type = config->dwServiceType;
  summary->startType = config->dwStartType;
  if (config->lpBinaryPathName) summary->imagePath = config->lpBinaryPathName;
  if (config->lpServiceStartName) summary->account = config->lpServiceStartName;
}

void ReadFailureActions(::SC_HANDLE service, ServiceSummary* summary) {
  ::DWORD needed = 0;
  ::QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  auto* failure = reinterpret_cast<::SERVICE_FAILURE_ACTIONSW*>(buffer.data());
  if (needed == 0 || !::QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed, &needed)) {
    return;
  }
  summary->hasFailureActions = failure->cActions > 0 && failure->lpsaActions;
  summary->resetPeriod = failure->dwResetPeriod;
  for (::DWORD i = 0; summary->hasFailureActions && i < failure->cActions; ++i) {
    win::SC_ACTION action;
    action.Type = static_cast<win::SC_ACTION_TYPE>(failure->lpsaActions[i].Type);
    action.Delay = failure->lpsaActions[i].Delay;
    summary->actions.push_back(action);
  }
}

// A service marked for deletion refuses every configuration change with
// ERROR_SERVICE_MARKED_FOR_DELETE: a change of nothing asks without changing.
bool MarkedForDelete(::SC_HANDLE service) {
  return !::ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr) &&
         ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

}  // namespace

std::vector<ServiceSummary> ListServices() {
  std::vector<ServiceSummary> list;
  OwnedService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT));
  if (!manager) return list;
  ::DWORD needed = 0;
  ::DWORD count = 0;
  ::DWORD resume = 0;
  std::vector<unsigned char> buffer;
  // Asked again while the list grows between the two calls.
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer.resize(needed);
    resume = 0;
    if (::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32 | SERVICE_DRIVER,
                                SERVICE_STATE_ALL, buffer.empty() ? nullptr : buffer.data(),
                                static_cast<::DWORD>(buffer.size()), &needed, &count, &resume, nullptr)) {
      break;
    }
    count = 0;
    if (::GetLastError() != ERROR_MORE_DATA) break;
    needed += static_cast<::DWORD>(buffer.size());
  }
  const auto* entries = reinterpret_cast<const ::ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
  for (::DWORD i = 0; i < count; ++i) {
    ServiceSummary s;
    s.name = entries[i].lpServiceName;
    s.displayName = entries[i].lpDisplayName ? entries[i].lpDisplayName : L"";
    s.type = entries[i].ServiceStatusProcess.dwServiceType;
    s.state = entries[i].ServiceStatusProcess.dwCurrentState;
    s.processId = entries[i].ServiceStatusProcess.dwProcessId;
    OwnedService service(::OpenServiceW(manager.get(), entries[i].lpServiceName,
                                        SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG));
    if (!service) service.reset(::OpenServiceW(manager.get(), entries[i].lpServiceName, SERVICE_QUERY_CONFIG));
    if (service) {
      ReadConfig(service.get(), &s);
      ReadFailureActions(service.get(), &s);
      s.markedForDelete = MarkedForDelete(service.get());
    }
    list.push_back(s);
  }
  std::sort(list.begin(), list.end(),
            [](const ServiceSummary& a, const ServiceSummary& b) { return Folded(a.name) < Folded(b.name); });
  return list;
}

}  // namespace platform
