// The install worker's sinks on the Qt wizard: each call is a blocking call
// into the user-interface thread (so rows and bar positions appear in call
// order while that thread keeps pumping), and does nothing once its page or
// window is gone.
#pragma once

#include <QPointer>

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
  QPointer<ProgressView> m_page;  // read on the user-interface thread only
};

class InstallerWizardSink : public WizardSink {
 public:
  InstallerWizardSink(CbvlInstallerDlg* wizard, ProgressView* page) : m_wizard(wizard), m_page(page) {}
  void ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) override;
  void ShowFailureForm(const std::wstring& message) override;
  void ShowCompletionPage(const std::wstring& okText) override;
  bool OffersShortcut() const override;

 private:
  QPointer<CbvlInstallerDlg> m_wizard;
  QPointer<ProgressView> m_page;
};

// Runs `call` on the user-interface thread and waits for it; runs it at once
// when already there. Does nothing once the application is gone.
void RunOnUserInterfaceThread(const std::function<void()>& call);
