// The start-up gate's decision: whether an installation may begin, from the
// server check, the operating system and an existing installation.
#pragma once

#include "settings/installer_context.h"

// The id of the refusal message (316 no installation information, 314 server
// unreachable, 315 unsupported system, 312 already installed), in that order
// of precedence, or 0 when the wizard may open.
int StartupGateDecision(const InstallerContext& context);

// True when an uninstall entry of the agent is registered in either registry view.
bool AgentUninstallEntryExists();
