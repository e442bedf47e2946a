// Service control: the driver wrapper's start and stop with their polling and
// log lines (the pause counted, not slept), and the agent service's
// registration by its executable, deletion, recovery actions and start.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/sim/processes/builtin_programs.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/images/pe_image.h"
#include "platform/process.h"
#include "platform/services.h"
#include "support/host_files.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "system/service_control.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Eventually;

std::vector<std::wstring> DebugLines() { return platform::ReadDebugLog(); }

void WriteHostFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// A driver service "testdrv" on a 32-bit machine, its image in place.
class DriverServiceControl : public testing::Test {
 protected:
  void SetUp() override {
    WriteHostFile(machine_.Host(L"C:\\Windows\\System32\\drivers\\testdrv.sys"),
                  platform::BuildPeImage(platform::PeMachine::I386, "test driver"));
    scm_.m_manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm_.m_manager, nullptr);
    ASSERT_NE(scm_.Create(L"testdrv", L"test driver", L"%SystemRoot%\\System32\\drivers\\testdrv.sys"), nullptr);
    platform::ClearDebugLog();
  }
  void TearDown() override {
    if (scm_.m_service) win::CloseServiceHandle(scm_.m_service);
    win::CloseServiceHandle(scm_.m_manager);
  }

  win::DWORD State() {
    win::SERVICE_STATUS status;
    win::QueryServiceStatus(scm_.m_service, &status);
    return status.dwCurrentState;
  }

  testing_support::ScopedMachine machine_{"win7-x86"};
  std::vector<win::DWORD> pauses_;
  CServiceControlManager scm_{[this](win::DWORD milliseconds) { pauses_.push_back(milliseconds); }};
};

TEST_F(DriverServiceControl, StartOfADriverThatRunsAtOnceNeedsNoPause) {
  scm_.Start();
  EXPECT_EQ(State(), win::SERVICE_RUNNING);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_TRUE(DebugLines().empty());
}

TEST_F(DriverServiceControl, StartOfADriverThatNeverRunsGivesUpAfterTenPolls) {
  platform::SetServiceDelays(L"testdrv", -1, 0);
  scm_.Start();
  EXPECT_EQ(pauses_, std::vector<win::DWORD>(10, 2000));
  EXPECT_EQ(DebugLines(), std::vector<std::wstring>{L"Driver failed to start..."});
}

TEST_F(DriverServiceControl, StartOfADriverThatRunsAfterFiveSecondsReturnsAfterThreePauses) {
  platform::SetServiceDelays(L"testdrv", 5000, 0);
  // Each pause moves the machine's service clock on by its length.
  CServiceControlManager clocked([this](win::DWORD milliseconds) {
    pauses_.push_back(milliseconds);
    platform::AdvanceServiceClock(static_cast<int>(milliseconds));
  });
  clocked.m_manager = scm_.m_manager;
  clocked.m_service = scm_.m_service;
  clocked.Start();
  EXPECT_EQ(pauses_, std::vector<win::DWORD>(3, 2000));
  EXPECT_EQ(State(), win::SERVICE_RUNNING);
  EXPECT_TRUE(DebugLines().empty());
}

TEST_F(DriverServiceControl, StartOfARunningServiceRequestsNothing) {
  scm_.Start();
  platform::ClearDebugLog();
  scm_.Start();  // a second start request would fail and be logged
  EXPECT_TRUE(DebugLines().empty());
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(DriverServiceControl, AFailedStartRequestIsLoggedAndNotPolled) {
  fs::remove(machine_.Host(L"C:\\Windows\\System32\\drivers\\testdrv.sys"));
  scm_.Start();
  EXPECT_EQ(DebugLines(), std::vector<std::wstring>{L"The attempt to start service failed due to error"});
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(State(), win::SERVICE_STOPPED);
}

TEST_F(DriverServiceControl, StopOfAStoppedServiceDoesNothing) {
  scm_.Stop();
  EXPECT_TRUE(DebugLines().empty());
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(DriverServiceControl, StopOfARunningDriverWaitsUntilItStopped) {
  scm_.Start();
  scm_.Stop();
  EXPECT_EQ(State(), win::SERVICE_STOPPED);
  EXPECT_TRUE(DebugLines().empty());
}

TEST_F(DriverServiceControl, StopOfADriverThatNeverStopsGivesUpAfterTenPolls) {
  scm_.Start();
  platform::SetServiceDelays(L"testdrv", 0, -1);
  scm_.Stop();
  EXPECT_EQ(pauses_, std::vector<win::DWORD>(10, 2000));
  EXPECT_EQ(DebugLines(), std::vector<std::wstring>{L"Driver failed to stop..."});
}

TEST_F(DriverServiceControl, StopWithoutAServiceHandleLogsTheRefusedRequest) {
  win::SC_HANDLE service = scm_.m_service;
  scm_.m_service = nullptr;
  scm_.Stop();
  scm_.m_service = service;
  EXPECT_EQ(DebugLines(), std::vector<std::wstring>{L"The attempt to stop service failed due to error"});
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(DriverServiceControl, CreatingAnExistingServiceYieldsNoHandle) {
  CServiceControlManager again;
  again.m_manager = scm_.m_manager;
  EXPECT_EQ(again.Create(L"testdrv", L"test driver", L"%SystemRoot%\\System32\\drivers\\testdrv.sys"), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_SERVICE_EXISTS);
}

// The agent service on a machine where its executable is installed below the
// program-files root the catalogue chose.
class AgentService : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { machine_ = std::make_unique<testing_support::ScopedMachine>(GetParam()); }
  void TearDown() override { machine_.reset(); }

  void InstallExecutable(const std::wstring& root) {
    WriteHostFile(machine_->Host(root + L"\\brimvale\\bvlsvc.exe"), platform::BuiltinStubImage("i386", "bvlsvc"));
  }
  void Register() {
    InstallExecutable(L"C:\\Program Files");
    ASSERT_TRUE(RegisterAgentService(L"C:\\Program Files", true));
    ASSERT_TRUE(Eventually([] { return testing_support::ServiceNamed(L"bvlsvc").has_value(); }));
  }

  std::unique_ptr<testing_support::ScopedMachine> machine_;
};

TEST_P(AgentService, RegistrationRunsTheExecutableWhichCreatesTheService) {
  Register();
  auto service = testing_support::ServiceNamed(L"bvlsvc");
  EXPECT_EQ(service->type, win::SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(service->startType, win::SERVICE_AUTO_START);
  EXPECT_EQ(service->account, L"LocalSystem");
  EXPECT_EQ(service->imagePath, L"\"C:\\Program Files\\brimvale\\bvlsvc.exe\"");

  EXPECT_TRUE(RegisterAgentService(L"C:\\Program Files", false));
  EXPECT_TRUE(Eventually([] { return !testing_support::ServiceNamed(L"bvlsvc").has_value(); }));
}

TEST_P(AgentService, RegistrationWithoutTheExecutableLaunchesNothing) {
  const std::size_t before = platform::ListProcesses().size();
  EXPECT_FALSE(RegisterAgentService(L"C:\\Program Files", true));
  EXPECT_EQ(platform::ListProcesses().size(), before);
}

TEST_P(AgentService, RecoveryActionsAreThreeRestartsTwoSecondsApart) {
  Register();
  EXPECT_TRUE(ConfigureAgentRecovery());
  auto service = testing_support::ServiceNamed(L"bvlsvc");
  ASSERT_TRUE(service->hasFailureActions);
  EXPECT_EQ(service->resetPeriod, 600u);
  ASSERT_EQ(service->actions.size(), 3u);
  for (const win::SC_ACTION& action : service->actions) {
    EXPECT_EQ(action.Type, win::SC_ACTION_RESTART);
    EXPECT_EQ(action.Delay, 2000u);
  }
}

TEST_P(AgentService, StartAgentStartsAStoppedServiceOnceAndLeavesARunningOneAlone) {
  Register();
  EXPECT_TRUE(StartAgent());
  ASSERT_TRUE(Eventually([] { return testing_support::ServiceNamed(L"bvlsvc")->state == win::SERVICE_RUNNING; }));
  const win::DWORD process = testing_support::ServiceNamed(L"bvlsvc")->processId;
  EXPECT_NE(process, 0u);
  EXPECT_TRUE(StartAgent());
  EXPECT_EQ(testing_support::ServiceNamed(L"bvlsvc")->processId, process);
  EXPECT_EQ(testing_support::ServiceNamed(L"bvlsvc")->state, win::SERVICE_RUNNING);
}

TEST_P(AgentService, StartAgentWithoutTheServiceLogsAndStillSucceeds) {
  platform::ClearDebugLog();
  EXPECT_TRUE(StartAgent());
  EXPECT_EQ(DebugLines(), std::vector<std::wstring>{L"[brimvale] StartAgent Fail"});
}

TEST_P(AgentService, DeletionLooksForTheExecutableInThe32BitProgramFilesFolder) {
  Register();
  const bool x64 = std::string(GetParam()) == "win10-x64";
  // On 64-bit Windows a 32-bit installer's program-files folder is not where
  // the agent was installed, so the service stays.
  EXPECT_EQ(DeleteAgentService(), !x64);
  EXPECT_EQ(testing_support::ServiceNamed(L"bvlsvc").has_value(), x64);
  if (x64) {
    InstallExecutable(L"C:\\Program Files (x86)");
    EXPECT_TRUE(DeleteAgentService());
    EXPECT_TRUE(Eventually([] { return !testing_support::ServiceNamed(L"bvlsvc").has_value(); }));
  }
}

TEST_P(AgentService, DeletionCountsAsDoneWhenTheServiceControlManagerCannotBeOpened) {
  InstallExecutable(L"C:\\Program Files");
  platform::InjectFault({"OpenSCManager", L"", win::ERROR_ACCESS_DENIED, -1});
  EXPECT_EQ(DeleteAgentService(), std::string(GetParam()) == "win7-x86");
  platform::ClearFaults();
  // Without the service the deletion fails.
  EXPECT_EQ(DeleteAgentService(), false);
}

INSTANTIATE_TEST_SUITE_P(Machines, AgentService, testing::Values("win10-x64", "win7-x86"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
