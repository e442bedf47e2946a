// bvlUninstaller.exe's stand-in: with "-u" it removes what an installation
// registered — the running agent, the service, the scheduled tasks, the
// driver, the product keys, the uninstall entry, the shortcuts and the
// installed files — so that the agent can be installed again.
#include <string>

#include "engine/install_engine.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "settings/installer_context.h"
#include "stand_in_support.h"
#include "system/kv_system.h"
#include "system/service_control.h"

namespace {

class NoProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring&) override {}
  void AddStatusRow(const std::wstring&, bool, unsigned) override {}
};

std::wstring SpecialFolder(int csidl) {
  wchar_t buffer[win::MAX_PATH] = {};
  win::SHGetSpecialFolderPathW(nullptr, buffer, csidl, win::FALSE);
  return buffer;
}

// Stops the agent service (waiting for it) and deletes it.
void RemoveAgentService() {
  CServiceControlManager scm;
  scm.m_manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!scm.m_manager) return;
  scm.m_service = win::OpenServiceW(scm.m_manager, L"bvlsvc", win::SERVICE_ALL_ACCESS);
  if (scm.m_service) {
    scm.Stop();
    win::DeleteService(scm.m_service);
    win::CloseServiceHandle(scm.m_service);
  }
  win::CloseServiceHandle(scm.m_manager);
}

void DeleteShortcuts() {
  const std::wstring name = L"\ube0c\ub9bc\ubca0\uc77c.lnk";
  win::DeleteFileW(SpecialFolder(win::CSIDL_DESKTOPDIRECTORY) + L"\\" + name);
  const std::wstring programs = SpecialFolder(win::CSIDL_COMMON_PROGRAMS) + L"\\Brimvale";
  win::DeleteFileW(programs + L"\\" + name);
  win::RemoveDirectoryW(programs);
}

int Uninstall() {
  InstallerContext context;
  NoProgress progress;
  InstallEngine engine(context, progress);
  engine.BuildCatalogue();

  RemoveAgentService();
  engine.StopRunningAgent();
  engine.DeleteScheduledTasks();
  win::BOOL wow64 = win::FALSE;
  if (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64) {
    win::DeleteFileW(kvutil::KVSystem::GetDriversPath(L"kvppob.sys"));
  } else {
    engine.RemoveDriverRegistration();
  }
  engine.DeleteSettingsKey();
  engine.DeleteUninstallReg();
  DeleteShortcuts();
  engine.DeleteAgentFiles();
  stand_in::Log("bvlUninstaller", L"Uninstalled");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && stand_in::IsSwitch(argv[1], "-u")) return Uninstall();
  stand_in::Log("bvlUninstaller", L"Nothing to do without -u");
  return 1;
}
