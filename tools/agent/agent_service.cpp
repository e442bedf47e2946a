// bvlsvc.exe's stand-in: the agent service. " /Service" registers the service
// "bvlsvc" (own process, automatic start, LocalSystem, its own path) and
// " /Unregserver" removes it, as the agent's executable does. Run by the
// service controller it reports RUNNING, starts the agent's MQTT client and
// window process beside it, and stops them and itself when its stop event
// "Global\BVL_STOP_SVC_EVENT" is set or the controller asks it to stop.
#include <string>

#include "platform/files.h"
#include "platform/services.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"
#include "stand_in_support.h"

namespace {

const wchar_t* const kServiceName = L"bvlsvc";
const wchar_t* const kDisplayName = L"Brimvale Agent Service";

win::SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
win::HANDLE g_stopEvent = nullptr;

void Report(win::DWORD state) {
  win::SERVICE_STATUS status;
  status.dwServiceType = win::SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == win::SERVICE_RUNNING ? win::SERVICE_ACCEPT_STOP : 0;
  win::SetServiceStatus(g_statusHandle, &status);
}

void Handler(win::DWORD control) {
  if (control == win::SERVICE_CONTROL_STOP) {
    Report(win::SERVICE_STOP_PENDING);
    win::SetEvent(g_stopEvent);
  }
}

void StartBeside(const wchar_t* program) {
  const std::wstring path = stand_in::OwnFolder() + L"\\" + program;
  win::SHELLEXECUTEINFOW info;
  info.cbSize = win::kShellExecuteInfoSize;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.nShow = win::SW_HIDE;
  if (!win::ShellExecuteExW(&info)) stand_in::Log("bvlsvc", L"Cannot start " + path);
}

void StopCompanions() {
  if (win::HANDLE mqtt = win::OpenEventW(win::EVENT_ALL_ACCESS, win::FALSE, L"Global\\BVL_STOP_MQTT_EVENT")) {
    win::SetEvent(mqtt);
    win::CloseHandle(mqtt);
  }
  if (win::HWND agent = win::FindWindowW(nullptr, L"BrimvaleAgent.exe")) win::SendMessageW(agent, win::WM_USER + 70, 0, 0);
}

void ServiceMain(win::DWORD, wchar_t**) {
  g_statusHandle = win::RegisterServiceCtrlHandlerW(kServiceName, Handler);
  g_stopEvent = win::CreateEventW(nullptr, win::TRUE, win::FALSE, L"Global\\BVL_STOP_SVC_EVENT");
  if (!g_statusHandle || !g_stopEvent) {
    Report(win::SERVICE_STOPPED);
    return;
  }
  Report(win::SERVICE_RUNNING);
  stand_in::Log("bvlsvc", L"Service running");
  StartBeside(L"bvlmqtt.exe");
  StartBeside(L"BrimvaleAgent.exe");
  stand_in::WaitWhileMachineExists(g_stopEvent);
  StopCompanions();
  stand_in::Log("bvlsvc", L"Service stopped");
  win::CloseHandle(g_stopEvent);
  Report(win::SERVICE_STOPPED);
}

int Register() {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!manager) return 1;
  const std::wstring image = L"\"" + stand_in::OwnPath() + L"\"";
  win::SC_HANDLE service =
      win::CreateServiceW(manager, kServiceName, kDisplayName, win::SERVICE_ALL_ACCESS, win::SERVICE_WIN32_OWN_PROCESS,
                          win::SERVICE_AUTO_START, win::SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr,
                          nullptr, nullptr);
  const win::DWORD error = win::GetLastError();
  if (service) win::CloseServiceHandle(service);
  win::CloseServiceHandle(manager);
  if (!service && error != win::ERROR_SERVICE_EXISTS) {
    stand_in::Log("bvlsvc", L"Service registration failed " + std::to_wstring(error));
    return 1;
  }
  stand_in::Log("bvlsvc", L"Service registered");
  return 0;
}

int Unregister() {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!manager) return 1;
  win::SC_HANDLE service = win::OpenServiceW(manager, kServiceName, win::SERVICE_ALL_ACCESS);
  bool removed = false;
  if (service) {
    win::SERVICE_STATUS status;
    win::ControlService(service, win::SERVICE_CONTROL_STOP, &status);
    removed = win::DeleteService(service) != win::FALSE;
    win::CloseServiceHandle(service);
  }
  win::CloseServiceHandle(manager);
  stand_in::Log("bvlsvc", removed ? L"Service unregistered" : L"No service to unregister");
  return removed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && stand_in::IsSwitch(argv[1], "/Service")) return Register();
  if (argc > 1 && stand_in::IsSwitch(argv[1], "/Unregserver")) return Unregister();
  const win::SERVICE_TABLE_ENTRYW table[] = {{kServiceName, ServiceMain}, {nullptr, nullptr}};
  return win::StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
