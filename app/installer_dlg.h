// CbvlInstallerDlg: the main wizard window object. It carries the installer
// context that start-up fills (server address, update address, server check
// result); the wizard itself is not built yet, so for now the window object
// is the context and the start-up gate's decision.
#pragma once

#include <string>

#include "settings/installer_context.h"

class CbvlInstallerDlg : public InstallerContext {
 public:
  // The start-up gate: the id of the refusal message (316, 314, 315 or 312)
  // or 0 when the wizard may open.
  int StartupGateMessageId() const;
  // True when an uninstall entry of the agent is registered in either view.
  static bool IsAlreadyInstalled();
};

// The string table's texts that start-up shows.
std::wstring StartupMessageText(int id);
