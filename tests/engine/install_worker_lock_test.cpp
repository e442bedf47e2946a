// One install worker at a time on a machine: a worker that finds the
// workers' lock held by another process waits without touching the machine
// or its page, installs once the holder is gone (also when it was killed
// without releasing anything), and ends at once when its page goes away
// while it waits.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/install_worker.h"
#include "engine/uninstall_entry.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "system/registry_helpers.h"
#include "support/installation_run.h"
#include "support/machine_programs.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"

namespace {

namespace fs = std::filesystem;
using testing_support::DebugLogHas;
using testing_support::Eventually;
using testing_support::InstallationRun;

const std::wstring kLockName = L"Global\\BVL_INSTALL_WORKER_MUTEX";
const std::wstring kWaiting = L"[Brimvale] BVLInstall : Waiting For Another Installation";
const std::wstring kAbandoned = L"[Brimvale] BVLInstall : Previous Installation Abandoned";
const std::wstring kInstallFolder = L"C:\\Program Files\\Brimvale";

class WorkerLock : public testing_support::UpdateHostSuite<> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_->Error().empty()) << host_->Error();
    testing_support::UpdateHostFixture::TrustTestRoot();
    ASSERT_TRUE(testing_support::PlaceBuiltinProgram(kTool, "testevents"));
  }

  // Another process of the machine that takes the workers' lock and keeps
  // it until it is killed; its id on the machine.
  win::DWORD StartHolder() {
    win::HANDLE ready = win::CreateEventW(nullptr, win::TRUE, win::FALSE, L"Global\\READY");
    const win::DWORD holder = platform::StartProcess(kTool, L"events.exe hold-mutex " + kLockName + L" Global\\READY");
    const bool held = win::WaitForSingleObject(ready, 10000) == win::WAIT_OBJECT_0;
    win::CloseHandle(ready);
    return held ? holder : 0;
  }

  static void Kill(win::DWORD process) {
    auto record = platform::FindProcess(process);
    ASSERT_TRUE(record && record->hostPid > 0);
    ASSERT_EQ(::kill(record->hostPid, SIGKILL), 0);
  }

  static constexpr const wchar_t* kTool = L"C:\\Tools\\events.exe";
  testing_support::ScopedMachine machine_{"win10-x64"};
};

TEST_F(WorkerLock, AWorkerWaitsForTheHolderAndInstallsOnceItIsKilled) {
  const win::DWORD holder = StartHolder();
  ASSERT_NE(holder, 0u);
  InstallationRun run;
  run.StartUp(host_->Server());
  ASSERT_FALSE(run.context.m_updateAddress.empty());
  std::thread worker([&] { run.RunWorker(); });

  // (No fatal check before the join: the worker thread must be joined.)
  const bool waiting = Eventually([] { return DebugLogHas(kWaiting); });
  EXPECT_TRUE(waiting);
  if (waiting) {
    // Waiting, the worker has not begun: nothing was placed on the machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(machine_.Host(kInstallFolder)));
  }
  Kill(holder);
  worker.join();
  InstallationRun::WaitForStartedPrograms();

  EXPECT_TRUE(DebugLogHas(kAbandoned));
  EXPECT_EQ(run.checkpoint, checkpoint::kInstallSuccess);
  ASSERT_FALSE(run.progress->rows.empty());
  EXPECT_EQ(run.progress->rows.back().text, L"Install Success");
  EXPECT_EQ(run.wizard->calls, std::vector<std::wstring>{L"completion page"});
  std::wstring name;
  EXPECT_TRUE(RegReadString(kUninstallKey, L"DisplayName", &name));
  // The worker let the lock go with its run: nobody holds it any more.
  EXPECT_TRUE(platform::ListMutexes().empty());
}

TEST_F(WorkerLock, AWorkerWhosePageGoesAwayWhileItWaitsRunsNothing) {
  const win::DWORD holder = StartHolder();
  ASSERT_NE(holder, 0u);
  InstallationRun run;
  run.StartUp(host_->Server());
  ASSERT_FALSE(run.context.m_updateAddress.empty());
  auto session = run.NewSession();

  auto thread = std::make_unique<InstallWorkerThread>(session);
  ASSERT_TRUE(Eventually([] { return DebugLogHas(kWaiting); }));
  // The page's destructor: the worker ends without a step, a window call
  // or the lock.
  thread.reset();
  ASSERT_TRUE(Eventually([&] { return session.use_count() == 1; }, 5));

  EXPECT_TRUE(run.progress->statusTexts.empty());
  EXPECT_TRUE(run.progress->rows.empty());
  EXPECT_TRUE(run.wizard->calls.empty());
  EXPECT_FALSE(fs::exists(machine_.Host(kInstallFolder)));
  const std::vector<platform::MutexSummary> locks = platform::ListMutexes();
  ASSERT_EQ(locks.size(), 1u);
  EXPECT_EQ(locks[0].ownerProcessId, holder) << "still the holder's";
  Kill(holder);
}

TEST_F(WorkerLock, ALockThatCannotBeHadIsLoggedAndTheInstallationGoesOn) {
  platform::InjectFault({"CreateMutex", kLockName, win::ERROR_ACCESS_DENIED, 1});
  InstallationRun run;
  run.StartUp(host_->Server());
  ASSERT_FALSE(run.context.m_updateAddress.empty());
  run.RunWorker();
  InstallationRun::WaitForStartedPrograms();
  EXPECT_TRUE(DebugLogHas(L"[Brimvale] BVLInstall : Install Lock Fail - 5"));
  EXPECT_EQ(run.checkpoint, checkpoint::kInstallSuccess) << testing::PrintToString(run.progress->rows);
}

}  // namespace
