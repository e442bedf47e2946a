// CbvlInstallerApp::InitInstance of the console front end
// (bvlInstallerConsole.exe): start-up, the installation and its ending are
// reported on standard output instead of in the wizard's windows, for runs
// without a display (the headless tests and demo).
#include "app/headless_run.h"
#include "app/installer_app.h"
#include "platform/crash_points.h"

bool CbvlInstallerApp::InitInstance() {
  platform::CrashIfInjected(L"InitInstance");
  RunWithoutDisplay();
  return false;
}
