// One installation as the installer runs it, without its window: start-up's
// token intake and server check, then the install worker with recording
// sinks, and the completion page's OK action. Tests read back the rows, the
// wizard's calls and the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/install_worker.h"
#include "settings/installer_context.h"
#include "support/recording_progress.h"
#include "support/recording_wizard.h"

namespace testing_support {

// The installer's file name for a server address: "bvlInstaller[<token>].exe".
std::wstring InstallerPathFor(const std::wstring& serverAddress);

struct InstallationRun {
  InstallationRun();

  // Start-up: ReadInstallationToken with the installer's path for `server`.
  void StartUp(const std::wstring& server);
  // A worker's session over this run's context and recording sinks, its
  // engine's catalogue built; the engine's pauses are real.
  std::shared_ptr<InstallSession> NewSession();
  // The worker, run to its end on this thread; `beforeStep` may throw at a
  // checkpoint. The pauses of the steps are counted, not slept.
  void RunWorker(std::function<void(std::uint32_t)> beforeStep = nullptr);
  // Waits until every process the run started on the machine has ended
  // (bounded), so that what they do is done before the machine is read.
  static void WaitForStartedPrograms(int timeoutMilliseconds = 15000);

  InstallerContext context;
  std::shared_ptr<RecordingProgress> progress;
  std::shared_ptr<RecordingWizard> wizard;
  std::shared_ptr<InstallSession> session;
  std::uint32_t checkpoint = 0;
  // The pauses the steps asked for, in order; slept for real only with
  // `realPauses` (benchmarks), else only counted.
  std::vector<unsigned> pauses;
  bool realPauses = false;
};

// The worker's string table in tests: "<string N>" for id N, so that a test
// sees which id the worker showed.
std::wstring WorkerString(unsigned id);

}  // namespace testing_support
