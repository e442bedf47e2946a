// The progress page's handle on the install worker's thread.
#include "app/install_worker_start.h"

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
