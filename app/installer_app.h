// CbvlInstallerApp: the application object. Its construction arms the crash
// reporter before anything else of the installer runs; InitInstance runs
// start-up and the wizard; its destruction at process exit disarms the
// crash reporter.
#pragma once

#include <memory>

#include "crash/crash_reporter.h"

class CbvlInstallerApp {
 public:
  // Arms the crash reporter: dumps go to the user's temporary folder and are
  // sent to the crash collector, at most 10 a day; the event record carries
  // the release of the agent already installed, when there is one.
  CbvlInstallerApp();
  // Disarms the crash reporter.
  ~CbvlInstallerApp();
  CbvlInstallerApp(const CbvlInstallerApp&) = delete;
  CbvlInstallerApp& operator=(const CbvlInstallerApp&) = delete;

  // Start-up, the start-up gate and the modal run of the wizard. Always FALSE,
  // so that the program ends when the wizard's run is over.
  bool InitInstance();

 private:
  kvdump::CrashReporter m_crashReporter;
  std::shared_ptr<kvdump::Sentry> m_sentry;
};

// The one application object, constructed before main runs.
extern CbvlInstallerApp theApp;
