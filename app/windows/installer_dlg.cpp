// The main wizard window: initialisation, the start-up gate, painting,
// dragging and the page transitions.
// The product's headers come before the system's, whose macros must not
// reach them.
#include "app/startup_gate.h"
#include "system/service_control.h"

#include "app/windows/installer_dlg.h"

#include "app/resource.h"
#include "app/windows/chrome_painting.h"
#include "app/windows/complete_view.h"
#include "app/windows/control_style.h"
#include "app/windows/license_view.h"
#include "app/windows/progress_view.h"
#include "app/windows/stop_dlg.h"
#include "app/wizard_flow.h"
#include "app/wizard_look.h"
#include "app/wizard_texts.h"
#include "ui/windows/resbox.h"

CbvlInstallerDlg* g_pInstallerDlg = nullptr;

namespace {
constexpr WORD kKorean = 0x0412;
constexpr UINT kMessageBoxOkExclamation = MB_OK | MB_ICONEXCLAMATION;

int RunStopDialog(const std::wstring& message, bool twoButtons) {
  StopDlg dialog(message, twoButtons ? 1 : 0, nullptr);
  return static_cast<int>(dialog.DoModal());
}
}  // namespace

CbvlInstallerDlg::CbvlInstallerDlg() : Dialog(IDD_BVLINSTALLER_DIALOG) {
  m_hIcon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, 0,
                                            0, LR_DEFAULTSIZE | LR_SHARED));
}

CbvlInstallerDlg::~CbvlInstallerDlg() {
  DestroyPages();
  if (g_pInstallerDlg == this) g_pInstallerDlg = nullptr;
}

INT_PTR CbvlInstallerDlg::DoModal() {
  const INT_PTR result = Dialog::DoModal(nullptr);
  DestroyPages();
  return result;
}

void CbvlInstallerDlg::PreloadResources() {
  RESBOX::IdSet images, texts;
  for (unsigned id = IDB_FIRST; id <= IDB_LAST; ++id) images.insert(id);
  for (unsigned id = IDS_FIRST; id <= IDS_LAST; ++id) texts.insert(id);
  HMODULE module = ::GetModuleHandleW(nullptr);
  RESBOX::LoadImage(images, module, kKorean);
  RESBOX::LoadString(texts, kKorean, module);
  RESBOX::LoadBinary({IDR_LICENSE_RTF}, module, kKorean);
}

void CbvlInstallerDlg::BuildLayoutTable() { FillLayoutTable(&m_layout); }

bool CbvlInstallerDlg::OnInitDialog() {
  // The controls of the template get their objects first.
  m_agreeButton.SubclassDlgItem(IDC_BUTTON_AGREE, m_hWnd);
  m_cancelButton.SubclassDlgItem(IDC_BUTTON_CANCEL, m_hWnd);
  m_closeButton.SubclassDlgItem(IDC_BUTTON_CLOSE, m_hWnd);
  m_titleLabel.SubclassDlgItem(IDC_STATIC_TITLE, m_hWnd);

  SetWindowText(kWindowTitle);
  g_pInstallerDlg = this;
  m_renderTarget = std::make_unique<bvlui::DCRenderTarget>(0.0f);
  PreloadResources();
  BuildLayoutTable();
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  const int refusal = StartupGateDecision(*this);
  if (refusal != 0) {
    Refuse(refusal);
    return true;
  }

  const LayoutRect& size = m_layout[IDD_BVLINSTALLER_DIALOG];
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - size.Width()) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - size.Height()) / 2;
  MoveWindow(x, y, size.Width(), size.Height(), true);
  StyleOwnControls();
  CreatePages();
  return true;
}

void CbvlInstallerDlg::Refuse(int id) {
  const std::wstring text = RESBOX::GetString(static_cast<unsigned>(id));
  if (RefusalUsesSystemMessageBox(id)) {
    ::MessageBoxW(m_hWnd, text.c_str(), RESBOX::GetString(IDS_PRODUCT_NAME).c_str(), kMessageBoxOkExclamation);
  } else {
    RunStopDialog(text, false);
  }
  m_closing = 1;
  g_pInstallerDlg->PostQuit();
}

void CbvlInstallerDlg::StyleOwnControls() {
  StyleTitleLabel(&m_titleLabel);
  Place(m_titleLabel, m_layout[IDC_STATIC_TITLE]);
  m_titleLabel.SetWindowText(RESBOX::GetString(IDS_INSTALL_TITLE));

  Place(m_agreeButton, m_layout[IDC_BUTTON_AGREE]);
  StyleTextButton(&m_agreeButton, kKoreanFamilyName);
  m_agreeButton.SetWindowText(RESBOX::GetString(IDS_AGREE));

  Place(m_cancelButton, m_layout[IDC_BUTTON_CANCEL]);
  StyleTextButton(&m_cancelButton, kKoreanFamilyName);
  m_cancelButton.SetWindowText(RESBOX::GetString(IDS_CANCEL));

  Place(m_closeButton, m_layout[IDC_BUTTON_CLOSE]);
  m_closeButton.SetImages(RESBOX::GetImage(IDB_CLOSE_NORMAL), RESBOX::GetImage(IDB_CLOSE_HOVER),
                          RESBOX::GetImage(IDB_CLOSE_PRESSED));
}

void CbvlInstallerDlg::CreatePages() {
  if (m_pLicenseView == nullptr) {
    m_pLicenseView = new LicenseView();
    m_pLicenseView->Create(m_hWnd);
    m_pLicenseView->ShowWindow(SW_SHOW);
    Place(*m_pLicenseView, m_layout[IDD_LICENSE_VIEW]);
    // The agreement shows from its beginning.
    ::SendMessageW(m_pLicenseView->m_licenseEdit, EM_SETSEL, 0, 0);
  }
  if (m_pProgressView == nullptr) {
    m_pProgressView = new ProgressView();
    m_pProgressView->Create(m_hWnd);
    m_pProgressView->ShowWindow(SW_HIDE);
  }
  if (m_pCompleteView == nullptr) {
    m_pCompleteView = new CompleteView();
    m_pCompleteView->Create(m_hWnd);
    m_pCompleteView->ShowWindow(SW_HIDE);
  }
}

void CbvlInstallerDlg::DestroyPages() {
  // The progress page first: its destruction stops a worker that still runs
  // before the other pages, which the worker may touch, go away.
  delete m_pProgressView;
  m_pProgressView = nullptr;
  delete m_pLicenseView;
  m_pLicenseView = nullptr;
  delete m_pCompleteView;
  m_pCompleteView = nullptr;
}

void CbvlInstallerDlg::PostQuit() const { ::PostMessageW(m_hWnd, WM_QUIT, 0, 0); }

bool CbvlInstallerDlg::PreTranslateMessage(MSG* message) { return SwallowedByKeyFilter(*message); }

bool CbvlInstallerDlg::OnEraseBkgnd(HDC dc) {
  if (m_closing) return true;
  PaintDialogChrome(m_renderTarget.get(), m_hWnd, dc, kMainButtonBandTop);
  return true;
}

bool CbvlInstallerDlg::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_LBUTTONDOWN:
      DragFromTitleBar(lParam);
      return false;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    default:
      return false;
  }
}

void CbvlInstallerDlg::OnButtonClicked(int id) {
  switch (id) {
    case IDC_BUTTON_AGREE:
      OnBnClickedAgree();
      break;
    case IDC_BUTTON_CANCEL:
      OnBnClickedCancel();
      break;
    case IDC_BUTTON_CLOSE:
      OnBnClickedClose();
      break;
    default:
      break;
  }
}

void CbvlInstallerDlg::OnBnClickedAgree() {
  m_agreeButton.ShowWindow(SW_HIDE);
  m_cancelButton.ShowWindow(SW_HIDE);
  m_closeButton.ShowWindow(SW_HIDE);
  Place(*m_pProgressView, m_layout[IDD_PROGRESS_VIEW]);
  m_pProgressView->ShowWindow(SW_SHOW);
  m_pProgressView->StartWorker();
  m_pLicenseView->ShowWindow(SW_HIDE);
}

void CbvlInstallerDlg::OnBnClickedClose() {
  if (RunStopDialog(RESBOX::GetString(IDS_STOP_CONFIRM), true) == IDOK) PostQuit();
}

void CbvlInstallerDlg::OnBnClickedCancel() {
  const bool licence = m_pLicenseView != nullptr && m_pLicenseView->IsWindowVisible();
  const bool completion = m_pCompleteView != nullptr && m_pCompleteView->IsWindowVisible();
  switch (CancelButtonActionFor(licence, completion)) {
    case CancelButtonAction::kAskToStop:
      OnBnClickedClose();
      break;
    case CancelButtonAction::kFinish:
      if (ShouldCreateShortcuts(m_pCompleteView->ShortcutBoxChecked(), m_pCompleteView->m_offerShortcut)) {
        m_pCompleteView->CreateShortcuts();
      }
      ShowWindow(SW_HIDE);
      StartAgent();
      PostQuit();
      break;
    case CancelButtonAction::kNothing:
      break;
  }
}
