// The headless run: the start-up report, the installation and its ending as
// text lines.
#include "app/headless_run.h"

#include <iostream>
#include <memory>
#include <string>

#include "app/resource.h"
#include "app/startup_gate.h"
#include "app/startup_texts.h"
#include "engine/install_worker.h"
#include "platform/codepage.h"
#include "platform/process.h"
#include "system/registry_helpers.h"
#include "system/service_control.h"

namespace {

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

// A string value of the installer account's product key; empty when missing.
std::wstring ReadUserProductValue(const std::wstring& name) {
  std::wstring value;
  RegReadUserString(kProductKey, name, &value);
  return value;
}

class ConsoleProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring& text) override { std::cout << "status: " << Narrow(text) << "\n"; }
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override {
    std::cout << (replaceLast ? "  row (replaces last): " : "  row: ") << Narrow(text) << "  [" << percent << "%]\n";
  }
};

// The wizard's part of the ending as lines of text.
class ConsoleWizard : public WizardSink {
 public:
  void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override {
    std::cout << "message box: [" << Narrow(caption) << "] " << Narrow(text) << " (type 0x" << std::hex << type
              << std::dec << ")\n";
  }
  void ShowFailureForm(const std::wstring& message) override {
    m_offerShortcut = false;
    std::cout << "completion page: " << Narrow(message) << " (no shortcut offer)\n";
  }
  void ShowCompletionPage(const std::wstring& okText) override {
    std::cout << "completion page shown, button: " << Narrow(okText) << "\n";
  }
  bool OffersShortcut() const override { return m_offerShortcut; }

 private:
  bool m_offerShortcut = true;
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
    std::cout << "start-up refused:    [" << Narrow(StartupMessageText(IDS_PRODUCT_NAME)) << "] " << Narrow(StartupMessageText(message))
              << " (string " << message << ")\n";
    return 0;
  }
  std::cout << "start-up gate:       passed\n";

  // The install worker to its end, then the completion page's OK button
  // (without shortcuts: there is no desktop to put them on).
  auto session = std::make_shared<InstallSession>();
  session->progress = std::make_shared<ConsoleProgress>();
  session->wizard = std::make_shared<ConsoleWizard>();
  session->strings = [](unsigned id) { return StartupMessageText(static_cast<int>(id)); };
  session->engine = std::make_shared<InstallEngine>(dialog, *session->progress);
  session->engine->BuildCatalogue();
  InstallWorkerThread worker(session);
  worker.Wait();
  std::cout << "OK pressed: starting the agent service\n";
  StartAgent();
  return 0;
}
