// CbvlInstallerApp::InitInstance on Windows: the console front end. Until
// the program has a wizard of its own there, start-up, the installation and
// its ending are reported on standard output, as on a machine without a
// display.
#include "app/headless_run.h"
#include "app/installer_app.h"
#include "platform/crash_points.h"

bool CbvlInstallerApp::InitInstance() {
  platform::CrashIfInjected(L"InitInstance");
  RunWithoutDisplay();
  return false;
}
