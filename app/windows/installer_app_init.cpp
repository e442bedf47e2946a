// CbvlInstallerApp::InitInstance on Windows: the common controls and the
// rich-text control's library, the module path, the main wizard window, the
// installation token and the server check, the wizard's modal run.
// The product's headers come before the system's, whose macros must not
// reach them.
#include "app/installer_app.h"
#include "platform/crash_points.h"

#include "ui/windows/windows_headers.h"

#include <commctrl.h>

#include <string>

#include "app/windows/installer_dlg.h"
#include "platform/windows/system_library.h"

namespace {

// The library of the "RichEdit20W" control of the licence page, from the
// system folder; it registers the control's class when it loads.
void InitRichEdit2() { platform_windows::SystemLibrary(L"riched20.dll"); }

}  // namespace

bool CbvlInstallerApp::InitInstance() {
  platform::CrashIfInjected(L"InitInstance");
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);
  InitRichEdit2();

  // The path of the running program, cut to the 260-character buffer as the
  // system cuts it; a token lost with the cut refuses the start.
  wchar_t buffer[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  const std::wstring modulePath = buffer;

  CbvlInstallerDlg dialog;
  // The server call blocks the user-interface thread before any window shows.
  dialog.ReadInstallationToken(modulePath);
  dialog.DoModal();
  return false;
}
