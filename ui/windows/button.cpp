// The wizard's buttons: hover tracking, the hand cursor and painting.
#include "ui/windows/button.h"

#include "ui/windows/font_family.h"

namespace bvlui {

int ButtonStateIndex(UINT itemState, bool hovered) {
  if (itemState & ODS_SELECTED) return kStatePressed;
  if (itemState & ODS_DISABLED) return kStateDisabled;
  return hovered ? kStateHover : kStateNormal;
}

Button::Button() = default;
Button::~Button() = default;

void Button::SetTextFont(const std::wstring& family, float size) {
  // A caption format that names no family takes the button's own font, so
  // that the captions of every language still show.
  const std::wstring chosen = family.empty() ? FamilyOfWindowFont(m_hWnd) : family;
  m_captionFormat = CreateTextFormat(chosen, size, DWRITE_FONT_WEIGHT_NORMAL, DWRITE_TEXT_ALIGNMENT_CENTER,
                                     DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  if (m_hWnd != nullptr) Invalidate(false);
}

void Button::PreSubclassWindow() {
  // Every paint of the button comes through DrawItem.
  const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
  Invalidate(false);
}

bool Button::PreTranslateMessage(MSG* message) {
  // The second click of a double click is a click of its own.
  if (message->hwnd == m_hWnd && message->message == WM_LBUTTONDBLCLK) message->message = WM_LBUTTONDOWN;
  return NativeWindow::PreTranslateMessage(message);
}

bool Button::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message != WM_DRAWITEM) return NativeWindow::OnChildNotify(message, wParam, lParam, result);
  const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  if (item == nullptr || item->hwndItem != m_hWnd) return false;
  DrawItem(*item);
  *result = TRUE;
  return true;
}

void Button::DrawItem(const DRAWITEMSTRUCT& item) {
  const RECT client = GetClientRect();
  const int state = ButtonStateIndex(item.itemState, m_hovered);
  if (!m_renderTarget.BindDC(item.hDC, client)) return;
  m_renderTarget.BeginDraw();
  DrawButton(m_renderTarget, state, client);
  m_renderTarget.EndDraw();
}

void Button::SetClassCursor(LPCWSTR cursor) const {
  // The cursor of the button's window class: it applies to every button of
  // the class while the pointer is over one of them.
  HCURSOR handle = ::LoadCursorW(nullptr, cursor);
  ::SetClassLongPtrW(m_hWnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(handle));
  ::SetCursor(handle);
}

LRESULT Button::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!m_tracking) {
        TRACKMOUSEEVENT request = {sizeof request, TME_HOVER | TME_LEAVE, m_hWnd, kHoverMilliseconds};
        m_tracking = ::TrackMouseEvent(&request) ? 1 : 0;
      }
      break;
    case WM_MOUSEHOVER:
      m_hovered = true;
      if (m_handCursor) SetClassCursor(IDC_HAND);
      Invalidate(false);
      break;
    case WM_MOUSELEAVE:
      if (m_tracking) {
        TRACKMOUSEEVENT request = {sizeof request, TME_CANCEL | TME_HOVER | TME_LEAVE, m_hWnd, 0};
        ::TrackMouseEvent(&request);
        m_tracking = 0;
      }
      m_hovered = false;
      if (m_handCursor) SetClassCursor(IDC_ARROW);
      Invalidate(false);
      break;
    case WM_LBUTTONDBLCLK:
      // Reached here when no message loop offered it to PreTranslateMessage.
      Invalidate(false);
      return Default(WM_LBUTTONDOWN, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      Invalidate(false);
      break;
    case WM_ENABLE: {
      const LRESULT result = Default(message, wParam, lParam);
      if (!wParam) Invalidate(true);
      return result;
    }
    case WM_ERASEBKGND:
      return FALSE;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

void ImageButton::SetImages(HBITMAP normal, HBITMAP hover, HBITMAP pressed) {
  m_bitmaps[kStateNormal] = normal;
  m_bitmaps[kStateHover] = hover;
  m_bitmaps[kStatePressed] = pressed;
  if (m_hWnd != nullptr) Invalidate(false);
}

void ImageButton::DrawButton(DCRenderTarget& target, int state, const RECT& client) {
  if (m_clear) target.Clear(m_clearColor);
  if (m_fillBackground) {
    target.FillRectangle(ToRectF(client), (state == kStateHover ? m_hoverBackgroundColor : m_backgroundColor).ToColorF());
  }
  HBITMAP bitmap = state >= 0 && state < 4 ? m_bitmaps[state] : nullptr;
  // A state without a bitmap draws nothing more, not even the caption.
  if (bitmap == nullptr) return;
  const bool wholeClient =
      m_bitmapRect.left == 0 && m_bitmapRect.top == 0 && m_bitmapRect.right == 0 && m_bitmapRect.bottom == 0;
  target.DrawBitmap(bitmap, ToRectF(wholeClient ? client : m_bitmapRect), 1.0f);
  DrawButtonText(target, client, GetWindowText(), state);
}

void ImageButton::DrawButtonText(DCRenderTarget& target, const RECT& client, const std::wstring& caption, int state) {
  const D2D1_COLOR_F colour =
      state == kStateDisabled && m_useDisabledTextColor ? m_disabledTextColor : m_textColor.ToColorF();
  RECT area = client;
  area.left += m_captionOffsetX;
  area.top += m_captionOffsetY;
  target.DrawText(caption, m_captionFormat.Get(), ToRectF(area), colour);
}

}  // namespace bvlui
