// The worker's calls carried into the user-interface thread.
#include "app/wizard_sinks.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "app/complete_view.h"
#include "app/installer_dlg.h"
#include "app/progress_view.h"
#include "app/resource.h"
#include "app/window_placement.h"
#include "ui/resbox.h"

void RunOnUserInterfaceThread(const std::function<void()>& call) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return;
  if (QThread::currentThread() == application->thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(application, call, Qt::BlockingQueuedConnection);
}

void ProgressViewSink::SetStatusText(const std::wstring& text) {
  RunOnUserInterfaceThread([this, text] {
    if (m_page) m_page->SetStatusText(text);
  });
}

void ProgressViewSink::AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) {
  RunOnUserInterfaceThread([this, text, replaceLast, percent] {
    if (m_page) m_page->AddStatusRow(text, replaceLast, percent);
  });
}

void InstallerWizardSink::ShowMessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
  RunOnUserInterfaceThread([this, text, caption, type] {
    if (!m_page || !m_wizard) return;
    m_wizard->m_messageBox(m_page, text, caption, type);
  });
}

void InstallerWizardSink::ShowFailureForm(const std::wstring& message) {
  RunOnUserInterfaceThread([this, message] {
    if (!m_wizard || !m_wizard->m_pCompleteView) return;
    m_wizard->m_pCompleteView->ShowFailure(message);
  });
}

void InstallerWizardSink::ShowCompletionPage(const std::wstring& okText) {
  RunOnUserInterfaceThread([this, okText] {
    if (!m_wizard) return;
    if (m_wizard->m_pProgressView) m_wizard->m_pProgressView->hide();
    CompleteView* page = m_wizard->m_pCompleteView;
    if (page) PlaceWindow(page, m_wizard->m_layout[IDD_COMPLETE_VIEW]);
    bvlui::ImageButton& button = m_wizard->m_cancelButton;
    button.setText(QString::fromStdWString(okText));
    button.SetImages(RESBOX::GetImage(IDB_BUTTON_NORMAL), RESBOX::GetImage(IDB_BUTTON_HOVER));
    button.show();
    if (page) page->show();
  });
}

bool InstallerWizardSink::OffersShortcut() const {
  bool offers = false;
  RunOnUserInterfaceThread([this, &offers] {
    offers = m_wizard && m_wizard->m_pCompleteView && m_wizard->m_pCompleteView->m_offerShortcut != 0;
  });
  return offers;
}
