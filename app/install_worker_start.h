// Starting the install worker on its thread for the progress page, behind a
// small handle the page keeps: the page asks it to stop when it is destroyed
// while the worker still runs.
#pragma once

#include <functional>
#include <memory>

#include "engine/install_worker.h"

class WorkerThreadHandle {
 public:
  virtual ~WorkerThreadHandle() = default;
  // Once this returns the worker starts no further step, rollback routine or
  // window call.
  virtual void RequestStop() = 0;
  virtual bool Finished() const = 0;
};

// Starts a worker thread over the session; null when the thread could not
// be started.
using WorkerStarter = std::function<std::unique_ptr<WorkerThreadHandle>(std::shared_ptr<InstallSession>)>;

// The installer's worker: InstallWorkerProc on an InstallWorkerThread.
std::unique_ptr<WorkerThreadHandle> StartInstallWorker(std::shared_ptr<InstallSession> session);
