// The install worker's sinks on the native wizard. Each call runs on the
// worker's thread and makes plain window calls on the wizard's windows,
// which the user-interface thread carries out (it keeps pumping its modal
// loop) before the call returns.
#pragma once

#include "engine/progress_sink.h"
#include "engine/wizard_sink.h"

class CbvlInstallerDlg;
class ProgressView;

class ProgressViewSink : public ProgressSink {
 public:
  explicit ProgressViewSink(ProgressView* page) : m_page(page) {}
  void SetStatusText(const std::wstring& text) override;
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override;

 private:
  ProgressView* m_page;
};

// The page objects outlive every call: the wizard offers no way out while
// the worker runs, and the progress page stops the worker before it goes.
class InstallerWizardSink : public WizardSink {
 public:
  InstallerWizardSink(CbvlInstallerDlg* wizard, ProgressView* page) : m_wizard(wizard), m_page(page) {}
  void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override;
  void ShowFailureForm(const std::wstring& message) override;
  void ShowCompletionPage(const std::wstring& okText) override;
  bool OffersShortcut() const override;

 private:
  CbvlInstallerDlg* m_wizard;
  ProgressView* m_page;
};
