// Service control: the small wrapper through which the driver controller
// creates, starts and stops the protection driver's service, and the agent
// service operations — registration by the agent's own executable, deletion
// after a failed installation, its recovery actions and its start when the
// user leaves the completion page.
#pragma once

#include <string>

#include "platform/services.h"
#include "system/pause.h"

// Holds a service control manager handle and a service handle that its user
// opens and closes; it never opens or closes them itself.
class CServiceControlManager {
 public:
  // `pause` is the wait between two status polls (real in the product).
  explicit CServiceControlManager(Pause pause = RealPause());
  virtual ~CServiceControlManager() = default;

  // A kernel driver service, boot start, normal error control. Returns the
  // new service handle (also stored), null without a manager handle or when
  // creation fails (the platform's error is left for the caller).
  win::SC_HANDLE Create(const std::wstring& serviceName, const std::wstring& displayName,
                        const std::wstring& binaryPath);
  // Starts the stored service when it is stopped and waits up to 20 s (ten
  // polls 2 s apart) for it to run. The outcome goes only to the debug output.
  void Start();
  // Stops the stored service when it is not stopped and waits up to 20 s for
  // it to stop. The outcome goes only to the debug output.
  void Stop();

  win::SC_HANDLE m_manager = nullptr;
  win::SC_HANDLE m_service = nullptr;

 private:
  // Interrogates the service and returns the current state it reported (0
  // when the call reported nothing).
  win::DWORD Interrogate();
  // Polls until the service reaches `state`; false after ten polls.
  bool WaitForState(win::DWORD state);

  Pause m_pause;
};

// The agent service's executable, "%s\brimvale\bvlsvc.exe" over a
// program-files root.
std::wstring AgentServiceExecutable(const std::wstring& programFilesDir);

// Runs the agent's service executable hidden with " /Service" (register) or
// " /Unregserver" (unregister) from the program-files root the catalogue
// chose, without waiting for it. False when the executable is missing or
// could not be started.
bool RegisterAgentService(const std::wstring& programFilesDir, bool registerService);
// Deletes the service "bvlsvc" directly. False when bvlsvc.exe is missing
// from the 32-bit program-files folder, or the service cannot be opened or
// deleted; true when it was deleted or the service control manager could not
// be opened.
bool DeleteAgentService();
// Sets the agent service's recovery: reset after 600 s, three restarts 2 s
// apart. True when the platform took it.
bool ConfigureAgentRecovery();
// The OK button's service start: recovery actions, then a start request when
// the service is not running (not waited for). Always true.
bool StartAgent();
