// CbvlInstallerDlg: the installer's only top-level window — the borderless
// 580 x 300 wizard that holds the installer context, runs the start-up gate,
// owns the layout table, preloads the resources, hosts the licence, progress
// and completion pages and reacts to its three buttons.
#pragma once

#include <QEventLoop>
#include <QIcon>
#include <QWidget>

#include <functional>
#include <string>

#include "app/install_worker_start.h"
#include "app/layout_table.h"
#include "settings/installer_context.h"
#include "ui/button.h"
#include "ui/d2d1_label.h"

class LicenseView;
class ProgressView;
class CompleteView;

class CbvlInstallerDlg : public QWidget, public InstallerContext {
  Q_OBJECT

 public:
  CbvlInstallerDlg();
  ~CbvlInstallerDlg() override;

  // The start-up gate: the id of the refusal message (IDS_NO_INSTALL_INFO,
  // IDS_SERVER_UNREACHABLE, IDS_UNSUPPORTED_OS or IDS_ALREADY_INSTALLED) or 0
  // when the wizard may open.
  int StartupGateMessageId() const;
  // True when an uninstall entry of the agent is registered in either view.
  static bool IsAlreadyInstalled();

  // Initialises the window, runs it until a quit is posted, tears the pages
  // down. The result is not used.
  int DoModal();
  bool OnInitDialog();
  void PreloadResources();
  void BuildLayoutTable();
  // PostMessageW(WM_QUIT): the modal run ends when it next reads its queue.
  void PostQuit();
  bool QuitPosted() const { return m_quitPosted; }

  void OnBnClickedAgree();
  void OnBnClickedCancel();
  void OnBnClickedClose();

  // The program's icon resource IDR_MAINFRAME, loaded by the constructor:
  // the window's icon and its taskbar button's.
  QIcon m_hIcon;
  LayoutTable m_layout;
  LicenseView* m_pLicenseView = nullptr;
  ProgressView* m_pProgressView = nullptr;
  CompleteView* m_pCompleteView = nullptr;
  bvlui::D2D1Label m_titleLabel;
  bvlui::ImageButton m_agreeButton;
  bvlui::ImageButton m_cancelButton;
  bvlui::ImageButton m_closeButton;

  // What the window asks of the system, replaceable so that tests can answer
  // for the user: the system message box (MB_OK | MB_ICONEXCLAMATION for the
  // gate), the message dialog (IDOK or IDCANCEL), the worker's start and the
  // agent service's start.
  std::function<void(QWidget* owner, const std::wstring& text, const std::wstring& caption, unsigned type)> m_messageBox;
  std::function<int(const std::wstring& message, bool twoButtons)> m_runStopDialog;
  WorkerStarter m_startWorker;
  std::function<bool()> m_startAgent;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The window cannot be closed by the window system (Alt+F4, the system
  // menu's Close); only its buttons and the start-up gate end it.
  void closeEvent(QCloseEvent* event) override;

 private:
  // Refuses the start with the message `id`: the system message box or the
  // message dialog, then m_closing and the quit.
  void Refuse(int id);
  void StyleOwnControls();
  void CreatePages();
  void DestroyPages();

  QEventLoop m_loop;
  bool m_quitPosted = false;
};

// The one main window, set first in its initialisation.
extern CbvlInstallerDlg* g_pInstallerDlg;
