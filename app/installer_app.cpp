// CbvlInstallerApp's construction and destruction. Temporary on the wizard's
// branch: the crash reporter's arming and disarming come with the crash
// reporter itself.
#include "app/installer_app.h"

CbvlInstallerApp::CbvlInstallerApp() = default;

CbvlInstallerApp::~CbvlInstallerApp() = default;
