// The protection driver's install step and its removal by the rollback. The
// driver file itself is placed by the download step on every system; the
// driver runs only on 32-bit Windows.
#include "engine/engine_texts.h"
#include "engine/install_engine.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "system/debug_log.h"
#include "system/kv_system.h"
#include "system/wow64.h"

win::BOOL InstallEngine::InstallDriver() {
  if (RunsUnderWow64()) return win::TRUE;
  DriverInstall(m_sleep);
  m_driver.SetRegProtectOFF();
  return win::TRUE;
}

win::BOOL InstallEngine::RemoveDriverRegistration() {
  DriverDelete(m_sleep);

  // A driver file in use goes at the next restart. A missing one needs
  // nothing: scheduling it would only leave a pointless restart operation.
  const std::wstring driverFile = kvutil::KVSystem::GetDriversPath(L"kvppob.sys");
  if (!win::DeleteFileW(driverFile) && win::GetFileAttributesW(driverFile) != win::INVALID_FILE_ATTRIBUTES) {
    win::MoveFileExW(driverFile, L"", win::MOVEFILE_DELAY_UNTIL_REBOOT);
  }

  if (win::SHDeleteKeyW(win::HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\kvppob") != win::ERROR_SUCCESS) {
    LogDebugLine(engine_texts::kDriverRegistrationDeleteFail);
    return win::FALSE;
  }
  return win::TRUE;
}
