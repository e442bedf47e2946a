// CbvlInstallerApp::InitInstance for as long as the wizard window is not
// built: start-up as the installer runs it — module path, installation
// token, server check, start-up gate — and then the whole installation and
// the completion page's OK action, reported on standard output.
#include <iostream>
#include <string>

#include "app/installer_app.h"
#include "app/installer_dlg.h"
#include "app/console_wizard.h"
#include "platform/codepage.h"
#include "platform/crash_points.h"
#include "platform/process.h"
#include "settings/registry_helpers.h"

namespace {

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

// A string value of the installer account's product key; empty when missing.
std::wstring ReadUserProductValue(const std::wstring& name) {
  std::wstring value;
  RegReadUserString(kProductKey, name, &value);
  return value;
}

}  // namespace

bool CbvlInstallerApp::InitInstance() {
  platform::CrashIfInjected(L"InitInstance");

  wchar_t buffer[win::MAX_PATH] = {};
  win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  std::wstring modulePath = buffer;

  CbvlInstallerDlg dialog;
  dialog.ReadInstallationToken(modulePath);

  std::cout << "module path:         " << Narrow(modulePath) << "\n"
            << "server address:      " << Narrow(dialog.m_serverAddress) << "\n"
            << "update address:      " << Narrow(dialog.m_updateAddress) << "\n"
            << "MqttInfo:            " << Narrow(ReadUserProductValue(kMqttInfoValue)) << "\n"
            << "server check result: " << dialog.m_serverCheckResult << "\n";

  int message = dialog.StartupGateMessageId();
  if (message != 0) {
    dialog.m_closing = 1;
    std::cout << "start-up refused:    [" << Narrow(StartupMessageText(301)) << "] " << Narrow(StartupMessageText(message))
              << " (string " << message << ")\n";
    return false;
  }
  std::cout << "start-up gate:       passed\n";

  RunInstallationWithoutWindow(dialog);
  return false;
}
