// ProgressView: the page shown while the installation runs — status label,
// gradient bar and the list of step outcomes. It holds the install engine
// (catalogue and directories) and the worker's thread.
#pragma once

#include "ui/windows/windows_headers.h"

#include <memory>
#include <string>

#include "app/windows/dialog.h"
#include "ui/windows/d2d1_label.h"
#include "ui/windows/gradient_progress.h"
#include "ui/windows/render_target.h"

class InstallEngine;
struct InstallSession;
class WorkerThreadHandle;

class ProgressView : public Dialog {
 public:
  ProgressView();
  // Stops a worker that still runs: no further step, rollback or window call.
  ~ProgressView() override;

  // Called on the install worker's thread: each window operation is a plain
  // window call, which the user-interface thread carries out before it
  // returns, so rows and bar positions appear in call order.
  void SetStatusText(const std::wstring& text);
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent);

  // Starts the install worker over this page's session (the agree button).
  void StartWorker();

  bvlui::D2D1Label m_statusLabel;
  GradientProgress m_progress;
  std::unique_ptr<WorkerThreadHandle> m_pWorkerThread;
  std::unique_ptr<bvlui::DCRenderTarget> m_renderTarget;
  HWND m_list = nullptr;
  std::shared_ptr<InstallEngine> m_engine;

 protected:
  bool OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, HBRUSH brush) override;
  bool PreTranslateMessage(MSG* message) override;

 private:
  void InitPageControls();
  std::shared_ptr<InstallSession> m_session;
  HFONT m_listFont = nullptr;
};

// The one progress page, set in its initialisation.
extern ProgressView* g_pProgressView;
