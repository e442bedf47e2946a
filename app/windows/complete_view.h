// CompleteView: the wizard's last page — the result text and, after a
// successful installation, the offer of shortcuts to the agent.
#pragma once

#include "ui/windows/windows_headers.h"

#include <cstdint>
#include <memory>
#include <string>

#include "app/windows/dialog.h"
#include "ui/windows/d2d1_label.h"
#include "ui/windows/render_target.h"
#include "ui/windows/trans_button.h"

class CompleteView : public Dialog {
 public:
  CompleteView();
  ~CompleteView() override;

  void InitControls();
  // The form after a failed installation (the worker's call): `message` as
  // the result text, the check box hidden and the shortcut offer (with its
  // painted question) withdrawn.
  void ShowFailure(const std::wstring& message);
  // The agent's shortcuts on the desktop and in the programs menu.
  void CreateShortcuts();
  bool ShortcutBoxChecked() const;

  bool PreTranslateMessage(MSG* message) override;

  bvlui::D2D1Label m_messageLabel;
  std::unique_ptr<bvlui::DCRenderTarget> m_renderTarget;
  CTransButton m_shortcutCheck;
  std::int32_t m_offerShortcut = 1;
  HFONT m_font = nullptr;

 protected:
  bool OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, HBRUSH brush) override;

 private:
  HFONT m_checkBoxFont = nullptr;
};
