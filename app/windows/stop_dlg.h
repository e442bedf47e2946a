// StopDlg: the installer's own modal message dialog in the wizard's style —
// the confirmation form (OK and Cancel) that asks whether to stop, and the
// message form (one OK) that tells why start-up refuses.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>
#include <memory>
#include <string>

#include "app/windows/dialog.h"
#include "ui/windows/button.h"
#include "ui/windows/d2d1_label.h"
#include "ui/windows/render_target.h"

class StopDlg : public Dialog {
 public:
  // `parent` null: the main window is the owner.
  StopDlg(std::wstring message, std::int32_t twoButtons, HWND parent);

  // IDOK when OK was pressed, IDCANCEL when Cancel was.
  INT_PTR DoModal();
  void InitControls();

  bool PreTranslateMessage(MSG* message) override;

  bvlui::D2D1Label m_titleLabel;
  bvlui::D2D1Label m_messageLabel;
  bvlui::ImageButton m_okButton;
  bvlui::ImageButton m_cancelButton;
  std::unique_ptr<bvlui::DCRenderTarget> m_renderTarget;
  std::wstring m_message;
  std::int32_t m_twoButtons;

 protected:
  bool OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  void OnButtonClicked(int id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  HWND m_parent;
};
