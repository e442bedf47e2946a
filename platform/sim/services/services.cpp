// The service control manager's controller side: the SC_HANDLE calls that
// create, open, start, control, query, delete and configure services.
#include "platform/services.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/sim/machine/last_error.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/images/pe_image.h"
#include "platform/process.h"
#include "platform/sim/processes/program_search.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/services/service_store.h"
#include "platform/shell_execute.h"

namespace win {

struct ServiceHandleObject {
  bool manager = false;
  DWORD access = 0;
  std::wstring name;  // the service's name as its key has it
};

}  // namespace win

namespace platform {

namespace {

using win::BOOL;
using win::DWORD;
using win::SC_HANDLE;

constexpr int kControlTimeout = 30000;

std::mutex g_handlesMutex;
std::set<SC_HANDLE>& LiveHandles() {
  static std::set<SC_HANDLE> handles;
  return handles;
}

SC_HANDLE Register(win::ServiceHandleObject* object) {
  std::lock_guard<std::mutex> guard(g_handlesMutex);
  LiveHandles().insert(object);
  return object;
}

// A copy of what a live handle holds.
std::optional<win::ServiceHandleObject> Lookup(SC_HANDLE handle) {
  std::lock_guard<std::mutex> guard(g_handlesMutex);
  if (!LiveHandles().count(handle)) return std::nullopt;
  return *handle;
}

// This process's holder entry of a service gains or loses one handle.
void Hold(ServiceState& state, const std::wstring& name, int delta) {
  ServiceRuntime& r = state.services[FoldServiceName(name)];
  HostProcess self = CurrentHostProcess();
  for (auto it = r.holders.begin(); it != r.holders.end(); ++it) {
    if (it->process.pid == self.pid && it->process.start == self.start) {
      it->count += delta;
      if (it->count <= 0) r.holders.erase(it);
      return;
    }
  }
  if (delta > 0) r.holders.push_back(ServiceHolder{self, delta});
}

// The service a handle names, checked for the access the call needs.
bool ServiceOf(SC_HANDLE handle, DWORD access, win::ServiceHandleObject* object) {
  auto found = Lookup(handle);
  if (!found || found->manager) return FailWith(win::ERROR_INVALID_HANDLE, false);
  if ((found->access & access) != access) return FailWith(win::ERROR_ACCESS_DENIED, false);
  *object = *found;
  return true;
}

bool ValidServiceName(const std::wstring& name) {
  return !name.empty() && name.size() <= 256 && name.find_first_of(L"/\\") == std::wstring::npos;
}

std::string Utf16Text(const std::wstring& text) { return WideToUtf16Le(text) + std::string(2, '\0'); }

std::string DwordBytes(DWORD value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

void SetValue(RegistryKeyRecord& key, const std::wstring& name, DWORD type, const std::string& data) {
  key.values[RegistryFold(name)] = RegistryValue{name, type, data};
}

std::wstring ServiceKey(const std::wstring& name) { return std::wstring(kServicesKey) + L"\\" + name; }

// The file a driver's ImagePath names: "%SystemRoot%\...", "\SystemRoot\...",
// "\??\C:\..." or a path relative to the Windows folder.
std::wstring DriverImageFile(const std::wstring& imagePath) {
  std::wstring path = ExpandMachineEnvironment(imagePath);
  if (path.compare(0, 4, L"\\??\\") == 0) path = path.substr(4);
  const std::wstring systemRoot = L"\\systemroot\\";
  if (RegistryFold(path.substr(0, systemRoot.size())) == systemRoot) path = L"C:\\Windows\\" + path.substr(systemRoot.size());
  if (path.size() < 2 || path[1] != L':') path = L"C:\\Windows\\" + path;
  return path;
}

// Whether a driver image can load: ERROR_SUCCESS, or why not.
DWORD DriverImageError(const std::wstring& imagePath) {
  auto host = ToHostPath(DriverImageFile(imagePath));
  std::error_code error;
  if (!host || !std::filesystem::is_regular_file(*host, error)) return win::ERROR_FILE_NOT_FOUND;
  std::ifstream in(*host, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  return ParsePeLayout(head) ? win::ERROR_SUCCESS : win::ERROR_BAD_EXE_FORMAT;
}

// The machine account a service's ObjectName stands for.
std::string AccountUser(const std::wstring& account) {
  std::wstring folded = RegistryFold(account);
  if (folded.empty() || folded == L"localsystem" || folded == L"nt authority\\system") return "SYSTEM";
  if (folded == L"nt authority\\localservice") return "LOCAL SERVICE";
  if (folded == L"nt authority\\networkservice") return "NETWORK SERVICE";
  std::wstring user = account.compare(0, 2, L".\\") == 0 ? account.substr(2) : account;
  return WideToUtf8(user);
}

// The service manager's own process, parent of every service program.
DWORD ServicesProcessId() {
  for (const ProcessRecord& r : ListProcesses()) {
    std::wstring image = RegistryFold(r.imagePath);
    if (image.size() >= 13 && image.compare(image.size() - 13, 13, L"\\services.exe") == 0) return r.id;
  }
  return 0;
}

int DelayOf(const ServiceState& state, const std::wstring& name, bool start) {
  auto it = state.delays.find(FoldServiceName(name));
  if (it == state.delays.end()) return 0;
  return start ? it->second.start : it->second.stop;
}

// Enters a driver's pending state, or its end state at once without a delay.
void BeginDriverTransition(ServiceRuntime& r, const ServiceState& state, int delay, bool start) {
  if (delay == 0) {
    r.state = start ? win::SERVICE_RUNNING : win::SERVICE_STOPPED;
    return;
  }
  r.state = start ? win::SERVICE_START_PENDING : win::SERVICE_STOP_PENDING;
  r.pendingUntil = delay < 0 ? -1 : state.Now() + delay;
}

void Fill(win::SERVICE_STATUS* status, const ServiceConfig& config, const ServiceRuntime& runtime) {
  if (status) *status = StatusOf(config, runtime);
}

BOOL StartOwnProcess(const ServiceConfig& config, DWORD argc, const wchar_t** argv);
BOOL SendControl(const ServiceConfig& config, DWORD control, win::SERVICE_STATUS* status);

}  // namespace

void SetServiceDelays(const std::wstring& serviceName, int startMilliseconds, int stopMilliseconds) {
  ChangeServiceState([&](ServiceState& state) {
    state.delays[FoldServiceName(serviceName)] = ServiceDelays{startMilliseconds, stopMilliseconds};
    return true;
  });
}

void AdvanceServiceClock(int milliseconds) {
  ChangeServiceState([&](ServiceState& state) {
    state.clockOffset += milliseconds;
    return true;
  });
}

std::vector<ServiceSummary> ListServices() {
  ServiceState state = ReadServiceState();
  std::vector<ServiceSummary> list;
  for (const ServiceConfig& config : ReadServiceConfigs()) {
    ServiceSummary s;
    s.name = config.name;
    s.displayName = config.displayName;
    s.type = config.type;
    s.startType = config.startType;
    s.imagePath = config.imagePath;
    s.account = config.account;
    auto it = state.services.find(FoldServiceName(config.name));
    if (it != state.services.end()) {
      s.state = it->second.state;
      s.processId = it->second.processId;
      s.markedForDelete = it->second.markedForDelete;
    }
    s.hasFailureActions = DecodeFailureActions(config.failureActions, &s.resetPeriod, &s.actions);
    list.push_back(s);
  }
  std::sort(list.begin(), list.end(),
            [](const ServiceSummary& a, const ServiceSummary& b) { return RegistryFold(a.name) < RegistryFold(b.name); });
  return list;
}

namespace {

BOOL StartOwnProcess(const ServiceConfig& config, DWORD argc, const wchar_t** argv) {
  const std::wstring folded = FoldServiceName(config.name);
  std::wstring commandLine = ExpandMachineEnvironment(config.imagePath);
  auto program = ProgramOfCommandLine(commandLine, SystemSearchFolders());
  auto abandon = [&](DWORD error) {
    ChangeServiceState([&](ServiceState& state) {
      ServiceRuntime& r = state.services[folded];
      r.state = win::SERVICE_STOPPED;
      r.processId = 0;
      r.connected = false;
      return true;
    });
    return FailWith(error, win::FALSE);
  };
  if (!program) return abandon(win::ERROR_FILE_NOT_FOUND);
  ProcessStartOptions options;
  options.detachedConsole = true;
  options.user = AccountUser(config.account);
  options.parentId = ServicesProcessId();
  options.environment.emplace_back(kServiceVariable, WideToUtf8(config.name));
  DWORD id = StartProcess(*program, commandLine, options);
  if (!id) return abandon(win::GetLastError());
  ChangeServiceState([&](ServiceState& state) {
    state.services[folded].processId = id;
    return true;
  });
  int hostPid = FindProcess(id) ? FindProcess(id)->hostPid : 0;
  bool connected = false;
  WaitForMachine(
      [&] {
        ServiceState state = ReadServiceState();
        auto it = state.services.find(folded);
        if (it == state.services.end() || it->second.state == win::SERVICE_STOPPED) return true;
        connected = it->second.connected;
        return connected;
      },
      kControlTimeout, {Machine::Current().StateFolder()}, hostPid);
  if (connected) return win::TRUE;
  // It ended or never connected: the service stays stopped.
  if (win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE, id)) {
    DWORD code = 0;
    if (win::GetExitCodeProcess(process, &code) && code == win::STILL_ACTIVE) win::TerminateProcess(process, 1);
    win::CloseHandle(process);
  }
  return abandon(win::ERROR_SERVICE_REQUEST_TIMEOUT);
}

// Delivers a control to a service's program and waits until its handler has
// run (or the program ends).
BOOL SendControl(const ServiceConfig& config, DWORD control, win::SERVICE_STATUS* status) {
  const std::wstring folded = FoldServiceName(config.name);
  std::uint64_t sequence = 0;
  DWORD processId = 0;
  DWORD refusal = win::ERROR_SUCCESS;
  ChangeServiceState([&](ServiceState& state) {
    ServiceRuntime& r = state.services[folded];
    Fill(status, config, r);
    if (r.state == win::SERVICE_STOPPED) {
      refusal = win::ERROR_SERVICE_NOT_ACTIVE;
    } else if (r.state != win::SERVICE_RUNNING || !r.connected) {
      refusal = win::ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    } else if (control == win::SERVICE_CONTROL_STOP && !(r.controlsAccepted & win::SERVICE_ACCEPT_STOP)) {
      refusal = win::ERROR_INVALID_SERVICE_CONTROL;
    }
    if (refusal != win::ERROR_SUCCESS) return false;
    sequence = ++r.controlSequence;
    r.control = control;
    processId = r.processId;
    return true;
  });
  if (refusal != win::ERROR_SUCCESS) return FailWith(refusal, win::FALSE);
  auto record = FindProcess(processId);
  bool answered = WaitForMachine(
      [&] {
        ServiceState state = ReadServiceState();
        auto it = state.services.find(folded);
        return it == state.services.end() || it->second.answeredSequence >= sequence ||
               it->second.state == win::SERVICE_STOPPED;
      },
      kControlTimeout, {Machine::Current().StateFolder()}, record ? record->hostPid : 0);
  ServiceState state = ReadServiceState();
  Fill(status, config, state.services[folded]);
  return answered ? win::TRUE : FailWith(win::ERROR_SERVICE_REQUEST_TIMEOUT, win::FALSE);
}

}  // namespace

}  // namespace platform

namespace win {

using platform::ChangeServiceState;
using platform::FailWith;
using platform::FoldServiceName;
using platform::ServiceRuntime;
using platform::ServiceState;

SC_HANDLE OpenSCManagerW(const wchar_t* machine, const wchar_t* database, DWORD access) {
  if (platform::ShouldFail("OpenSCManager")) return nullptr;
  if (machine && *machine) return FailWith(ERROR_INVALID_NAME, SC_HANDLE{nullptr});
  if (database && platform::RegistryFold(database) != L"servicesactive") {
    return FailWith(ERROR_DATABASE_DOES_NOT_EXIST, SC_HANDLE{nullptr});
  }
  auto* object = new ServiceHandleObject();
  object->manager = true;
  object->access = access;
  return platform::Register(object);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const std::wstring& name, DWORD access) {
  auto owner = platform::Lookup(manager);
  if (!owner || !owner->manager) return FailWith(ERROR_INVALID_HANDLE, SC_HANDLE{nullptr});
  if (platform::ShouldFail("OpenService", name)) return nullptr;
  if (!platform::ValidServiceName(name)) return FailWith(ERROR_INVALID_NAME, SC_HANDLE{nullptr});
  std::optional<platform::ServiceConfig> config;
  ChangeServiceState([&](ServiceState& state) {
    config = platform::ReadServiceConfig(name);
    if (!config) return false;
    platform::Hold(state, config->name, +1);
    return true;
  });
  if (!config) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, SC_HANDLE{nullptr});
  auto* object = new ServiceHandleObject();
  object->access = access;
  object->name = config->name;
  return platform::Register(object);
}

SC_HANDLE CreateServiceW(SC_HANDLE manager, const std::wstring& name, const std::wstring& displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const std::wstring& binaryPath,
                         const wchar_t* loadOrderGroup, DWORD* tagId, const wchar_t* dependencies,
                         const wchar_t* account, const wchar_t* password) {
  auto owner = platform::Lookup(manager);
  if (!owner || !owner->manager) return FailWith(ERROR_INVALID_HANDLE, SC_HANDLE{nullptr});
  if ((owner->access & SC_MANAGER_CREATE_SERVICE) != SC_MANAGER_CREATE_SERVICE) {
    return FailWith(ERROR_ACCESS_DENIED, SC_HANDLE{nullptr});
  }
  if (platform::ShouldFail("CreateService", name)) return nullptr;
  if (!platform::ValidServiceName(name)) return FailWith(ERROR_INVALID_NAME, SC_HANDLE{nullptr});
  const DWORD kind = serviceType & ~DWORD{0x100};  // SERVICE_INTERACTIVE_PROCESS
  bool driver = platform::IsDriverType(kind);
  bool validType = kind == SERVICE_KERNEL_DRIVER || kind == SERVICE_FILE_SYSTEM_DRIVER ||
                   kind == SERVICE_WIN32_OWN_PROCESS || kind == 0x20;
  bool validStart = startType <= SERVICE_DISABLED && (driver || startType >= SERVICE_AUTO_START);
  if (!validType || !validStart || errorControl > 3 || binaryPath.empty()) {
    return FailWith(ERROR_INVALID_PARAMETER, SC_HANDLE{nullptr});
  }
  const std::wstring shownName = displayName.empty() ? name : displayName;
  std::wstring accountName = account && *account ? account : (driver ? L"" : L"LocalSystem");
  DWORD error = ERROR_SUCCESS;
  std::wstring stored = name;
  ChangeServiceState([&](ServiceState& state) {
    auto runtime = state.services.find(FoldServiceName(name));
    if (runtime != state.services.end() && runtime->second.markedForDelete) {
      error = ERROR_SERVICE_MARKED_FOR_DELETE;
      return false;
    }
    for (const platform::ServiceConfig& other : platform::ReadServiceConfigs()) {
      if (FoldServiceName(other.name) == FoldServiceName(name)) error = ERROR_SERVICE_EXISTS;
      else if (platform::RegistryFold(other.displayName) == platform::RegistryFold(shownName)) error = ERROR_DUPLICATE_SERVICE_NAME;
      if (error != ERROR_SUCCESS) return false;
    }
    bool written = platform::ChangeRegistry([&](platform::RegistryTree& tree) {
      platform::RegistryKeyRecord& key = platform::EnsureRegistryKey(tree, platform::ServiceKey(name));
      stored = key.path.substr(key.path.rfind(L'\\') + 1);
      platform::SetValue(key, L"Type", REG_DWORD, platform::DwordBytes(serviceType));
      platform::SetValue(key, L"Start", REG_DWORD, platform::DwordBytes(startType));
      platform::SetValue(key, L"ErrorControl", REG_DWORD, platform::DwordBytes(errorControl));
      platform::SetValue(key, L"ImagePath", REG_EXPAND_SZ, platform::Utf16Text(binaryPath));
      platform::SetValue(key, L"DisplayName", REG_SZ, platform::Utf16Text(shownName));
      if (!accountName.empty()) platform::SetValue(key, L"ObjectName", REG_SZ, platform::Utf16Text(accountName));
      if (loadOrderGroup && *loadOrderGroup) platform::SetValue(key, L"Group", REG_SZ, platform::Utf16Text(loadOrderGroup));
      return true;
    });
    if (!written) {
      error = ERROR_ACCESS_DENIED;
      return false;
    }
    state.services[FoldServiceName(name)] = ServiceRuntime();
    platform::Hold(state, name, +1);
    return true;
  });
  if (error != ERROR_SUCCESS) return FailWith(error, SC_HANDLE{nullptr});
  if (tagId) *tagId = 0;
  auto* object = new ServiceHandleObject();
  object->access = access;
  object->name = stored;
  return platform::Register(object);
}

BOOL StartServiceW(SC_HANDLE service, DWORD argc, const wchar_t** argv) {
  ServiceHandleObject handle;
  if (!platform::ServiceOf(service, SERVICE_START, &handle)) return FALSE;
  if (platform::ShouldFail("StartService", handle.name)) return FALSE;
  auto config = platform::ReadServiceConfig(handle.name);
  if (!config) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  const std::wstring folded = FoldServiceName(handle.name);
  bool driver = platform::IsDriverType(config->type);
  DWORD error = ERROR_SUCCESS;
  ChangeServiceState([&](ServiceState& state) {
    ServiceRuntime& r = state.services[folded];
    if (r.markedForDelete) error = ERROR_SERVICE_MARKED_FOR_DELETE;
    else if (r.state != SERVICE_STOPPED) error = ERROR_SERVICE_ALREADY_RUNNING;
    else if (config->startType == SERVICE_DISABLED) error = ERROR_SERVICE_DISABLED;
    else if (driver) error = platform::DriverImageError(config->imagePath);
    if (error != ERROR_SUCCESS) return false;
    r.win32ExitCode = 0;
    r.specificExitCode = 0;
    r.checkPoint = 0;
    r.waitHint = 0;
    r.controlsAccepted = 0;
    if (driver) {
      platform::BeginDriverTransition(r, state, platform::DelayOf(state, handle.name, true), true);
      return true;
    }
    r.state = SERVICE_START_PENDING;
    r.processId = 0;
    r.connected = false;
    r.arguments.clear();
    for (DWORD i = 0; argv && i < argc; ++i) r.arguments.push_back(argv[i] ? argv[i] : L"");
    return true;
  });
  if (error != ERROR_SUCCESS) return FailWith(error, FALSE);
  if (driver) return TRUE;
  return platform::StartOwnProcess(*config, argc, argv);
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  DWORD needed = control == SERVICE_CONTROL_STOP          ? SERVICE_STOP
                 : control == SERVICE_CONTROL_INTERROGATE ? SERVICE_INTERROGATE
                                                          : SERVICE_USER_DEFINED_CONTROL;
  ServiceHandleObject handle;
  if (!platform::ServiceOf(service, needed, &handle)) return FALSE;
  if (!status) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  if (platform::ShouldFail("ControlService", handle.name)) return FALSE;
  auto config = platform::ReadServiceConfig(handle.name);
  if (!config) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  const std::wstring folded = FoldServiceName(handle.name);
  bool driver = platform::IsDriverType(config->type);
  if (control == SERVICE_CONTROL_INTERROGATE) {
    ServiceState state = platform::ReadServiceState();
    const ServiceRuntime& r = state.services[folded];
    platform::Fill(status, *config, r);
    return r.state == SERVICE_STOPPED ? FailWith(ERROR_SERVICE_NOT_ACTIVE, FALSE) : TRUE;
  }
  bool userControl = control >= 128 && control <= 255;
  if (control != SERVICE_CONTROL_STOP && (!userControl || driver)) return FailWith(ERROR_INVALID_SERVICE_CONTROL, FALSE);
  if (!driver) return platform::SendControl(*config, control, status);
  DWORD error = ERROR_SUCCESS;
  ChangeServiceState([&](ServiceState& state) {
    ServiceRuntime& r = state.services[folded];
    if (r.state == SERVICE_STOPPED) error = ERROR_SERVICE_NOT_ACTIVE;
    else if (r.state != SERVICE_RUNNING) error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (error == ERROR_SUCCESS) platform::BeginDriverTransition(r, state, platform::DelayOf(state, handle.name, false), false);
    platform::Fill(status, *config, r);
    return error == ERROR_SUCCESS;
  });
  return error == ERROR_SUCCESS ? TRUE : FailWith(error, FALSE);
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  ServiceHandleObject handle;
  if (!platform::ServiceOf(service, SERVICE_QUERY_STATUS, &handle)) return FALSE;
  if (!status) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  if (platform::ShouldFail("QueryServiceStatus", handle.name)) return FALSE;
  auto config = platform::ReadServiceConfig(handle.name);
  if (!config) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  ServiceState state = platform::ReadServiceState();
  platform::Fill(status, *config, state.services[FoldServiceName(handle.name)]);
  return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
  ServiceHandleObject handle;
  if (!platform::ServiceOf(service, DELETE, &handle)) return FALSE;
  if (platform::ShouldFail("DeleteService", handle.name)) return FALSE;
  if (!platform::ReadServiceConfig(handle.name)) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  DWORD error = ERROR_SUCCESS;
  ChangeServiceState([&](ServiceState& state) {
    ServiceRuntime& r = state.services[FoldServiceName(handle.name)];
    if (r.markedForDelete) {
      error = ERROR_SERVICE_MARKED_FOR_DELETE;
      return false;
    }
    r.markedForDelete = true;
    return true;
  });
  return error == ERROR_SUCCESS ? TRUE : FailWith(error, FALSE);
}

BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, const void* info) {
  ServiceHandleObject handle;
  if (!platform::ServiceOf(service, SERVICE_CHANGE_CONFIG, &handle)) return FALSE;
  if (platform::ShouldFail("ChangeServiceConfig2", handle.name)) return FALSE;
  if (infoLevel != SERVICE_CONFIG_FAILURE_ACTIONS && infoLevel != SERVICE_CONFIG_DESCRIPTION) {
    return FailWith(ERROR_INVALID_LEVEL, FALSE);
  }
  if (!platform::ReadServiceConfig(handle.name)) return FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  if (!info) return TRUE;  // nothing to change
  std::vector<SC_ACTION> actions;
  const auto* failure = static_cast<const SERVICE_FAILURE_ACTIONSW*>(info);
  if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS && failure->lpsaActions) {
    actions.assign(failure->lpsaActions, failure->lpsaActions + failure->cActions);
    for (const SC_ACTION& a : actions) {
      if (a.Type > SC_ACTION_RUN_COMMAND) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
      if (a.Type == SC_ACTION_RESTART && !(handle.access & SERVICE_START)) return FailWith(ERROR_ACCESS_DENIED, FALSE);
    }
  }
  bool written = platform::ChangeRegistry([&](platform::RegistryTree& tree) {
    auto key = tree.find(platform::RegistryFold(platform::ServiceKey(handle.name)));
    if (key == tree.end()) return false;
    auto& values = key->second.values;
    auto text = [&](const wchar_t* value, const wchar_t* name) {
      if (!value) return;
      if (!*value) values.erase(platform::RegistryFold(name));
      else platform::SetValue(key->second, name, REG_SZ, platform::Utf16Text(value));
    };
    if (infoLevel == SERVICE_CONFIG_DESCRIPTION) {
      text(static_cast<const SERVICE_DESCRIPTIONW*>(info)->lpDescription, L"Description");
      return true;
    }
    if (failure->lpsaActions) {
      platform::SetValue(key->second, L"FailureActions", REG_BINARY,
                         platform::EncodeFailureActions(failure->dwResetPeriod, actions));
    }
    text(failure->lpRebootMsg, L"RebootMessage");
    text(failure->lpCommand, L"FailureCommand");
    return true;
  });
  return written ? TRUE : FailWith(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  ServiceHandleObject* object = nullptr;
  {
    std::lock_guard<std::mutex> guard(platform::g_handlesMutex);
    if (platform::LiveHandles().erase(handle)) object = handle;
  }
  if (!object) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (!object->manager) {
    ChangeServiceState([&](ServiceState& state) {
      platform::Hold(state, object->name, -1);
      return true;
    });
  }
  delete object;
  return TRUE;
}

}  // namespace win
