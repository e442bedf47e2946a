// bvlInstaller's entry on Windows: the application object, constructed
// before the program's main runs (with the crash reporter armed), and its
// start-up, which runs the wizard (or, in the console front end, reports
// the installation on standard output).
#include "app/installer_app.h"

int main() {
  theApp.InitInstance();
  return 0;
}
