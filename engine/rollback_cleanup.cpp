// Rollback routines that remove what the installation wrote: the product's
// registry keys and the installed files.
#include "engine/folder_cleanup.h"
#include "engine/install_engine.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "system/kv_system.h"

namespace {

enum class KeyRemoval { kRemoved, kMissing, kFailed };

// Deletes "Brimvale" below "SOFTWARE\Korvanta" of one hive.
KeyRemoval DeleteProductKey(win::HKEY root) {
  win::HKEY korvanta = nullptr;
  if (win::RegOpenKeyExW(root, L"SOFTWARE\\Korvanta", 0, win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY, &korvanta) !=
      win::ERROR_SUCCESS) {
    return KeyRemoval::kMissing;
  }
  const win::LSTATUS status = win::SHDeleteKeyW(korvanta, L"Brimvale");
  win::RegCloseKey(korvanta);
  if (status == win::ERROR_SUCCESS) return KeyRemoval::kRemoved;
  return status == static_cast<win::LSTATUS>(win::ERROR_FILE_NOT_FOUND) ? KeyRemoval::kMissing : KeyRemoval::kFailed;
}

}  // namespace

win::BOOL InstallEngine::DeleteSettingsKey() {
  // The installation writes product values under the machine's hive
  // (ServiceInfo, Version, WebVersion), the installer account's own
  // (MqttInfo) and the desktop user's (ServiceInfo); all three go, so that
  // no product value survives the rollback. The machine's key must exist.
  bool failed = DeleteProductKey(win::HKEY_LOCAL_MACHINE) != KeyRemoval::kRemoved;
  failed |= DeleteProductKey(win::HKEY_CURRENT_USER) == KeyRemoval::kFailed;
  if (kvutil::KVSystem::ImpersonateExplorerUser()) {
    failed |= DeleteProductKey(win::HKEY_CURRENT_USER) == KeyRemoval::kFailed;
    win::RevertToSelf();
  }
  if (failed) {
    win::OutputDebugStringW(L"[Brimvale] Install : Delete HKLM Brimvale Registry Fail");
    return win::FALSE;
  }
  return win::TRUE;
}

win::BOOL InstallEngine::DeleteAgentFiles() {
  // The install folder holds the agent's files and, below it, the staging,
  // web view and browser folders.
  ClearFolder(m_installDir + L"\\*.*");
  return win::TRUE;
}
