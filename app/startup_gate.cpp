// The start-up gate's checks.
#include "app/startup_gate.h"

#include <string>

#include "app/resource.h"
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
  if (context.m_serverCheckResult == SERVERCHECK_NO_INFO) return IDS_NO_INSTALL_INFO;
  if (context.m_serverCheckResult == SERVERCHECK_COMM_ERROR) return IDS_SERVER_UNREACHABLE;
  kvutil::CSystemVersion version;
  if (!kvutil::KVSystem::GetSystemVersion(&version) || (version.m_nVersion == 51 && version.m_nServicePack < 30)) {
    return IDS_UNSUPPORTED_OS;
  }
  if (AgentUninstallEntryExists()) return IDS_ALREADY_INSTALLED;
  return 0;
}
