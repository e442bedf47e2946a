// The progress page's handle on the install worker's thread.
#include "app/install_worker_start.h"

#include "platform/debug_output.h"

#ifdef BVL_HAVE_INSTALL_WORKER

namespace {

class InstallThreadHandle : public WorkerThreadHandle {
 public:
  explicit InstallThreadHandle(std::shared_ptr<InstallSession> session) : m_thread(std::move(session)) {}
  void RequestStop() override { m_thread.RequestStop(); }
  bool Finished() const override { return m_thread.Finished(); }

 private:
  InstallWorkerThread m_thread;
};

}  // namespace

std::unique_ptr<WorkerThreadHandle> StartInstallWorker(std::shared_ptr<InstallSession> session) {
  return std::make_unique<InstallThreadHandle>(std::move(session));
}

#else

// This build has no install worker yet (engine/install_worker.cpp): the
// installation does not start and the progress page stays as it is.
std::unique_ptr<WorkerThreadHandle> StartInstallWorker(std::shared_ptr<InstallSession>) {
  win::OutputDebugStringW(L"[Brimvale] bvlInstaller : no install worker in this build\r\n");
  return nullptr;
}

#endif
