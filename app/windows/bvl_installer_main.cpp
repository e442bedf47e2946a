// bvlInstaller's entry on Windows: the application object, constructed
// before the program's main runs (with the crash reporter armed), and its
// start-up, which runs the whole installation and reports it on the console.
#include "app/installer_app.h"

int main() {
  theApp.InitInstance();
  return 0;
}
