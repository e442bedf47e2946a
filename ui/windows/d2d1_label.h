// bvlui::D2D1Label: a static text control that paints its window text with
// DirectWrite on a solid background through a Direct2D render target at
// 96 dpi (the title bar's white on green, the pages' texts).
#pragma once

#include "ui/windows/windows_headers.h"

#include <string>

#include "ui/windows/native_window.h"
#include "ui/windows/render_target.h"

namespace bvlui {

// DirectWrite's alignment numbers, which the pages set.
constexpr int kTextAlignmentLeading = DWRITE_TEXT_ALIGNMENT_LEADING;
constexpr int kTextAlignmentTrailing = DWRITE_TEXT_ALIGNMENT_TRAILING;
constexpr int kTextAlignmentCenter = DWRITE_TEXT_ALIGNMENT_CENTER;
constexpr int kTextAlignmentJustified = DWRITE_TEXT_ALIGNMENT_JUSTIFIED;
constexpr int kParagraphAlignmentNear = DWRITE_PARAGRAPH_ALIGNMENT_NEAR;
constexpr int kParagraphAlignmentFar = DWRITE_PARAGRAPH_ALIGNMENT_FAR;
constexpr int kParagraphAlignmentCenter = DWRITE_PARAGRAPH_ALIGNMENT_CENTER;

class D2D1Label : public NativeWindow {
 public:
  bool m_trimWithEllipsis = false;  // one line, cut with an ellipsis (the installer leaves it off)
  std::wstring m_fontFamily;
  float m_fontSize = 14.0f;  // DIPs: pixels at 96 dpi
  int m_fontWeight = DWRITE_FONT_WEIGHT_NORMAL;
  int m_textAlignment = kTextAlignmentCenter;
  int m_paragraphAlignment = kParagraphAlignmentCenter;
  D2D1_COLOR_F m_backgroundColor{1, 1, 1, 1};
  D2D1_COLOR_F m_textColor{0.2f, 0.2f, 0.2f, 1};
  DCRenderTarget m_renderTarget{96.0f};

  // Paints the label into `dc` over its client rectangle.
  void Paint(HDC dc);

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace bvlui
