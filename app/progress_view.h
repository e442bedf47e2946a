// ProgressView: the page shown while the installation runs — status label,
// gradient bar and the list of step outcomes. It holds the install engine
// (catalogue and directories) and the worker's thread, and implements the
// worker's progress and wizard sinks.
#pragma once

#include <QListWidget>
#include <QWidget>

#include <memory>
#include <string>

#include "app/install_worker_start.h"
#include "engine/install_worker.h"
#include "ui/d2d1_label.h"
#include "ui/gradient_progress.h"

class ProgressView : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressView(QWidget* parent);
  // Stops a worker that still runs: no further step, rollback or window call.
  ~ProgressView() override;

  bool OnInitDialog();

  // Called on the user-interface thread (the sinks carry the worker's calls
  // over).
  void SetStatusText(const std::wstring& text);
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent);

  // The session the worker runs on: this page's sinks, the string table and
  // the engine.
  std::shared_ptr<InstallSession> Session() const { return m_session; }

  bvlui::D2D1Label m_statusLabel;
  GradientProgress m_progress;
  std::unique_ptr<WorkerThreadHandle> m_pWorkerThread;
  QListWidget m_list;
  std::shared_ptr<InstallEngine> m_engine;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void InitPageControls();
  std::shared_ptr<InstallSession> m_session;
};

// The one progress page, set in its initialisation.
extern ProgressView* g_pProgressView;
