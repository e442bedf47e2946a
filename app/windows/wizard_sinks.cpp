// The worker's calls on the native wizard's windows.
// The product's headers come before the system's, whose macros must not
// reach them.
#include "engine/progress_sink.h"
#include "engine/wizard_sink.h"

#include "app/windows/wizard_sinks.h"

#include "app/resource.h"
#include "app/windows/complete_view.h"
#include "app/windows/installer_dlg.h"
#include "app/windows/progress_view.h"
#include "ui/windows/resbox.h"

void ProgressViewSink::SetStatusText(const std::wstring& text) { m_page->SetStatusText(text); }

void ProgressViewSink::AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) {
  m_page->AddStatusRow(text, replaceLast, percent);
}

void InstallerWizardSink::ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
  ::MessageBoxW(m_page->m_hWnd, text.c_str(), caption.c_str(), type);
}

void InstallerWizardSink::ShowFailureForm(const std::wstring& message) {
  m_wizard->m_pCompleteView->ShowFailure(message);
}

void InstallerWizardSink::ShowCompletionPage(const std::wstring& okText) {
  m_page->ShowWindow(SW_HIDE);
  Place(*m_wizard->m_pCompleteView, m_wizard->m_layout.at(IDD_COMPLETE_VIEW));
  m_wizard->m_cancelButton.SetWindowText(okText);
  m_wizard->m_cancelButton.SetImages(RESBOX::GetImage(IDB_BUTTON_NORMAL), RESBOX::GetImage(IDB_BUTTON_HOVER), nullptr);
  m_wizard->m_cancelButton.ShowWindow(SW_SHOW);
  m_wizard->m_pCompleteView->ShowWindow(SW_SHOW);
}

bool InstallerWizardSink::OffersShortcut() const { return m_wizard->m_pCompleteView->m_offerShortcut != 0; }
