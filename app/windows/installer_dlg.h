// CbvlInstallerDlg: the installer's only top-level window — the borderless
// 580 x 300 wizard that holds the installer context, runs the start-up gate,
// owns the layout table, preloads the resources, hosts the licence, progress
// and completion pages and reacts to its three buttons.
#pragma once

#include "ui/windows/windows_headers.h"

#include <memory>

#include "app/layout_table.h"
#include "app/windows/dialog.h"
#include "settings/installer_context.h"
#include "ui/windows/button.h"
#include "ui/windows/d2d1_label.h"
#include "ui/windows/render_target.h"

class LicenseView;
class ProgressView;
class CompleteView;

class CbvlInstallerDlg : public Dialog, public InstallerContext {
 public:
  CbvlInstallerDlg();
  ~CbvlInstallerDlg() override;

  // Runs the window until a quit is posted, then tears the pages down. The
  // result is not used.
  INT_PTR DoModal();
  void PreloadResources();
  void BuildLayoutTable();

  void OnBnClickedAgree();
  void OnBnClickedCancel();
  void OnBnClickedClose();

  bool PreTranslateMessage(MSG* message) override;

  HICON m_hIcon = nullptr;
  LayoutTable m_layout;
  LicenseView* m_pLicenseView = nullptr;
  ProgressView* m_pProgressView = nullptr;
  CompleteView* m_pCompleteView = nullptr;
  std::unique_ptr<bvlui::DCRenderTarget> m_renderTarget;
  bvlui::D2D1Label m_titleLabel;
  bvlui::ImageButton m_agreeButton;
  bvlui::ImageButton m_cancelButton;
  bvlui::ImageButton m_closeButton;

 protected:
  bool OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  void OnButtonClicked(int id) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  // Refuses the start with the message `id`: the system message box or the
  // message dialog, then m_closing and the quit.
  void Refuse(int id);
  void StyleOwnControls();
  void CreatePages();
  void DestroyPages();
  void PostQuit() const;
};

// The one main window, set first in its initialisation.
extern CbvlInstallerDlg* g_pInstallerDlg;
