// The wizard's part of an installation run without a window: the progress
// page's status and rows and the worker's ending written as lines of text,
// and the completion page's OK action. Used until the wizard window runs the
// installation, and by the main job to show the rows.
#pragma once

#include "app/installer_dlg.h"

// Runs the install worker to its end, then the OK button's action (the agent
// service's start). Returns when both are done.
void RunInstallationWithoutWindow(const CbvlInstallerDlg& dialog);
