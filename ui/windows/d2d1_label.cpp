// Painting of the label: the background, then the window text.
#include "ui/windows/d2d1_label.h"

namespace bvlui {

void D2D1Label::Paint(HDC dc) {
  const RECT client = GetClientRect();
  if (!m_renderTarget.BindDC(dc, client)) return;
  m_renderTarget.BeginDraw();
  m_renderTarget.Clear(m_backgroundColor);
  const std::wstring text = GetWindowText();
  if (!text.empty()) {
    // The format is made anew on every paint, so that the fields a page
    // changes between paints take effect.
    ComPtr<IDWriteTextFormat> format =
        CreateTextFormat(m_fontFamily, m_fontSize, static_cast<DWRITE_FONT_WEIGHT>(m_fontWeight),
                         static_cast<DWRITE_TEXT_ALIGNMENT>(m_textAlignment),
                         static_cast<DWRITE_PARAGRAPH_ALIGNMENT>(m_paragraphAlignment));
    if (format && m_trimWithEllipsis) {
      format->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
      ComPtr<IDWriteInlineObject> ellipsis;
      if (SUCCEEDED(SharedDWriteFactory()->CreateEllipsisTrimmingSign(format.Get(), ellipsis.Put()))) {
        const DWRITE_TRIMMING trimming = {DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
        format->SetTrimming(&trimming, ellipsis.Get());
      }
    }
    m_renderTarget.DrawText(text, format.Get(), ToRectF(client), m_textColor);
  }
  m_renderTarget.EndDraw();
}

LRESULT D2D1Label::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (bvlui::HandlePaintMessage(m_hWnd, message, wParam, [this](HDC dc) { Paint(dc); })) return 0;
  switch (message) {
    case WM_ERASEBKGND:
      return FALSE;
    case WM_SETTEXT: {
      // A text set from another thread arrives here too: repaint with it.
      const LRESULT result = Default(message, wParam, lParam);
      Invalidate(false);
      return result;
    }
    default:
      return Default(message, wParam, lParam);
  }
}

}  // namespace bvlui
