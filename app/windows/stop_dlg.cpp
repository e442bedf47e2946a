// The message dialog: its two forms, its chrome and its buttons.
#include "app/windows/stop_dlg.h"

#include "app/resource.h"
#include "app/windows/chrome_painting.h"
#include "app/windows/control_style.h"
#include "app/windows/installer_dlg.h"
#include "app/wizard_look.h"
#include "ui/windows/resbox.h"

StopDlg::StopDlg(std::wstring message, std::int32_t twoButtons, HWND parent)
    : Dialog(IDD_STOP_DLG), m_message(std::move(message)), m_twoButtons(twoButtons), m_parent(parent) {}

INT_PTR StopDlg::DoModal() {
  HWND owner = m_parent;
  if (owner == nullptr && g_pInstallerDlg != nullptr) owner = g_pInstallerDlg->m_hWnd;
  return Dialog::DoModal(owner);
}

bool StopDlg::OnInitDialog() {
  m_okButton.SubclassDlgItem(IDC_BUTTON_STOP_OK, m_hWnd);
  m_cancelButton.SubclassDlgItem(IDC_BUTTON_STOP_CANCEL, m_hWnd);
  m_titleLabel.SubclassDlgItem(IDC_STATIC_STOP_TITLE, m_hWnd);
  m_messageLabel.SubclassDlgItem(IDC_STATIC_STOP_MESSAGE, m_hWnd);
  m_renderTarget = std::make_unique<bvlui::DCRenderTarget>(0.0f);

  const LayoutRect& size = g_pInstallerDlg->m_layout[IDD_STOP_DLG];
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - size.Width()) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - size.Height()) / 2;
  MoveWindow(x, y, size.Width(), size.Height(), true);
  InitControls();
  return true;
}

void StopDlg::InitControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  Place(m_titleLabel, layout.at(IDC_STATIC_STOP_TITLE));
  Place(m_messageLabel, layout.at(IDC_STATIC_STOP_MESSAGE));
  Place(m_okButton, layout.at(IDC_BUTTON_STOP_OK));
  Place(m_cancelButton, layout.at(IDC_BUTTON_STOP_CANCEL));

  // An empty family: the text engine's default, which must still show the
  // Korean captions.
  StyleTextButton(&m_okButton, std::wstring());
  StyleTextButton(&m_cancelButton, std::wstring());
  StyleTitleLabel(&m_titleLabel);
  StylePageLabel(&m_messageLabel, kPageFontSize);

  m_titleLabel.SetWindowText(RESBOX::GetString(IDS_INSTALL_TITLE));
  m_messageLabel.SetWindowText(m_message);
  m_okButton.SetWindowText(RESBOX::GetString(IDS_STOP_OK));
  m_cancelButton.SetWindowText(RESBOX::GetString(IDS_STOP_CANCEL));

  if (m_twoButtons == 0) {
    // One OK button, standing where Cancel would.
    Place(m_okButton, layout.at(IDC_BUTTON_STOP_CANCEL));
    m_cancelButton.ShowWindow(SW_HIDE);
  }
}

bool StopDlg::PreTranslateMessage(MSG* message) { return SwallowedByKeyFilter(*message); }

bool StopDlg::OnEraseBkgnd(HDC dc) {
  PaintDialogChrome(m_renderTarget.get(), m_hWnd, dc, kStopButtonBandTop);
  return true;
}

void StopDlg::OnButtonClicked(int id) {
  if (id == IDC_BUTTON_STOP_OK) EndDialog(IDOK);
  if (id == IDC_BUTTON_STOP_CANCEL) EndDialog(IDCANCEL);
}

bool StopDlg::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT*) {
  if (message == WM_LBUTTONDOWN) DragFromTitleBar(lParam);
  return false;
}
