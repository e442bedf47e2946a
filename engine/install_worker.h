// The install worker: the installer's main sequence, run once on a thread of
// its own after the user agreed to the licence. It runs the install steps in
// their fixed order, reports each through the progress page's sink, rolls the
// machine back after a failure and turns the wizard to the completion page.
// Only one worker runs at a time on a machine: a second installer's worker
// waits for the first to end, then installs over what it left.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/install_engine.h"
#include "engine/progress_sink.h"
#include "engine/wizard_sink.h"

// The string table's text for an id (301 the product name, 302 "OK", 313 the
// failure message); empty for an id that was not loaded.
using StringLoader = std::function<std::wstring(unsigned id)>;

// Values of the step checkpoint: the last point the sequence reached.
namespace checkpoint {
constexpr std::uint32_t kStarted = 1;
constexpr std::uint32_t kRenameOldFile = 0;
constexpr std::uint32_t kFilesPlaced = 10;
constexpr std::uint32_t kInstallDriver = 11;
constexpr std::uint32_t kInstallService = 13;
constexpr std::uint32_t kRegisterReservationJob = 16;
constexpr std::uint32_t kDeleteOldFile = 19;
constexpr std::uint32_t kRegisterUninstallReg = 20;
constexpr std::uint32_t kInstallSuccess = 23;
constexpr std::uint32_t kRolledBack = 27;
// From this value on (RenameOldFile has completed) a failure rolls the
// machine back.
constexpr std::uint32_t kRollBackFrom = 6;
}  // namespace checkpoint

// Everything the worker uses, owned together so that the thread can keep it
// alive when the progress page goes away first. The engine reports to
// `progress`; the sinks must stay callable (doing nothing) once their window
// is gone.
struct InstallSession {
  std::shared_ptr<ProgressSink> progress;
  std::shared_ptr<WizardSink> wizard;
  StringLoader strings;
  std::shared_ptr<InstallEngine> engine;
};

class InstallWorker {
 public:
  explicit InstallWorker(std::shared_ptr<InstallSession> session);

  // The thread procedure's body: the wait for any other worker of the
  // machine to end, then the step sequence, the failure path and the ending.
  // Always 0.
  std::uint32_t Run();

  // Asks the worker to stop (the progress page is being destroyed): once this
  // has returned, the worker starts no further step, rollback routine or
  // window call; a step already running finishes on its own data.
  void RequestStop();
  bool StopRequested() const { return m_stop; }

  std::uint32_t StepCheckpoint() const { return m_checkpoint; }

  // Test seam: a step routine that throws, by checkpoint value, to exercise the
  // failure path at that point of the sequence.
  std::function<void(std::uint32_t checkpoint)> m_beforeStep;

 private:
  void RunSequence();
  void RunFailurePath();
  void RunEnding();
  void SetCheckpoint(std::uint32_t value);
  // The sinks' calls, skipped once a stop was requested.
  void Status(const std::wstring& text);
  void Row(const std::wstring& text, unsigned percent);

  std::shared_ptr<InstallSession> m_session;
  std::atomic<std::uint32_t> m_checkpoint{checkpoint::kStarted};
  std::atomic<bool> m_stop{false};
  std::wstring m_errorText;
};

// The worker's thread (AfxBeginThread's part): starts InstallWorkerProc on a
// new thread at normal priority. The thread owns the worker and the session;
// the handle only asks it to stop or waits for it.
class InstallWorkerThread {
 public:
  explicit InstallWorkerThread(std::shared_ptr<InstallSession> session);
  // Stops the worker cooperatively and lets the thread end on its own.
  ~InstallWorkerThread();
  InstallWorkerThread(const InstallWorkerThread&) = delete;
  InstallWorkerThread& operator=(const InstallWorkerThread&) = delete;

  void RequestStop() { m_worker->RequestStop(); }
  bool Finished() const { return *m_finished; }
  // Waits until the thread has ended (the headless run and tests).
  void Wait();

 private:
  std::shared_ptr<InstallWorker> m_worker;
  std::shared_ptr<std::atomic<bool>> m_finished;
  std::thread m_thread;
};

// The thread procedure: runs the worker. Always 0.
std::uint32_t InstallWorkerProc(InstallWorker* worker);
