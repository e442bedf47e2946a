// CbvlInstallerApp::InitInstance: the module path, the main wizard window,
// the installation token and the server check, the wizard's modal run.
#include <QApplication>
#include <string>

#include "app/headless_run.h"
#include "app/installer_app.h"
#include "app/installer_dlg.h"
#include "platform/crash_points.h"
#include "platform/process.h"
#include "system/service_control.h"

bool CbvlInstallerApp::InitInstance() {
  platform::CrashIfInjected(L"InitInstance");
  if (!QApplication::instance()) {
    RunWithoutDisplay();
    return false;
  }

  // The path of the running program, cut to the 260-character buffer as the
  // platform cuts it; a token lost with the cut refuses the start.
  wchar_t buffer[win::MAX_PATH] = {};
  win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  const std::wstring modulePath = buffer;

  CbvlInstallerDlg dialog;
  // The server call blocks the user-interface thread before any window shows.
  dialog.ReadInstallationToken(modulePath);
  dialog.m_startAgent = StartAgent;
  dialog.DoModal();
  return false;
}
