// The start-up gate's checks.
#include "app/startup_gate.h"

#include <string>

#include "settings/registry_helpers.h"
#include "system/kv_system.h"

namespace {
const wchar_t* const kUninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t* const kUninstallKeyWow64 = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t* const kProductId = L"{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";
}  // namespace

bool AgentUninstallEntryExists() {
  std::wstring name;
  std::wstring wow64Name;
  RegReadString(std::wstring(kUninstallKey) + kProductId, L"DisplayName", &name);
  RegReadString(std::wstring(kUninstallKeyWow64) + kProductId, L"DisplayName", &wow64Name);
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
