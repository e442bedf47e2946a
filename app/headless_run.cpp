// The headless run: the start-up report and the download step as text lines.
#include "app/headless_run.h"

#include <iostream>
#include <string>

#include "app/installer_dlg.h"
#include "app/startup_gate.h"
#include "engine/install_engine.h"
#include "platform/codepage.h"
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

// The progress page's status label and list, as lines of text.
class ConsoleProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring& text) override { std::cout << "status: " << Narrow(text) << "\n"; }
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override {
    std::cout << (replaceLast ? "  row (replaces last): " : "  row: ") << Narrow(text) << "  [" << percent << "%]\n";
  }
};

}  // namespace

int RunWithoutDisplay() {
  wchar_t buffer[win::MAX_PATH] = {};
  win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  std::wstring modulePath = buffer;

  InstallerContext dialog;
  dialog.ReadInstallationToken(modulePath);

  std::cout << "module path:         " << Narrow(modulePath) << "\n"
            << "server address:      " << Narrow(dialog.m_serverAddress) << "\n"
            << "update address:      " << Narrow(dialog.m_updateAddress) << "\n"
            << "MqttInfo:            " << Narrow(ReadUserProductValue(kMqttInfoValue)) << "\n"
            << "server check result: " << dialog.m_serverCheckResult << "\n";

  int message = StartupGateDecision(dialog);
  if (message != 0) {
    dialog.m_closing = 1;
    std::cout << "start-up refused:    [" << Narrow(StartupMessageText(301)) << "] " << Narrow(StartupMessageText(message))
              << " (string " << message << ")\n";
    return 0;
  }
  std::cout << "start-up gate:       passed\n";

  ConsoleProgress progress;
  InstallEngine engine(dialog, progress);
  engine.BuildCatalogue();
  if (dialog.m_updateAddress.empty()) {
    std::cout << "install failed:      Get UpdateAddress Fail\n";
    return 0;
  }
  progress.SetStatusText(L"CreateAndMoveInstalledFile..");
  bool placed = engine.CreateAndMoveInstalledFile();
  progress.AddStatusRow(placed ? L"CreateAndMoveInstalledFile Success" : L"CreateAndMoveInstalledFile Fail", false, 70);
  if (!placed) std::cout << "install failed:      FileDownLoad Fail\n";
  return 0;
}
