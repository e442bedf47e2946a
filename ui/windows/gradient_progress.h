// GradientProgress: the progress page's bar, subclassed onto a progress bar
// control. It paints its filled part as bands of colour running from the
// start colour towards the end colour, double-buffered with GDI, on the
// background colour.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>

#include "ui/windows/native_window.h"

class GradientProgress : public bvlui::NativeWindow {
 public:
  GradientProgress();

  std::int32_t m_lower = 0;
  std::int32_t m_upper = 100;
  std::int32_t m_step = 10;  // kept for the owner; painting does not use it
  std::int32_t m_position = 0;
  COLORREF m_startColor = 0x000000FF;
  COLORREF m_endColor = 0x00FF0000;
  COLORREF m_backgroundColor;  // the system's button face until set
  COLORREF m_textColor = 0x00FFFFFF;
  bool m_showPercent = false;

  // Paints the bar into `dc` over its client rectangle.
  void Paint(HDC dc) const;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
