// CbvlInstallerApp::InitInstance: the module path, the main wizard window,
// the installation token and the server check, the wizard's modal run.
#include <string>

#include "app/installer_app.h"
#include "app/installer_dlg.h"
#include "app/agent_start.h"
#include "platform/process.h"

bool CbvlInstallerApp::InitInstance() {
  // The path of the running program, cut to the 260-character buffer as the
  // platform cuts it; a token lost with the cut refuses the start.
  wchar_t buffer[win::MAX_PATH] = {};
  win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  const std::wstring modulePath = buffer;

  CbvlInstallerDlg dialog;
  // The server call blocks the user-interface thread before any window shows.
  dialog.ReadInstallationToken(modulePath);
  dialog.m_startAgent = StartAgentService;
  dialog.DoModal();
  return false;
}
