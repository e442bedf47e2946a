// bvlInstaller's entry: the application object, constructed before the
// program's main runs (with the crash reporter armed), and the framework's
// run. Where the machine has no display there is no window system for the
// framework; InitInstance then reports on standard output instead.
#include <QApplication>
#include <memory>

#include "app/installer_app.h"
#include "platform/display.h"

int main(int argc, char** argv) {
  std::unique_ptr<QApplication> application;
  if (platform::DisplayAvailable()) application = std::make_unique<QApplication>(argc, argv);
  theApp.InitInstance();
  return 0;
}
