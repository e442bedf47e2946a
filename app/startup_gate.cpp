// The start-up gate's checks.
#include "app/startup_gate.h"

#include <string>

#include "engine/uninstall_entry.h"
#include "system/registry_helpers.h"
#include "system/kv_system.h"

bool AgentUninstallEntryExists() {
  std::wstring name;
  std::wstring wow64Name;
  RegReadString(kUninstallKey, L"DisplayName", &name);
  RegReadString(kUninstallKeyWow64, L"DisplayName", &wow64Name);
  return !name.empty() || !wow64Name.empty();
}

int StartupGateDecision(const InstallerContext& context) {
  if (context.m_serverCheckResult == SERVERCHECK_NO_INFO) return 316;
  if (context.m_serverCheckResult == SERVERCHECK_COMM_ERROR) return 314;
  kvutil::CSystemVersion version;
  if (!kvutil::KVSystem::GetSystemVersion(&version) || (version.m_nVersion == 51 && version.m_nServicePack < 30)) {
    return 315;
  }
  if (AgentUninstallEntryExists()) return 312;
  return 0;
}
