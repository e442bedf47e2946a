// The install worker without a server (an empty update address, a stop
// request) and end to end against the nginx update host: the rows and the
// ending of a successful run on 64-bit and 32-bit Windows, what the machine
// holds afterwards, and the rollback after a failure at every point of the
// sequence, proven by comparing machine snapshots.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <thread>

#include "engine/install_worker.h"
#include "engine/uninstall_entry.h"
#include "platform/debug_output.h"
#include "platform/devices.h"
#include "platform/sim/machine/machine_snapshot.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"
#include "system/registry_helpers.h"
#include "support/installation_run.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"
#include "system/service_control.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Eventually;
using testing_support::InstallationRun;
using testing_support::RecordedRow;
using testing_support::RecordingWizard;

std::wstring UninstallValue(const std::wstring& name) {
  std::wstring value;
  RegReadString(kUninstallKey, name, &value);
  return value;
}

const std::vector<std::wstring> kAgentPrograms = {L"bvlsvc.exe", L"BrimvaleAgent.exe", L"bvlmqtt.exe",
                                                  L"bvludt.exe", L"bvlchk.exe",        L"schtasks.exe"};

TEST(InstallWorker, EmptyUpdateAddressFailsBeforeAnyRowAndWithoutRollback) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  run.RunWorker();

  EXPECT_TRUE(run.progress->rows.empty());
  EXPECT_TRUE(run.progress->statusTexts.empty());
  EXPECT_EQ(run.wizard->calls, (std::vector<std::wstring>{L"message box", L"failure form", L"completion page"}));
  ASSERT_EQ(run.wizard->messageBoxes.size(), 1u);
  EXPECT_EQ(run.wizard->messageBoxes[0].text, L"Get UpdateAddress Fail");
  EXPECT_EQ(run.wizard->messageBoxes[0].caption, L"<string 301>");
  EXPECT_EQ(run.wizard->messageBoxes[0].type, 0x30u);
  EXPECT_EQ(run.wizard->failureMessage, L"<string 313>");
  EXPECT_EQ(run.wizard->okText, L"<string 302>");
  EXPECT_EQ(run.checkpoint, 1u);
  EXPECT_TRUE(testing_support::DebugLogHas(L"[brimvale] install Fail"));
  // No rollback: it would have waited for the agent's window and logged the
  // missing product key.
  EXPECT_TRUE(run.pauses.empty());
  EXPECT_FALSE(testing_support::DebugLogHas(L"[Brimvale] Install : Delete HKLM Brimvale Registry Fail"));
  InstallationRun::WaitForStartedPrograms();
  EXPECT_FALSE(testing_support::DebugLogHas(L"[Brimvale] bvludt : ran"));
}

TEST(InstallWorker, AStopRequestedBeforeTheRunCallsNoSinkAtAll) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  run.context.m_updateAddress = L"http://127.0.0.1:1/update";
  run.session = run.NewSession();
  InstallWorker worker(run.session);
  worker.RequestStop();
  EXPECT_EQ(worker.Run(), 0u);
  EXPECT_TRUE(run.progress->statusTexts.empty());
  EXPECT_TRUE(run.progress->rows.empty());
  EXPECT_TRUE(run.wizard->calls.empty());
}

// The suite's update host, served by nginx.
class WorkerEndToEnd : public testing_support::UpdateHostSuite<> {
 protected:
  // A machine where start-up has run and the driver's signer is trusted.
  static void PrepareMachine(InstallationRun* run) {
    testing_support::UpdateHostFixture::TrustTestRoot();
    run->StartUp(host_->Server());
    ASSERT_FALSE(run->context.m_updateAddress.empty());
  }

  // A whole installation on the current machine, then the completion page's
  // OK: the agent's service runs with its MQTT client and its window program.
  static void InstallAndStartAgent() {
    InstallationRun first;
    PrepareMachine(&first);
    first.RunWorker();
    ASSERT_EQ(first.checkpoint, checkpoint::kInstallSuccess);
    StartAgent();
    ASSERT_TRUE(Eventually([] {
      return testing_support::ProgramRunning(L"bvlmqtt.exe") && testing_support::ProgramRunning(L"BrimvaleAgent.exe");
    }));
  }

};

// The rows of a whole successful run, in order.
std::vector<RecordedRow> SuccessRows() {
  const std::vector<std::wstring> walk = {
      L"BrimvaleAgent.exe", L"bvlUninstaller.exe", L"bvlchk.exe",   L"bvlcore.dll",  L"bvlcv.dll",
      L"bvlmqtt.exe",       L"bvlres.dll",         L"bvlsvc.exe",   L"bvludt.exe",   L"cef",
      L"kvppob.sys",        L"libeay32.dll",       L"mosquitto.dll", L"msvcr100.dll", L"pthreadVC2.dll",
      L"sqlite3.dll"};
  std::vector<RecordedRow> rows = {{L"RenameOldFile Success", false, 30}};
  unsigned percent = 30;
  for (const std::wstring& name : walk) rows.push_back({name + L" Download Success", true, percent += 2});
  rows.push_back({L"proverinfo create Success", false, 68});
  rows.push_back({L"CreateAndMoveInstalledFile Success", false, 70});
  rows.push_back({L"InstallDriver Success", false, 75});
  rows.push_back({L"InstallService Success", false, 80});
  rows.push_back({L"RegisterReservationJob Success", false, 85});
  rows.push_back({L"DeleteOldFile Success", false, 90});
  rows.push_back({L"RegisterUninstallReg Success", false, 90});
  rows.push_back({L"Install Success", false, 100});
  return rows;
}

struct ProfileRow {
  const char* profile;
  bool x64;
};

// A whole successful run on a fresh machine of the row's profile; each test
// checks one side of what the run did and left.
class WorkerSuccess : public WorkerEndToEnd, public testing::WithParamInterface<ProfileRow> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(WorkerEndToEnd::SetUp());
    machine_ = std::make_unique<testing_support::ScopedMachine>(GetParam().profile);
    run_ = std::make_unique<InstallationRun>();
    ASSERT_NO_FATAL_FAILURE(PrepareMachine(run_.get()));
    run_->RunWorker();
    // What the programs it started do is done before a test reads the machine.
    InstallationRun::WaitForStartedPrograms();
  }

  std::unique_ptr<testing_support::ScopedMachine> machine_;
  std::unique_ptr<InstallationRun> run_;
};

TEST_P(WorkerSuccess, RunsEveryStepInOrderAndEndsOnTheCompletionPage) {
  EXPECT_EQ(run_->progress->rows, SuccessRows());
  EXPECT_EQ(run_->progress->statusTexts,
            (std::vector<std::wstring>{L"RenameOldFile..", L"CreateAndMoveInstalledFile..", L"InstallService..",
                                       L"RegisterReservationJob..", L"DeleteOldFile..", L"RegisterUninstallReg.."}));
  EXPECT_EQ(run_->wizard->calls, std::vector<std::wstring>{L"completion page"});
  EXPECT_EQ(run_->wizard->okText, L"<string 302>");
  EXPECT_EQ(run_->checkpoint, checkpoint::kInstallSuccess);
  // Only the pause before the staging folder is cleared: a driver that runs
  // at once is not polled again.
  EXPECT_EQ(run_->pauses, std::vector<unsigned>{100});
}

// The updater ran after the installation; the agent service registered
// itself and waits for the completion page to start it.
TEST_P(WorkerSuccess, RunsTheUpdaterAndLeavesTheAgentServiceRegisteredAndStopped) {
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] bvludt : ran"));
  auto service = testing_support::ServiceNamed(L"bvlsvc");
  ASSERT_TRUE(service);
  EXPECT_EQ(service->type, win::SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(service->startType, win::SERVICE_AUTO_START);
  EXPECT_EQ(service->imagePath, L"\"C:\\Program Files\\Brimvale\\bvlsvc.exe\"");
  EXPECT_EQ(service->state, win::SERVICE_STOPPED);
}

TEST_P(WorkerSuccess, SchedulesTheCheckerAtStartUpAndEveryThirtyMinutes) {
  const std::wstring checker = L"\"C:\\Program Files\\brimvale\\bvlchk.exe\"";
  auto onStart = platform::FindScheduledTask(L"bvlchk_onstart");
  auto minute = platform::FindScheduledTask(L"bvlchk_minute");
  ASSERT_TRUE(onStart && minute);
  EXPECT_EQ(onStart->action, checker);
  EXPECT_EQ(onStart->schedule, L"ONSTART");
  EXPECT_EQ(onStart->runAs, L"System");
  EXPECT_EQ(minute->action, checker);
  EXPECT_EQ(minute->schedule, L"MINUTE");
  EXPECT_EQ(minute->modifier, 30);
  EXPECT_EQ(platform::ListScheduledTasks().size(), 2u);
}

TEST_P(WorkerSuccess, WritesTheUninstallEntry) {
  EXPECT_EQ(UninstallValue(L"DisplayIcon"), L"C:\\Program Files\\brimvale\\BrimvaleAgent.exe");
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"\ube0c\ub9bc\ubca0\uc77c");
  EXPECT_EQ(UninstallValue(L"UninstallString"), L"\"C:\\Program Files\\brimvale\\bvlUninstaller.exe\" -u");
  EXPECT_EQ(UninstallValue(L"Publisher"), L"Korvanta., ltd.");
}

// The protection driver runs, with its altitude and the registry protection
// on, only on 32-bit Windows.
TEST_P(WorkerSuccess, LoadsTheProtectionDriverOnlyOn32BitWindows) {
  auto driver = testing_support::ServiceNamed(L"kvppob");
  if (GetParam().x64) {
    EXPECT_FALSE(driver);
    EXPECT_FALSE(platform::RegistryProtectionState().has_value());
  } else {
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->type, win::SERVICE_KERNEL_DRIVER);
    EXPECT_EQ(driver->startType, win::SERVICE_BOOT_START);
    EXPECT_EQ(driver->state, win::SERVICE_RUNNING);
    std::wstring altitude;
    RegReadString(L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances\\AltitudeAndFlags", L"Altitude", &altitude);
    EXPECT_EQ(altitude, L"386241");
    EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
  }
}

// The completion page's OK: the service runs with its recovery actions, and
// the agent's programs beside it.
TEST_P(WorkerSuccess, TheCompletionPageStartsTheServiceWithItsRecoveryActions) {
  EXPECT_TRUE(StartAgent());
  ASSERT_TRUE(Eventually([] {
    auto started = testing_support::ServiceNamed(L"bvlsvc");
    return started && started->state == win::SERVICE_RUNNING;
  }));
  auto service = testing_support::ServiceNamed(L"bvlsvc");
  ASSERT_TRUE(service->hasFailureActions);
  EXPECT_EQ(service->resetPeriod, 600u);
  ASSERT_EQ(service->actions.size(), 3u);
  for (const win::SC_ACTION& action : service->actions) {
    EXPECT_EQ(action.Type, win::SC_ACTION_RESTART);
    EXPECT_EQ(action.Delay, 2000u);
  }
  EXPECT_TRUE(Eventually([] { return testing_support::ProgramRunning(L"bvlmqtt.exe") && testing_support::ProgramRunning(L"BrimvaleAgent.exe"); }));
}

INSTANTIATE_TEST_SUITE_P(Machines, WorkerSuccess,
                         testing::Values(ProfileRow{"win10-x64", true}, ProfileRow{"win7-x86", false}),
                         [](const testing::TestParamInfo<ProfileRow>& info) {
                           std::string name = info.param.profile;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// A failure at one point of the sequence: an exception thrown just before the
// step of that checkpoint runs.
struct FailureRow {
  const char* name;
  const char* profile;
  std::uint32_t checkpoint;
  bool rollsBack;
  bool listFileLeft;  // the task list of RegisterReservationJob stays
  std::size_t rowsBeforeFailure;
};

class WorkerFailure : public WorkerEndToEnd, public testing::WithParamInterface<FailureRow> {};

// Lines of a snapshot comparison that a rollback may leave: the task list
// file (never deleted) and the removal of the product values that start-up
// wrote (ServiceInfo, MqttInfo), which the rollback takes with the product key.
bool DocumentedChange(const std::wstring& line, bool listFileLeft) {
  if (line.rfind(L"- registry ", 0) == 0 && line.find(L"\\Korvanta\\Brimvale") != std::wstring::npos) return true;
  if (listFileLeft && line.rfind(L"+ file C:\\ProgramData\\Brimvale", 0) == 0) return true;
  return false;
}

TEST_P(WorkerFailure, RollsTheMachineBackToWhatItWas) {
  const FailureRow& row = GetParam();
  testing_support::ScopedMachine machine(row.profile);
  InstallationRun run;
  PrepareMachine(&run);
  const platform::MachineSnapshot before = platform::TakeMachineSnapshot();

  run.RunWorker([&](std::uint32_t at) {
    if (at == row.checkpoint) throw std::runtime_error("step failed");
  });
  InstallationRun::WaitForStartedPrograms();

  // The failure form, with the error text of an exception (none).
  EXPECT_EQ(run.wizard->calls, (std::vector<std::wstring>{L"message box", L"failure form", L"completion page"}));
  ASSERT_EQ(run.wizard->messageBoxes.size(), 1u);
  EXPECT_EQ(run.wizard->messageBoxes[0].text, L"");
  EXPECT_EQ(run.progress->rows.size(), row.rowsBeforeFailure);
  EXPECT_EQ(run.checkpoint, row.rollsBack ? checkpoint::kRolledBack : row.checkpoint);
  EXPECT_FALSE(testing_support::DebugLogHas(L"[Brimvale] bvludt : ran"));

  const std::vector<std::wstring> changes = platform::CompareMachineSnapshots(before, platform::TakeMachineSnapshot());
  bool listFileSeen = false;
  for (const std::wstring& change : changes) {
    EXPECT_TRUE(DocumentedChange(change, row.listFileLeft)) << "not a documented leftover: " << testing::PrintToString(change);
    listFileSeen |= change.find(L"schtasks_list.txt") != std::wstring::npos;
  }
  EXPECT_EQ(listFileSeen, row.listFileLeft);
  if (row.rollsBack) {
    // The start-up values went with the product keys.
    std::wstring serviceInfo;
    EXPECT_FALSE(RegReadString(kProductKey, kServiceInfoValue, &serviceInfo));
  }
  for (const std::wstring& program : kAgentPrograms) EXPECT_FALSE(testing_support::ProgramRunning(program)) << testing::PrintToString(program);
}

// Row calls before the failure: none at checkpoint 0; "RenameOldFile Success",
// the sixteen download rows that replace it and "proverinfo create Success",
// then one per step that ran.
INSTANTIATE_TEST_SUITE_P(
    Checkpoints, WorkerFailure,
    testing::Values(FailureRow{"RenameOldFile", "win10-x64", 0, false, false, 0},
                    FailureRow{"CreateAndMoveInstalledFile", "win10-x64", 10, true, false, 1},
                    FailureRow{"InstallDriver", "win10-x64", 11, true, false, 19},
                    FailureRow{"InstallDriverOn32Bit", "win7-x86", 11, true, false, 19},
                    FailureRow{"InstallService", "win10-x64", 13, true, false, 20},
                    FailureRow{"InstallServiceOn32Bit", "win7-x86", 13, true, false, 20},
                    FailureRow{"RegisterReservationJob", "win10-x64", 16, true, false, 21},
                    FailureRow{"DeleteOldFile", "win10-x64", 19, true, true, 22},
                    FailureRow{"RegisterUninstallReg", "win10-x64", 20, true, true, 23}),
    [](const testing::TestParamInfo<FailureRow>& info) { return std::string(info.param.name); });

TEST_F(WorkerEndToEnd, AnExceptionAfterInstallSuccessKeepsTheInstallation) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  PrepareMachine(&run);
  run.RunWorker([](std::uint32_t at) {
    if (at == checkpoint::kInstallSuccess) throw std::runtime_error("late failure");
  });
  InstallationRun::WaitForStartedPrograms();
  EXPECT_EQ(run.wizard->calls, std::vector<std::wstring>{L"completion page"});
  EXPECT_EQ(run.checkpoint, checkpoint::kInstallSuccess);
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"\ube0c\ub9bc\ubca0\uc77c");
  EXPECT_TRUE(testing_support::ServiceNamed(L"bvlsvc").has_value());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] bvludt : ran"));
}

TEST_F(WorkerEndToEnd, AMissingManifestFailsTheDownloadStepAndRollsBack) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  PrepareMachine(&run);
  run.context.m_updateAddress = host_->Server() + L"/no-such-folder";
  run.RunWorker();
  InstallationRun::WaitForStartedPrograms();

  EXPECT_EQ(run.progress->rows, (std::vector<RecordedRow>{{L"RenameOldFile Success", false, 30},
                                                          {L"CreateAndMoveInstalledFile Fail", false, 70}}));
  ASSERT_EQ(run.wizard->messageBoxes.size(), 1u);
  EXPECT_EQ(run.wizard->messageBoxes[0].text, L"FileDownLoad Fail");
  EXPECT_EQ(run.wizard->failureMessage, L"<string 313>");
  EXPECT_EQ(run.checkpoint, checkpoint::kRolledBack);
  // The rollback waited for the agent's window once.
  EXPECT_EQ(std::count(run.pauses.begin(), run.pauses.end(), 1000u), 1);
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale")));
}

TEST_F(WorkerEndToEnd, ADriverFailingItsSignatureCheckFailsTheDownloadStep) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  run.StartUp(host_->Server());  // the test root is not trusted here
  run.RunWorker();
  InstallationRun::WaitForStartedPrograms();

  ASSERT_GE(run.progress->rows.size(), 2u);
  EXPECT_EQ(run.progress->rows[run.progress->rows.size() - 2], (RecordedRow{L"kvppob.sys Download Fail", true, 52}));
  EXPECT_EQ(run.progress->rows.back(), (RecordedRow{L"CreateAndMoveInstalledFile Fail", false, 70}));
  ASSERT_EQ(run.wizard->messageBoxes.size(), 1u);
  EXPECT_EQ(run.wizard->messageBoxes[0].text, L"FileDownLoad Fail");
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale")));
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")));
}

// An earlier installation whose uninstall entry is gone but whose agent still
// runs (service, window process, MQTT client, driver): a failed installation
// over it stops and removes all of it.
TEST_F(WorkerEndToEnd, ARollbackOverARunningBrokenInstallationStopsAndRemovesIt) {
  testing_support::ScopedMachine machine("win7-x86");
  ASSERT_NO_FATAL_FAILURE(InstallAndStartAgent());
  ASSERT_EQ(win::SHDeleteKeyW(win::HKEY_LOCAL_MACHINE, kUninstallKey), win::ERROR_SUCCESS);

  InstallationRun second;
  second.StartUp(host_->Server());
  second.RunWorker([](std::uint32_t at) {
    if (at == checkpoint::kInstallService) throw std::runtime_error("step failed");
  });
  InstallationRun::WaitForStartedPrograms();

  EXPECT_EQ(second.checkpoint, checkpoint::kRolledBack);
  // The service's stop event was set; the service then stops its MQTT
  // client itself, often before the rollback would set that one's event.
  EXPECT_TRUE(testing_support::DebugLogHas(L"brimvale Installer : bvlsvc Stop SetEvent"));
  for (const std::wstring& program : kAgentPrograms) EXPECT_FALSE(testing_support::ProgramRunning(program)) << testing::PrintToString(program);
  EXPECT_TRUE(Eventually([] { return !testing_support::ServiceNamed(L"bvlsvc") && !testing_support::ServiceNamed(L"kvppob"); }));
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale")));
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys")));
}

// An earlier installation killed between the creation of the driver's
// service and its instance values left the service stopped and without
// Instances. An installation over it still logs the existing service, and
// ends with the driver loaded and its protection on.
TEST_F(WorkerEndToEnd, AnInstallationOverAHalfRegisteredDriverLoadsItWithItsProtectionOn) {
  testing_support::ScopedMachine machine("win7-x86");
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  win::SC_HANDLE left = win::CreateServiceW(manager, L"kvppob", L"kvppob monitor", win::SERVICE_ALL_ACCESS,
                                            win::SERVICE_KERNEL_DRIVER, win::SERVICE_BOOT_START,
                                            win::SERVICE_ERROR_NORMAL, L"%SystemRoot%\\System32\\drivers\\kvppob.sys",
                                            nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(left, nullptr);
  win::CloseServiceHandle(left);
  win::CloseServiceHandle(manager);

  InstallationRun run;
  PrepareMachine(&run);
  run.RunWorker();
  InstallationRun::WaitForStartedPrograms();

  EXPECT_EQ(run.progress->rows, SuccessRows());
  EXPECT_TRUE(testing_support::DebugLogHas(
      L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc2e4\ud328 1073"));
  auto driver = testing_support::ServiceNamed(L"kvppob");
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->state, win::SERVICE_RUNNING);
  std::wstring instance;
  std::wstring altitude;
  EXPECT_TRUE(RegReadString(L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances", L"DefaultInstance", &instance));
  EXPECT_EQ(instance, L"AltitudeAndFlags");
  EXPECT_TRUE(
      RegReadString(L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances\\AltitudeAndFlags", L"Altitude", &altitude));
  EXPECT_EQ(altitude, L"386241");
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
}

TEST_F(WorkerEndToEnd, InstallUninstallAndInstallAgainOnOneMachine) {
  testing_support::ScopedMachine machine("win10-x64");
  ASSERT_NO_FATAL_FAILURE(InstallAndStartAgent());

  const std::wstring uninstaller = L"C:\\Program Files\\Brimvale\\bvlUninstaller.exe";
  const win::DWORD id = platform::StartProcess(uninstaller, L"\"" + uninstaller + L"\" -u");
  ASSERT_NE(id, 0u);
  ASSERT_EQ(platform::WaitForProcess(id, 30000), std::optional<win::DWORD>(0));
  EXPECT_TRUE(UninstallValue(L"DisplayName").empty());
  EXPECT_FALSE(testing_support::ServiceNamed(L"bvlsvc").has_value());
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
  for (const std::wstring& program : kAgentPrograms) EXPECT_FALSE(testing_support::ProgramRunning(program)) << testing::PrintToString(program);
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale")));

  InstallationRun again;
  again.StartUp(host_->Server());
  again.RunWorker();
  EXPECT_EQ(again.progress->rows, SuccessRows());
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"\ube0c\ub9bc\ubca0\uc77c");
}

// The progress page torn down while the worker downloads: the page asks the
// worker to stop from its own row, and no step, rollback or sink call follows.
class PageGoingAway : public testing_support::RecordingProgress {
 public:
  void AddStatusRow(const std::wstring& text, bool replaceLast, unsigned percent) override {
    if (gone) ++callsAfterStop;
    RecordingProgress::AddStatusRow(text, replaceLast, percent);
    if (text == L"bvlcore.dll Download Success" && thread) {
      thread->RequestStop();
      gone = true;
    }
  }
  void SetStatusText(const std::wstring& text) override {
    if (gone) ++callsAfterStop;
    RecordingProgress::SetStatusText(text);
  }
  InstallWorkerThread* thread = nullptr;
  bool gone = false;
  int callsAfterStop = 0;
};

TEST_F(WorkerEndToEnd, AWorkerStoppedByItsPageRunsNothingFurther) {
  testing_support::ScopedMachine machine("win10-x64");
  InstallationRun run;
  PrepareMachine(&run);
  auto page = std::make_shared<PageGoingAway>();
  auto session = std::make_shared<InstallSession>();
  session->progress = page;
  session->wizard = run.wizard;
  session->strings = testing_support::WorkerString;
  session->engine = std::make_shared<InstallEngine>(run.context, *page);
  session->engine->m_sleep = [](win::DWORD) {};
  session->engine->BuildCatalogue();

  auto thread = std::make_unique<InstallWorkerThread>(session);
  page->thread = thread.get();
  ASSERT_TRUE(Eventually([&] { return page->gone; }));
  // The page's destructor: the handle goes while the worker finishes the
  // component it was placing.
  page->thread = nullptr;
  thread.reset();
  EXPECT_TRUE(Eventually([&] { return session.use_count() == 1; }));

  // The component being placed was finished; nothing was reported after the
  // stop and no later component or step ran.
  EXPECT_EQ(page->callsAfterStop, 0);
  EXPECT_EQ(page->rows.back().text, L"bvlcore.dll Download Success");
  EXPECT_FALSE(fs::exists(machine.Host(L"C:\\Program Files\\Brimvale\\bvlcv.dll")));
  EXPECT_TRUE(run.wizard->calls.empty());
  EXPECT_EQ(std::count(page->statusTexts.begin(), page->statusTexts.end(), L"InstallService.."), 0);
  EXPECT_FALSE(testing_support::ServiceNamed(L"bvlsvc").has_value());
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
  std::wstring entry;
  EXPECT_FALSE(RegReadString(kUninstallKey, L"DisplayName", &entry));
}

}  // namespace
