// The start-up gate of the main wizard window.
#include "app/installer_dlg.h"

#include "engine/uninstall_entry.h"
#include "settings/registry_helpers.h"
#include "system/kv_system.h"


bool CbvlInstallerDlg::IsAlreadyInstalled() {
  std::wstring name;
  std::wstring wow64Name;
  RegReadString(kUninstallKey, L"DisplayName", &name);
  RegReadString(kUninstallKeyWow64, L"DisplayName", &wow64Name);
  return !name.empty() || !wow64Name.empty();
}

int CbvlInstallerDlg::StartupGateMessageId() const {
  if (m_serverCheckResult == SERVERCHECK_NO_INFO) return 316;
  if (m_serverCheckResult == SERVERCHECK_COMM_ERROR) return 314;
  kvutil::CSystemVersion version;
  if (!kvutil::KVSystem::GetSystemVersion(&version) || (version.m_nVersion == 51 && version.m_nServicePack < 30)) {
    return 315;
  }
  if (IsAlreadyInstalled()) return 312;
  return 0;
}

std::wstring StartupMessageText(int id) {
  switch (id) {
    case 301: return L"\ube0c\ub9bc\ubca0\uc77c";
    case 302: return L"\ud655\uc778";
    case 313:
      return L"\uc124\uce58\uac00 \uc2e4\ud328\ud588\uc2b5\ub2c8\ub2e4.\r\n"
             L"\uad00\ub9ac\uc790\uc5d0\uac8c \ubb38\uc758\ud574\uc8fc\uc2dc\uae30 \ubc14\ub78d\ub2c8\ub2e4.";
    case 312: return L"\uc0ad\uc81c \ud6c4 \uc124\uce58\ud574 \uc8fc\uc2dc\uae30 \ubc14\ub78d\ub2c8\ub2e4.";
    case 314:
      return L"\uc11c\ubc84\uc640 \uc815\uc0c1\uc801\uc73c\ub85c \ud1b5\uc2e0\ud560 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4. "
             L"\uc7a0\uc2dc \ud6c4 \ub2e4\uc2dc \uc2dc\ub3c4\ud574 \uc8fc\uc2ed\uc2dc\uc624.";
    case 315: return L"\uc9c0\uc6d0\ud558\uc9c0 \uc54a\ub294 OS\uc785\ub2c8\ub2e4.";
    case 316:
      return L"\uc124\uce58 \uc815\ubcf4\ub97c \ud655\uc778\ud560 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4. "
             L"\uc124\uce58 \ud398\uc774\uc9c0\uc5d0\uc11c \ub2e4\uc6b4\ub85c\ub4dc\ub418\ub294 \ud30c\uc77c\uc774\ub984 "
             L"\uadf8\ub300\ub85c \ub2e4\uc2dc \uc2e4\ud589\ud558\uc5ec \uc8fc\uc2ed\uc2dc\uc624.";
    default: return std::wstring();
  }
}
