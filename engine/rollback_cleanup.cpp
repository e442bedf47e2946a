// Rollback routines that remove what the installation wrote: the product's
// registry keys and the installed files.
#include "engine/engine_texts.h"
#include "engine/folder_cleanup.h"
#include "engine/install_engine.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "system/debug_log.h"
#include "system/kv_system.h"
#include "system/registry_helpers.h"

namespace {

enum class KeyRemoval { kRemoved, kMissing, kFailed };

// Deletes the product key of one hive with all it holds: its parent is
// opened in the 64-bit view, where the registry helpers write it on 64-bit
// Windows, and the key deleted below it.
KeyRemoval DeleteProductKey(win::HKEY root) {
  win::HKEY parent = nullptr;
  if (win::RegOpenKeyExW(root, kProductKeyParent, 0, win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY, &parent) !=
      win::ERROR_SUCCESS) {
    return KeyRemoval::kMissing;
  }
  const win::LSTATUS status = win::SHDeleteKeyW(parent, kProductKeyLeaf);
  win::RegCloseKey(parent);
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
    LogDebugLine(engine_texts::kSettingsKeyDeleteFail);
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
