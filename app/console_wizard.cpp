// Progress and wizard sinks that print, and the run that uses them.
#include "app/console_wizard.h"

#include <iostream>
#include <memory>
#include <string>

#include "engine/install_worker.h"
#include "platform/codepage.h"
#include "system/service_control.h"

namespace {

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

class ConsoleProgress : public ProgressSink {
 public:
  void SetStatusText(const std::wstring& text) override { std::cout << "status: " << Narrow(text) << "\n"; }
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override {
    std::cout << (replaceLast ? "  row (replaces last): " : "  row: ") << Narrow(text) << "  [" << percent << "%]\n";
  }
};

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

void RunInstallationWithoutWindow(const CbvlInstallerDlg& dialog) {
  auto session = std::make_shared<InstallSession>();
  session->progress = std::make_shared<ConsoleProgress>();
  session->wizard = std::make_shared<ConsoleWizard>();
  session->strings = [](unsigned id) { return StartupMessageText(static_cast<int>(id)); };
  session->engine = std::make_shared<InstallEngine>(dialog, *session->progress);
  session->engine->BuildCatalogue();

  InstallWorkerThread worker(session);
  worker.Wait();

  // The completion page's OK button.
  std::cout << "OK pressed: starting the agent service\n";
  StartAgent();
}
