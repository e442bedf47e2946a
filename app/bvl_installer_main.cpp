// bvlInstaller's entry: the application object, constructed before the
// program's main runs, and the framework's run — the wizard on the desktop,
// or the start-up report on standard output where the machine has no display.
#include <QApplication>

#include "app/headless_run.h"
#include "app/installer_app.h"
#include "platform/display.h"

CbvlInstallerApp theApp;

int main(int argc, char** argv) {
  if (!platform::DisplayAvailable()) return RunWithoutDisplay();
  QApplication application(argc, argv);
  theApp.InitInstance();
  return 0;
}
