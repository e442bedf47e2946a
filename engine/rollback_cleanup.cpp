// Rollback routines that remove what the installation wrote: the product's
// registry keys and the installed files.
#include "engine/engine_texts.h"
#include "engine/folder_cleanup.h"
#include "engine/install_engine.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "settings/registry_helpers.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

enum class KeyRemoval { kRemoved, kMissing, kFailed };

// Deletes the product key of one hive with all it holds. Its parent is
// opened in the 64-bit view, where the registry helpers write it on 64-bit
// Windows, and the key itself deleted below it.
KeyRemoval DeleteProductKey(win::HKEY root) {
  const std::wstring productKey = kProductKey;
  const std::size_t slash = productKey.rfind(L'\\');
  win::HKEY parent = nullptr;
  if (win::RegOpenKeyExW(root, productKey.substr(0, slash), 0, win::KEY_QUERY_VALUE | win::KEY_WOW64_64KEY, &parent) !=
      win::ERROR_SUCCESS) {
    return KeyRemoval::kMissing;
  }
  const win::LSTATUS status = win::SHDeleteKeyW(parent, productKey.substr(slash + 1));
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
