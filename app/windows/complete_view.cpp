// The completion page: the result text, the shortcut offer and its painted
// question.
#include "app/windows/complete_view.h"

#include "app/resource.h"
#include "app/shortcuts.h"
#include "app/windows/chrome_painting.h"
#include "app/windows/control_style.h"
#include "app/windows/installer_dlg.h"
#include "app/wizard_look.h"
#include "app/wizard_texts.h"
#include "ui/windows/gdi_font.h"
#include "ui/windows/resbox.h"
#include "ui/windows/visual_style.h"

CompleteView::CompleteView() : Dialog(IDD_COMPLETE_VIEW) {}

CompleteView::~CompleteView() {
  DestroyWindow();
  if (m_font != nullptr) ::DeleteObject(m_font);
  if (m_checkBoxFont != nullptr) ::DeleteObject(m_checkBoxFont);
}

bool CompleteView::OnInitDialog() {
  m_messageLabel.SubclassDlgItem(IDC_STATIC_RESULT, m_hWnd);
  m_shortcutCheck.SubclassDlgItem(IDC_CHECK_SHORTCUT, m_hWnd);
  m_font = bvlui::CreatePointFont(100, kKoreanFamilyName);
  ::SendMessageW(m_shortcutCheck.m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  bvlui::RemoveVisualStyle(m_shortcutCheck.m_hWnd);
  m_checkBoxFont = bvlui::CreatePixelFont(kCheckBoxFontHeight, FW_NORMAL, kKoreanFamilyName);
  m_renderTarget = std::make_unique<bvlui::DCRenderTarget>(0.0f);
  InitControls();
  return true;
}

void CompleteView::InitControls() {
  const LayoutTable& layout = g_pInstallerDlg->m_layout;
  StylePageLabel(&m_messageLabel, kPageFontSize);
  Place(m_messageLabel, layout.at(IDC_STATIC_RESULT));
  m_messageLabel.SetWindowText(RESBOX::GetString(IDS_INSTALL_COMPLETE));

  Place(m_shortcutCheck, layout.at(IDC_CHECK_SHORTCUT));
  ::SendMessageW(m_shortcutCheck.m_hWnd, BM_SETCHECK, BST_CHECKED, 0);
}

void CompleteView::ShowFailure(const std::wstring& message) {
  m_messageLabel.SetWindowText(message);
  m_shortcutCheck.ShowWindow(SW_HIDE);
  m_offerShortcut = 0;
  Invalidate(true);
}

void CompleteView::CreateShortcuts() { CreateAgentShortcuts(); }

bool CompleteView::ShortcutBoxChecked() const {
  return ::SendMessageW(m_shortcutCheck.m_hWnd, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
}

bool CompleteView::PreTranslateMessage(MSG* message) { return SwallowedByKeyFilter(*message); }

bool CompleteView::OnEraseBkgnd(HDC dc) {
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  if (!m_renderTarget->BindDC(dc, client)) return true;
  m_renderTarget->BeginDraw();
  m_renderTarget->Clear(bvlui::ColorF(kWhite.r, kWhite.g, kWhite.b));
  if (m_offerShortcut) {
    // Beside the check box: from its right edge plus 5 to 400, two pixels
    // above and below it.
    const LayoutRect& box = g_pInstallerDlg->m_layout.at(IDC_CHECK_SHORTCUT);
    const D2D1_RECT_F question = D2D1::RectF(static_cast<float>(box.right + 5), static_cast<float>(box.top - 2), 400.0f,
                                             static_cast<float>(box.bottom + 2));
    auto format = bvlui::CreateTextFormat(kKoreanFamilyName, kPageFontSize, DWRITE_FONT_WEIGHT_NORMAL,
                                          DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    m_renderTarget->DrawText(kShortcutQuestion, format.Get(), question,
                             bvlui::ColorF(kPageTextGrey.r, kPageTextGrey.g, kPageTextGrey.b));
  }
  m_renderTarget->EndDraw();
  return true;
}

HBRUSH CompleteView::OnCtlColor(HDC dc, HWND control, HBRUSH brush) {
  if (::GetDlgCtrlID(control) != IDC_CHECK_SHORTCUT) return brush;
  ::SelectObject(dc, m_checkBoxFont);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(kPageTextGrey.r, kPageTextGrey.g, kPageTextGrey.b));
  return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}
