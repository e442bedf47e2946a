// The session the progress page hands the install worker: the page's sinks,
// the string table and an engine whose catalogue and directories are
// complete before any worker exists. The engine keeps its own copy of the
// installer context, so that a worker that outlives the window still reads
// valid addresses. Both wizards' progress pages make theirs here.
#pragma once

#include <memory>

#include "engine/install_worker.h"
#include "settings/installer_context.h"

std::shared_ptr<InstallSession> MakePageSession(const InstallerContext& context, std::shared_ptr<ProgressSink> progress,
                                                std::shared_ptr<WizardSink> wizard, StringLoader strings);
