// The check box's colours.
#include "ui/windows/trans_button.h"

CTransButton::CTransButton() : m_brush(::CreateSolidBrush(0x00FFFFFF)) {}

CTransButton::~CTransButton() {
  if (m_brush != nullptr) ::DeleteObject(m_brush);
}

bool CTransButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message != WM_CTLCOLORBTN && message != WM_CTLCOLORSTATIC) {
    return NativeWindow::OnChildNotify(message, wParam, lParam, result);
  }
  HDC dc = reinterpret_cast<HDC>(wParam);
  ::SetBkColor(dc, m_backgroundColor);
  ::SetTextColor(dc, m_textColor);
  *result = reinterpret_cast<LRESULT>(m_brush);
  return true;
}
