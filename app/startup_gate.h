// The start-up gate's decision: whether an installation may begin, from the
// server check, the operating system and an existing installation.
#pragma once

#include "settings/installer_context.h"

// The string id of the refusal message (IDS_NO_INSTALL_INFO,
// IDS_SERVER_UNREACHABLE, IDS_UNSUPPORTED_OS, IDS_ALREADY_INSTALLED), in that
// order of precedence, or 0 when the wizard may open.
int StartupGateDecision(const InstallerContext& context);

// True when an uninstall entry of the agent is registered in either registry view.
bool AgentUninstallEntryExists();
