// The install worker's step sequence, failure path and ending.
#include "engine/install_worker.h"

#include <exception>
#include <string>
#include <utility>

#include "engine/engine_texts.h"
#include "engine/install_worker_lock.h"
#include "platform/crash_points.h"
#include "platform/files.h"
#include "platform/shell_execute.h"
#include "settings/installer_context.h"
#include "system/debug_log.h"
#include "system/service_control.h"

namespace {

// The string table's ids the worker shows.
constexpr unsigned kProductNameString = 301;
constexpr unsigned kOkString = 302;
constexpr unsigned kInstallFailedString = 313;

constexpr unsigned kMessageBoxOkExclamation = 0x30;  // MB_OK | MB_ICONEXCLAMATION

// A step that failed: the worker abandons the sequence and takes its failure
// path with the error text set before the throw.
struct StepFailure {};

// The progress page went away: the worker ends at once, running nothing more.
struct WorkerStopped {};

}  // namespace

InstallWorker::InstallWorker(std::shared_ptr<InstallSession> session) : m_session(std::move(session)) {}

void InstallWorker::RequestStop() {
  m_stop = true;
  m_session->engine->RequestStop();
}

void InstallWorker::SetCheckpoint(std::uint32_t value) {
  if (m_stop) throw WorkerStopped();
  m_checkpoint = value;
}

void InstallWorker::Status(const std::wstring& text) {
  if (m_stop) throw WorkerStopped();
  m_session->progress->SetStatusText(text);
}

void InstallWorker::Row(const std::wstring& text, unsigned percent) {
  if (m_stop) throw WorkerStopped();
  m_session->progress->AddStatusRow(text, false, percent);
}

std::uint32_t InstallWorker::Run() {
  InstallWorkerLock lock;
  if (!lock.Acquire([this] { return m_stop.load(); })) return 0;
  try {
    m_checkpoint = checkpoint::kStarted;
    try {
      RunSequence();
    } catch (const WorkerStopped&) {
      throw;
    } catch (...) {
      // A failed step, or any exception a step let escape.
      RunFailurePath();
    }
    RunEnding();
  } catch (const WorkerStopped&) {
  }
  return 0;
}

void InstallWorker::RunSequence() {
  InstallEngine& engine = *m_session->engine;
  // Runs a step routine at the current checkpoint; the test seam may make it
  // throw there.
  auto step = [&](auto&& routine) {
    if (m_stop) throw WorkerStopped();
    if (m_beforeStep) m_beforeStep(m_checkpoint);
    return routine();
  };

  if (engine.Context().m_updateAddress.empty()) {
    m_errorText = engine_texts::kUpdateAddressMissing;
    throw StepFailure();
  }

  Status(engine_texts::StepStatus(L"RenameOldFile"));
  SetCheckpoint(checkpoint::kRenameOldFile);
  step([&] { return engine.RenameOldFile(); });
  SetCheckpoint(checkpoint::kFilesPlaced);
  Row(engine_texts::StepOutcome(L"RenameOldFile", true), 30);

  Status(engine_texts::StepStatus(L"CreateAndMoveInstalledFile"));
  const bool placed = step([&] { return engine.CreateAndMoveInstalledFile() != win::FALSE; });
  Row(engine_texts::StepOutcome(L"CreateAndMoveInstalledFile", placed), 70);
  if (!placed) {
    m_errorText = engine_texts::kFileDownloadFail;
    throw StepFailure();
  }

  // The status label keeps "CreateAndMoveInstalledFile.." for the driver.
  SetCheckpoint(checkpoint::kInstallDriver);
  const bool driver = step([&] { return engine.InstallDriver() != win::FALSE; });
  Row(engine_texts::StepOutcome(L"InstallDriver", driver), 75);
  if (!driver) {
    m_errorText = engine_texts::kInstallDriverFail;
    throw StepFailure();
  }

  // The remaining steps report their outcome and the sequence goes on either
  // way. Each shows its name as the status, then its outcome as a row.
  auto reported = [&](const wchar_t* name, std::uint32_t at, unsigned percent, auto&& routine) {
    Status(engine_texts::StepStatus(name));
    SetCheckpoint(at);
    const bool ok = step(routine);
    Row(engine_texts::StepOutcome(name, ok), percent);
  };
  reported(L"InstallService", checkpoint::kInstallService, 80,
           [&] { return RegisterAgentService(engine.ProgramFilesFolder(), true); });
  reported(L"RegisterReservationJob", checkpoint::kRegisterReservationJob, 85,
           [&] { return engine.RegisterReservationJob() != win::FALSE; });
  reported(L"DeleteOldFile", checkpoint::kDeleteOldFile, 90, [&] { return engine.DeleteOldFile() != win::FALSE; });
  reported(L"RegisterUninstallReg", checkpoint::kRegisterUninstallReg, 90,
           [&] { return engine.RegisterUninstallReg() != win::FALSE; });

  Row(engine_texts::kInstallSuccess, 100);
  SetCheckpoint(checkpoint::kInstallSuccess);
  step([] { return true; });
}

void InstallWorker::RunFailurePath() {
  InstallEngine& engine = *m_session->engine;
  // An installation that reached "Install Success" is complete: rolling it
  // back while the ending reports success would destroy it.
  if (m_checkpoint == checkpoint::kInstallSuccess) return;

  if (m_checkpoint >= checkpoint::kRollBackFrom) {
    // Each routine's result is ignored; a routine that throws does not keep
    // the others from running.
    auto undo = [&](auto&& routine) {
      if (m_stop) throw WorkerStopped();
      try {
        routine();
      } catch (...) {
      }
    };
    undo([&] { engine.StopRunningAgent(); });
    undo([&] {
      if (!DeleteAgentService()) RegisterAgentService(engine.ProgramFilesFolder(), false);
    });
    undo([&] { engine.DeleteScheduledTasks(); });
    undo([&] { engine.DeleteSettingsKey(); });
    undo([&] { engine.RemoveDriverRegistration(); });
    undo([&] { engine.DeleteAgentFiles(); });
    undo([&] { engine.DeleteUninstallReg(); });
    SetCheckpoint(checkpoint::kRolledBack);
  }

  if (m_stop) throw WorkerStopped();
  m_session->wizard->ShowMessageBox(m_errorText, m_session->strings(kProductNameString), kMessageBoxOkExclamation);
  LogDebugLine(engine_texts::kInstallFail);
  if (m_stop) throw WorkerStopped();
  m_session->wizard->ShowFailureForm(m_session->strings(kInstallFailedString));
}

void InstallWorker::RunEnding() {
  InstallEngine& engine = *m_session->engine;
  if (m_stop) throw WorkerStopped();
  m_session->wizard->ShowCompletionPage(m_session->strings(kOkString));
  engine.m_driver.SetRegProtectON();

  if (m_session->wizard->OffersShortcut()) {
    // The updater, elevated and hidden; not waited for.
    const std::wstring updater = engine.m_installDir + L"\\bvludt.exe";
    win::SHELLEXECUTEINFOW info;
    info.cbSize = win::kShellExecuteInfoSize;
    info.fMask = win::SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = updater.c_str();
    info.nShow = win::SW_HIDE;
    win::ShellExecuteExW(&info);
  }
}

std::uint32_t InstallWorkerProc(InstallWorker* worker) {
  // A crash injected here is not an exception of a step: it reaches the
  // crash reporter.
  platform::CrashIfInjected(L"InstallWorker");
  return worker->Run();
}

InstallWorkerThread::InstallWorkerThread(std::shared_ptr<InstallSession> session)
    : m_worker(std::make_shared<InstallWorker>(std::move(session))),
      m_finished(std::make_shared<std::atomic<bool>>(false)) {
  // The thread holds its own references, so that it may outlive this handle.
  m_thread = std::thread([worker = m_worker, finished = m_finished] {
    InstallWorkerProc(worker.get());
    *finished = true;
  });
}

InstallWorkerThread::~InstallWorkerThread() {
  if (m_thread.joinable()) {
    m_worker->RequestStop();
    m_thread.detach();
  }
}

void InstallWorkerThread::Wait() {
  if (m_thread.joinable()) m_thread.join();
}
