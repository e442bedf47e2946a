// bvlInstaller's entry: the application object (constructed before this
// runs, with the crash reporter armed) runs start-up and the installation.
#include "app/installer_app.h"

int main() {
  theApp.InitInstance();
  return 0;
}
