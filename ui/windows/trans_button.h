// CTransButton: the completion page's check box, grey text on white so that
// it blends into the white page. Its parent hands it the control-colour
// messages about it (WM_CTLCOLORBTN, WM_CTLCOLORSTATIC).
#pragma once

#include "ui/windows/windows_headers.h"

#include "ui/windows/native_window.h"

class CTransButton : public bvlui::NativeWindow {
 public:
  CTransButton();
  ~CTransButton() override;

  bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  HBRUSH m_brush;  // white; deleted with the button
  COLORREF m_textColor = 0x004D4D4D;
  COLORREF m_backgroundColor = 0x00FFFFFF;
};
