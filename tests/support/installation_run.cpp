// Installations run the way the installer runs them, for tests and benchmarks.
#include "support/installation_run.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/process.h"
#include "platform/services.h"
#include "settings/base64.h"
#include "system/file_verification.h"

namespace testing_support {

std::wstring InstallerPathFor(const std::wstring& serverAddress) {
  const std::string address(serverAddress.begin(), serverAddress.end());
  const std::string token = Base64Encode(reinterpret_cast<const unsigned char*>(address.data()), address.size());
  return L"C:\\Users\\user\\Downloads\\bvlInstaller[" + std::wstring(token.begin(), token.end()) + L"].exe";
}

std::wstring WorkerString(unsigned id) { return L"<string " + std::to_wstring(id) + L">"; }

InstallationRun::InstallationRun()
    : progress(std::make_shared<RecordingProgress>()), wizard(std::make_shared<RecordingWizard>()) {}

void InstallationRun::StartUp(const std::wstring& server) { context.ReadInstallationToken(InstallerPathFor(server)); }

std::shared_ptr<InstallSession> InstallationRun::NewSession() {
  auto fresh = std::make_shared<InstallSession>();
  fresh->progress = progress;
  fresh->wizard = wizard;
  fresh->strings = WorkerString;
  fresh->engine = std::make_shared<InstallEngine>(context, *progress);
  fresh->engine->BuildCatalogue();
  return fresh;
}

void InstallationRun::RunWorker(std::function<void(std::uint32_t)> beforeStep) {
  session = NewSession();
  session->engine->m_sleep = [this](win::DWORD milliseconds) {
    pauses.push_back(milliseconds);
    if (realPauses) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };
  if (!realPauses) SetVerificationPauseForTesting([](unsigned) {});
  InstallWorker worker(session);
  worker.m_beforeStep = std::move(beforeStep);
  worker.Run();
  checkpoint = worker.StepCheckpoint();
  SetVerificationPauseForTesting(nullptr);
}

void InstallationRun::WaitForStartedPrograms(int timeoutMilliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  const win::DWORD self = platform::CurrentProcessRecord().id;
  while (std::chrono::steady_clock::now() < deadline) {
    // A service's program runs on by design; everything else this process
    // started (commands, registrations, the updater) is waited for.
    std::vector<win::DWORD> services;
    for (const platform::ServiceSummary& service : platform::ListServices()) services.push_back(service.processId);
    bool running = false;
    for (const platform::ProcessRecord& record : platform::ListProcesses()) {
      if (record.parentId != self || record.id == self) continue;
      if (std::find(services.begin(), services.end(), record.id) != services.end()) continue;
      running = true;
    }
    if (!running) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace testing_support
