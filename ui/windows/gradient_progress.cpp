// Painting of the gradient progress bar: the bands of ui/gradient_bands
// drawn into a memory DC and copied to the window in one go.
#include "ui/windows/gradient_progress.h"

#include <commctrl.h>

#include <string>

#include "ui/gradient_bands.h"

namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

}  // namespace

GradientProgress::GradientProgress() : m_backgroundColor(::GetSysColor(COLOR_BTNFACE)) {}

void GradientProgress::Paint(HDC dc) const {
  const RECT client = GetClientRect();
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (bvlui::GradientIsEmpty(m_position, m_lower, m_upper)) {
    FillSolid(dc, client, ::GetSysColor(COLOR_BTNFACE));
    return;
  }
  if (width <= 0 || height <= 0) return;
  const bool vertical = (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & PBS_VERTICAL) != 0;
  const int length = vertical ? height : width;
  const int filled = bvlui::GradientFilledExtent(m_position, m_upper, length);
  const bvlui::GradientPlan plan = bvlui::PlanGradient(length, filled, m_startColor, m_endColor);

  HDC memory = ::CreateCompatibleDC(dc);
  HBITMAP buffer = ::CreateCompatibleBitmap(dc, width, height);
  if (memory == nullptr || buffer == nullptr) {
    if (buffer != nullptr) ::DeleteObject(buffer);
    if (memory != nullptr) ::DeleteDC(memory);
    return;
  }
  HGDIOBJ previous = ::SelectObject(memory, buffer);
  // Across the bar a band reaches one pixel past the bar's size.
  for (const bvlui::GradientBand& band : plan.bands) {
    const RECT area = vertical ? RECT{0, band.from, width + 1, band.to} : RECT{band.from, 0, band.to, height + 1};
    FillSolid(memory, area, band.colour);
  }
  if (plan.backgroundFrom < length) {
    const RECT rest = vertical ? RECT{0, plan.backgroundFrom, width, height} : RECT{plan.backgroundFrom, 0, width, height};
    FillSolid(memory, rest, m_backgroundColor);
  }
  ::BitBlt(dc, client.left, client.top, width, height, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, previous);
  ::DeleteObject(buffer);
  ::DeleteDC(memory);

  const std::wstring percent = m_showPercent ? bvlui::GradientPercentText(m_position, m_lower, m_upper) : std::wstring();
  if (!percent.empty()) {
    RECT area = client;
    ::SetTextColor(dc, m_textColor);
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, percent.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}

LRESULT GradientProgress::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (bvlui::HandlePaintMessage(m_hWnd, message, wParam, [this](HDC dc) { Paint(dc); })) return 0;
  switch (message) {
    case WM_ERASEBKGND:
      // Nothing erased, reported as erased: the paint covers every pixel.
      return TRUE;
    default:
      return Default(message, wParam, lParam);
  }
}
