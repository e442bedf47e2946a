// The main wizard window: initialisation, the start-up gate, painting,
// dragging and the page transitions.
#include "app/installer_dlg.h"

#include <QCloseEvent>
#include <QPainter>

#include "app/complete_view.h"
#include "app/control_style.h"
#include "app/dialog_chrome.h"
#include "app/key_filter.h"
#include "app/license_view.h"
#include "app/progress_view.h"
#include "app/resource.h"
#include "app/screen_placement.h"
#include "app/startup_gate.h"
#include "app/stop_dlg.h"
#include "app/system_message_box.h"
#include "app/window_accessibility.h"
#include "app/window_drag.h"
#include "app/window_placement.h"
#include "app/wizard_flow.h"
#include "app/wizard_texts.h"
#include "platform/resources.h"
#include "platform/version.h"
#include "ui/icon_resource.h"
#include "ui/resbox.h"

CbvlInstallerDlg* g_pInstallerDlg = nullptr;

namespace {
constexpr win::WORD kKorean = 0x0412;
constexpr unsigned kMessageBoxOkExclamation = 0x30;

int RunStopDialog(const std::wstring& message, bool twoButtons) {
  StopDlg dialog(message, twoButtons ? 1 : 0, nullptr);
  return dialog.DoModal();
}

}  // namespace

CbvlInstallerDlg::CbvlInstallerDlg()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_titleLabel(this),
      m_agreeButton(this),
      m_cancelButton(this),
      m_closeButton(this),
      m_messageBox(SystemMessageBox),
      m_runStopDialog(RunStopDialog),
      m_startWorker(StartInstallWorker) {
  m_hIcon = bvlui::LoadIconResource(win::GetModuleHandleW(nullptr), IDR_MAINFRAME, kKorean);
  InstallWindowAccessibility();
  setAttribute(Qt::WA_OpaquePaintEvent);
  KeyFilter::Install(this);
  WindowDrag::Install(this);
  connect(&m_agreeButton, &QAbstractButton::clicked, this, &CbvlInstallerDlg::OnBnClickedAgree);
  connect(&m_cancelButton, &QAbstractButton::clicked, this, &CbvlInstallerDlg::OnBnClickedCancel);
  connect(&m_closeButton, &QAbstractButton::clicked, this, &CbvlInstallerDlg::OnBnClickedClose);
}

CbvlInstallerDlg::~CbvlInstallerDlg() {
  DestroyPages();
  if (g_pInstallerDlg == this) g_pInstallerDlg = nullptr;
}

bool CbvlInstallerDlg::IsAlreadyInstalled() { return AgentUninstallEntryExists(); }

int CbvlInstallerDlg::StartupGateMessageId() const { return StartupGateDecision(*this); }

void CbvlInstallerDlg::PreloadResources() {
  RESBOX::IdSet images, texts;
  for (unsigned id = IDB_FIRST; id <= IDB_LAST; ++id) images.insert(id);
  for (unsigned id = IDS_FIRST; id <= IDS_LAST; ++id) texts.insert(id);
  win::HMODULE module = win::GetModuleHandleW(nullptr);
  RESBOX::LoadImage(images, module, kKorean);
  RESBOX::LoadString(texts, kKorean, module);
  RESBOX::LoadBinary({IDR_LICENSE_RTF}, module, kKorean);
}

void CbvlInstallerDlg::BuildLayoutTable() { FillLayoutTable(&m_layout); }

int CbvlInstallerDlg::DoModal() {
  OnInitDialog();
  // A refused start never shows the window.
  if (!m_quitPosted) {
    show();
    raise();
    activateWindow();
  }
  m_loop.exec();
  hide();
  DestroyPages();
  return IDOK;
}

void CbvlInstallerDlg::PostQuit() {
  m_quitPosted = true;
  QMetaObject::invokeMethod(this, [this] { m_loop.quit(); }, Qt::QueuedConnection);
}

bool CbvlInstallerDlg::OnInitDialog() {
  setWindowTitle(QString::fromStdWString(kWindowTitle));
  g_pInstallerDlg = this;
  PreloadResources();
  BuildLayoutTable();
  setWindowIcon(m_hIcon);

  const int refusal = StartupGateMessageId();
  if (refusal != 0) {
    Refuse(refusal);
    return true;
  }

  const LayoutRect& size = m_layout[IDD_BVLINSTALLER_DIALOG];
  setGeometry(CentredOnScreen(this, size.Width(), size.Height()));
  setFixedSize(size.Width(), size.Height());
  StyleOwnControls();
  CreatePages();
  return true;
}

void CbvlInstallerDlg::Refuse(int id) {
  const std::wstring text = RESBOX::GetString(static_cast<unsigned>(id));
  if (RefusalUsesSystemMessageBox(id)) {
    m_messageBox(this, text, RESBOX::GetString(IDS_PRODUCT_NAME), kMessageBoxOkExclamation);
  } else {
    m_runStopDialog(text, false);
  }
  m_closing = 1;
  g_pInstallerDlg->PostQuit();
}

void CbvlInstallerDlg::StyleOwnControls() {
  PlaceWindow(&m_titleLabel, m_layout[IDC_STATIC_TITLE]);
  StyleTitleLabel(&m_titleLabel);
  m_titleLabel.setText(QString::fromStdWString(RESBOX::GetString(IDS_INSTALL_TITLE)));

  PlaceWindow(&m_agreeButton, m_layout[IDC_BUTTON_AGREE]);
  StyleTextButton(&m_agreeButton, kKoreanFamily);
  m_agreeButton.setText(QString::fromStdWString(RESBOX::GetString(IDS_AGREE)));

  PlaceWindow(&m_cancelButton, m_layout[IDC_BUTTON_CANCEL]);
  StyleTextButton(&m_cancelButton, kKoreanFamily);
  m_cancelButton.setText(QString::fromStdWString(RESBOX::GetString(IDS_CANCEL)));

  PlaceWindow(&m_closeButton, m_layout[IDC_BUTTON_CLOSE]);
  m_closeButton.SetImages(RESBOX::GetImage(IDB_CLOSE_NORMAL), RESBOX::GetImage(IDB_CLOSE_HOVER),
                          RESBOX::GetImage(IDB_CLOSE_PRESSED));
  m_closeButton.setAccessibleName(QString::fromStdWString(kCloseAccessibleName));
}

void CbvlInstallerDlg::CreatePages() {
  if (!m_pLicenseView) {
    m_pLicenseView = new LicenseView(this);
    m_pLicenseView->OnInitDialog();
    m_pLicenseView->show();
    PlaceWindow(m_pLicenseView, m_layout[IDD_LICENSE_VIEW]);
    m_pLicenseView->m_licenseEdit.moveCursor(QTextCursor::Start);
    m_pLicenseView->m_licenseEdit.ensureCursorVisible();
  }
  if (!m_pProgressView) {
    m_pProgressView = new ProgressView(this);
    m_pProgressView->OnInitDialog();
    m_pProgressView->hide();
  }
  if (!m_pCompleteView) {
    m_pCompleteView = new CompleteView(this);
    m_pCompleteView->OnInitDialog();
    m_pCompleteView->hide();
  }
}

void CbvlInstallerDlg::DestroyPages() {
  delete m_pLicenseView;
  m_pLicenseView = nullptr;
  delete m_pProgressView;
  m_pProgressView = nullptr;
  delete m_pCompleteView;
  m_pCompleteView = nullptr;
}

void CbvlInstallerDlg::paintEvent(QPaintEvent*) {
  if (m_closing) return;
  QPainter painter(this);
  PaintDialogChrome(painter, size(), kMainButtonBandTop);
}

void CbvlInstallerDlg::closeEvent(QCloseEvent* event) { event->ignore(); }

void CbvlInstallerDlg::OnBnClickedAgree() {
  m_agreeButton.hide();
  m_cancelButton.hide();
  m_closeButton.hide();
  PlaceWindow(m_pProgressView, m_layout[IDD_PROGRESS_VIEW]);
  m_pProgressView->show();
  if (m_startWorker) m_pProgressView->m_pWorkerThread = m_startWorker(m_pProgressView->Session());
  m_pLicenseView->hide();
}

void CbvlInstallerDlg::OnBnClickedClose() {
  if (m_runStopDialog(RESBOX::GetString(IDS_STOP_CONFIRM), true) == IDOK) PostQuit();
}

void CbvlInstallerDlg::OnBnClickedCancel() {
  const bool licence = m_pLicenseView && m_pLicenseView->isVisible();
  const bool completion = m_pCompleteView && m_pCompleteView->isVisible();
  switch (CancelButtonActionFor(licence, completion)) {
    case CancelButtonAction::kAskToStop:
      OnBnClickedClose();
      break;
    case CancelButtonAction::kFinish:
      if (ShouldCreateShortcuts(m_pCompleteView->m_shortcutCheck.isChecked(), m_pCompleteView->m_offerShortcut)) {
        m_pCompleteView->CreateShortcuts();
      }
      hide();
      if (m_startAgent) m_startAgent();
      PostQuit();
      break;
    case CancelButtonAction::kNothing:
      break;
  }
}
