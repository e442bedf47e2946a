// The service program side of the service manager: the dispatcher that a
// program started by StartServiceW enters, its control handler and the
// status it reports.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "platform/codepage.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/sim/services/service_store.h"
#include "platform/services.h"

namespace win {

struct ServiceStatusObject {
  std::wstring name;
};

}  // namespace win

namespace platform {

namespace {

// How long the dispatcher lets the service's main function finish after the
// service reported SERVICE_STOPPED, before it returns without it.
constexpr auto kMainFunctionGrace = std::chrono::seconds(5);

struct Dispatcher {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::wstring, win::LPHANDLER_FUNCTION> handlers;  // by lower-case name
  std::map<std::wstring, win::ServiceStatusObject*> statusHandles;
  std::atomic<bool> stopped{false};
  bool mainReturned = false;
};

Dispatcher& TheDispatcher() {
  static Dispatcher dispatcher;
  return dispatcher;
}

// The service this program was started for; empty when the service manager
// did not start it.
std::wstring OwnService() {
  const char* name = std::getenv(kServiceVariable);
  return name && *name ? Utf8ToWide(name) : std::wstring();
}

win::LPHANDLER_FUNCTION HandlerFor(const std::wstring& folded) {
  Dispatcher& d = TheDispatcher();
  std::lock_guard<std::mutex> guard(d.mutex);
  auto it = d.handlers.find(folded);
  return it == d.handlers.end() ? nullptr : it->second;
}

}  // namespace

}  // namespace platform

namespace win {

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  std::wstring service = platform::OwnService();
  if (service.empty() || !table || !table[0].lpServiceProc) {
    SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    return FALSE;
  }
  const std::wstring folded = platform::FoldServiceName(service);
  // An own-process service runs the first entry, whatever name it gives.
  std::vector<std::wstring> arguments;
  bool connected = platform::ChangeServiceState([&](platform::ServiceState& state) {
    auto it = state.services.find(folded);
    if (it == state.services.end() || it->second.state != SERVICE_START_PENDING) return false;
    it->second.connected = true;
    arguments = it->second.arguments;
    return true;
  });
  if (!connected) {
    SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    return FALSE;
  }
  platform::Dispatcher& d = platform::TheDispatcher();
  LPSERVICE_MAIN_FUNCTIONW main = table[0].lpServiceProc;
  std::thread([main, service, arguments, &d] {
    std::vector<std::wstring> texts = {service};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<wchar_t*> argv;
    for (auto& t : texts) argv.push_back(t.data());
    main(static_cast<DWORD>(argv.size()), argv.data());
    std::lock_guard<std::mutex> guard(d.mutex);
    d.mainReturned = true;
    d.changed.notify_all();
  }).detach();

  std::uint64_t handled = 0;
  std::filesystem::path stateFolder = platform::Machine::Current().StateFolder();
  while (!d.stopped) {
    std::uint64_t sequence = 0;
    DWORD control = 0;
    LPHANDLER_FUNCTION handler = nullptr;
    platform::WaitForMachine(
        [&] {
          if (d.stopped) return true;
          std::error_code error;
          if (!std::filesystem::exists(stateFolder, error)) return true;  // the machine is gone
          handler = platform::HandlerFor(folded);
          if (!handler) return false;  // requests wait until the service can take them
          platform::ServiceState state = platform::ReadServiceState();
          auto it = state.services.find(folded);
          if (it == state.services.end()) return true;
          sequence = it->second.controlSequence;
          control = it->second.control;
          return sequence > handled;
        },
        platform::kWaitForever, {stateFolder});
    std::error_code error;
    if (!std::filesystem::exists(stateFolder, error)) return FALSE;
    if (d.stopped) break;
    if (!handler || sequence <= handled) break;  // the service was deleted under us
    handler(control);
    handled = sequence;
    platform::ChangeServiceState([&](platform::ServiceState& state) {
      state.services[folded].answeredSequence = sequence;
      return true;
    });
  }
  std::unique_lock<std::mutex> lock(d.mutex);
  d.changed.wait_for(lock, platform::kMainFunctionGrace, [&] { return d.mainReturned; });
  return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(const std::wstring& serviceName, LPHANDLER_FUNCTION handler) {
  std::wstring own = platform::OwnService();
  if (own.empty() || !handler) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  // An own-process service's handler belongs to its one service.
  std::wstring folded = platform::FoldServiceName(own);
  platform::Dispatcher& d = platform::TheDispatcher();
  std::lock_guard<std::mutex> guard(d.mutex);
  d.handlers[folded] = handler;
  auto& object = d.statusHandles[folded];
  if (!object) object = new ServiceStatusObject{own};
  (void)serviceName;
  return object;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
  platform::Dispatcher& d = platform::TheDispatcher();
  {
    std::lock_guard<std::mutex> guard(d.mutex);
    bool known = false;
    for (const auto& [name, object] : d.statusHandles) known = known || object == handle;
    if (!known || !handle) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  if (!status || status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > 7) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::wstring folded = platform::FoldServiceName(handle->name);
  platform::ChangeServiceState([&](platform::ServiceState& state) {
    platform::ServiceRuntime& r = state.services[folded];
    r.state = status->dwCurrentState;
    r.controlsAccepted = status->dwControlsAccepted;
    r.win32ExitCode = status->dwWin32ExitCode;
    r.specificExitCode = status->dwServiceSpecificExitCode;
    r.checkPoint = status->dwCheckPoint;
    r.waitHint = status->dwWaitHint;
    if (r.state == SERVICE_STOPPED) {
      r.processId = 0;
      r.connected = false;
      r.controlsAccepted = 0;
    }
    return true;
  });
  if (status->dwCurrentState == SERVICE_STOPPED) d.stopped = true;
  return TRUE;
}

}  // namespace win
