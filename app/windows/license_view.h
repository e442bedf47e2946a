// LicenseView: the wizard's first page — a short introduction and the
// installation and terms-of-use agreement in a read-only rich-text box.
#pragma once

#include "ui/windows/windows_headers.h"

#include <memory>

#include "app/windows/dialog.h"
#include "ui/windows/d2d1_label.h"
#include "ui/windows/render_target.h"

class LicenseView : public Dialog {
 public:
  LicenseView();
  ~LicenseView() override;

  // Styles and places the two controls and loads the agreement.
  void InitControls();

  bool PreTranslateMessage(MSG* message) override;

  bvlui::D2D1Label m_introLabel;
  HWND m_licenseEdit = nullptr;
  std::unique_ptr<bvlui::DCRenderTarget> m_renderTarget;
  HFONT m_font = nullptr;

 protected:
  bool OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
};
