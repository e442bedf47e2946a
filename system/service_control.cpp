// CServiceControlManager and the agent service operations over the platform's
// service control manager and shell.
#include "system/service_control.h"

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/shell_execute.h"
#include "system/debug_log.h"
#include "system/path_text.h"
#include "system/system_texts.h"

namespace {

const wchar_t* const kAgentServiceName = L"bvlsvc";
const wchar_t* const kAgentServiceFile = L"bvlsvc.exe";

// The polls of Start and Stop: a counter that grows by 2 per pause of 2 s
// and ends the wait at 20, so ten polls in all.
constexpr win::DWORD kPollPause = 2000;
constexpr int kPollLimit = 20;

// Recovery: the service controller restarts the agent three times, 2 s after
// each failure, and forgets the failures after ten minutes.
constexpr win::DWORD kRecoveryResetSeconds = 600;
constexpr win::DWORD kRecoveryRestartDelay = 2000;

bool FileExists(const std::wstring& path) {
  const win::DWORD attributes = win::GetFileAttributesW(path);
  return attributes != win::INVALID_FILE_ATTRIBUTES && !(attributes & win::FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CServiceControlManager::CServiceControlManager(Pause pause) : m_pause(std::move(pause)) {}

win::SC_HANDLE CServiceControlManager::Create(const std::wstring& serviceName, const std::wstring& displayName,
                                              const std::wstring& binaryPath) {
  if (!m_manager) return nullptr;
  m_service = win::CreateServiceW(m_manager, serviceName, displayName, win::SERVICE_ALL_ACCESS,
                                  win::SERVICE_KERNEL_DRIVER, win::SERVICE_BOOT_START, win::SERVICE_ERROR_NORMAL,
                                  binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
  return m_service;
}

win::DWORD CServiceControlManager::Interrogate() {
  // The record is used whatever the call returns: a stopped service refuses
  // the interrogation but still reports its state.
  win::SERVICE_STATUS status;
  win::ControlService(m_service, win::SERVICE_CONTROL_INTERROGATE, &status);
  return status.dwCurrentState;
}

bool CServiceControlManager::WaitForState(win::DWORD state) {
  for (int counter = 0; counter < kPollLimit; counter += 2) {
    if (Interrogate() == state) return true;
    m_pause(kPollPause);
  }
  return false;
}

void CServiceControlManager::Start() {
  if (Interrogate() != win::SERVICE_STOPPED) return;
  if (!win::StartServiceW(m_service, 0, nullptr)) {
    LogDebugLine(system_texts::kServiceStartFail);
    return;
  }
  if (!WaitForState(win::SERVICE_RUNNING)) LogDebugLine(system_texts::kServiceStartTimeout);
}

void CServiceControlManager::Stop() {
  if (Interrogate() == win::SERVICE_STOPPED) return;
  win::SERVICE_STATUS status;
  if (!win::ControlService(m_service, win::SERVICE_CONTROL_STOP, &status)) {
    LogDebugLine(system_texts::kServiceStopFail);
    return;
  }
  if (!WaitForState(win::SERVICE_STOPPED)) LogDebugLine(system_texts::kServiceStopTimeout);
}

std::wstring AgentServiceExecutable(const std::wstring& programFilesDir) {
  return programFilesDir + L"\\brimvale\\" + kAgentServiceFile;
}

bool RegisterAgentService(const std::wstring& programFilesDir, bool registerService) {
  const std::wstring executable = AgentServiceExecutable(programFilesDir);
  if (!FileExists(executable)) return false;
  win::SHELLEXECUTEINFOW info;
  info.cbSize = win::kShellExecuteInfoSize;
  info.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOASYNC | win::SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = executable.c_str();
  info.lpParameters = registerService ? L" /Service" : L" /Unregserver";
  info.nShow = win::SW_HIDE;
  const bool launched = win::ShellExecuteExW(&info) != win::FALSE;
  // The process is not waited for; its handle is only released.
  if (launched && info.hProcess) win::CloseHandle(info.hProcess);
  return launched;
}

bool DeleteAgentService() {
  // The 32-bit program-files folder, as a 32-bit installer is given it: on
  // 64-bit Windows this is not where the agent was installed.
  wchar_t programFiles[win::MAX_PATH] = {};
  win::SHGetSpecialFolderPathW(nullptr, programFiles, win::CSIDL_PROGRAM_FILES, win::FALSE);
  if (!FileExists(AgentServiceExecutable(BufferText(programFiles, win::MAX_PATH)))) return false;

  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!manager) return true;
  win::SC_HANDLE service = win::OpenServiceW(manager, kAgentServiceName, win::DELETE);
  if (!service) {
    win::CloseServiceHandle(manager);
    return false;
  }
  const bool deleted = win::DeleteService(service) != win::FALSE;
  win::CloseServiceHandle(service);
  win::CloseServiceHandle(manager);
  return deleted;
}

bool ConfigureAgentRecovery() {
  bool configured = false;
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  win::SC_HANDLE service = manager ? win::OpenServiceW(manager, kAgentServiceName, win::SERVICE_ALL_ACCESS) : nullptr;
  if (manager && service) {
    win::SC_ACTION actions[3];
    for (win::SC_ACTION& action : actions) {
      action.Type = win::SC_ACTION_RESTART;
      action.Delay = kRecoveryRestartDelay;
    }
    win::SERVICE_FAILURE_ACTIONSW recovery;
    recovery.dwResetPeriod = kRecoveryResetSeconds;
    recovery.cActions = 3;
    recovery.lpsaActions = actions;
    configured = win::ChangeServiceConfig2W(service, win::SERVICE_CONFIG_FAILURE_ACTIONS, &recovery) == 1;
  }
  if (manager) win::CloseServiceHandle(manager);
  if (service) win::CloseServiceHandle(service);
  return configured;
}

bool StartAgent() {
  ConfigureAgentRecovery();
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  win::SC_HANDLE service = manager ? win::OpenServiceW(manager, kAgentServiceName, win::SERVICE_ALL_ACCESS) : nullptr;
  if (!manager || !service) {
    LogDebugLine(system_texts::kStartAgentFail);
    if (manager) win::CloseServiceHandle(manager);
    return true;
  }
  win::SERVICE_STATUS status;
  if (!win::QueryServiceStatus(service, &status) || status.dwCurrentState != win::SERVICE_RUNNING) {
    win::StartServiceW(service, 0, nullptr);
  }
  win::CloseServiceHandle(manager);
  win::CloseServiceHandle(service);
  return true;
}
