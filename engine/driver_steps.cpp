// The protection driver's install step and its removal by the rollback. The
// driver file itself is placed by the download step on every system; the
// driver runs only on 32-bit Windows.
#include "engine/install_engine.h"
#include "platform/debug_output.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "system/kv_system.h"

namespace {

bool RunsUnderWow64() {
  win::BOOL wow64 = win::FALSE;
  return win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

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
    win::OutputDebugStringW(L"[Brimvale] BVLInstall : Delete Driver Register Info Fail - kvppob.sys");
    return win::FALSE;
  }
  return win::TRUE;
}
