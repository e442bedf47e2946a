// The order of the rollback routines after a failed step: stop the running
// agent, delete its service (or have its executable unregister it), delete
// the scheduled tasks, the product keys, the driver's registration, the
// agent's files, the uninstall entry. The machine is prepared so that each
// routine leaves a trace (a debug line, a started program, a restart
// operation), the engine's pauses write a mark into the debug log and look
// at the machine, and the traces are compared whole, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "engine/install_worker.h"
#include "engine/uninstall_entry.h"
#include "platform/debug_output.h"
#include "platform/sim/files/file_marks.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "system/registry_helpers.h"
#include "support/installation_run.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/update_host_fixture.h"
#include "support/update_host_suite.h"
#include "system/file_verification.h"

namespace {

using testing_support::InstallationRun;

const std::wstring kAgentFile = L"C:\\Program Files\\Brimvale\\bvlcore.dll";

// What the routines remove, looked at when the engine pauses.
struct Removed {
  bool agentService = false;
  bool userProductKey = false;  // the installer account's, which the rollback removes with the machine's
  bool driverService = false;
  bool agentFiles = false;
  bool uninstallEntry = false;

  bool operator==(const Removed& other) const {
    return agentService == other.agentService && userProductKey == other.userProductKey &&
           driverService == other.driverService && agentFiles == other.agentFiles &&
           uninstallEntry == other.uninstallEntry;
  }
};

void PrintTo(const Removed& r, std::ostream* out) {
  *out << "{service " << r.agentService << ", user key " << r.userProductKey << ", driver " << r.driverService
       << ", files " << r.agentFiles << ", entry " << r.uninstallEntry << "}";
}

Removed LookAtTheMachine() {
  Removed removed;
  removed.agentService = !testing_support::ServiceNamed(L"bvlsvc");
  std::wstring value;
  removed.userProductKey = !RegReadUserString(kProductKey, kMqttInfoValue, &value);
  removed.driverService = !testing_support::ServiceNamed(L"kvppob");
  removed.agentFiles = win::GetFileAttributesW(L"C:\\Program Files\\Brimvale\\bvlsvc.exe") == win::INVALID_FILE_ATTRIBUTES;
  removed.uninstallEntry = !RegReadString(kUninstallKey, L"DisplayName", &value);
  return removed;
}

class RollbackOrder : public testing_support::UpdateHostSuite<> {
 protected:
  // Runs an installation that fails just before the scheduled tasks step;
  // `prepare` changes the machine there, before the rollback.
  void RunFailingBeforeTheTasks(const std::function<void()>& prepare) {
    testing_support::UpdateHostFixture::TrustTestRoot();
    run_.StartUp(host_->Server());
    auto session = run_.NewSession();
    session->engine->m_sleep = [this](win::DWORD milliseconds) {
      if (!rollingBack_) return;
      win::OutputDebugStringW(L"<pause " + std::to_wstring(milliseconds) + L">");
      seen_.push_back(LookAtTheMachine());
      startedAtPauses_.push_back(StartedSince(launchedBefore_));
      platform::AdvanceServiceClock(static_cast<int>(milliseconds));
    };
    SetVerificationPauseForTesting([](unsigned) {});
    InstallWorker worker(session);
    worker.m_beforeStep = [&](std::uint32_t at) {
      if (at != checkpoint::kRegisterReservationJob) return;
      // The service registration the worker started has ended.
      InstallationRun::WaitForStartedPrograms();
      prepare();
      platform::ClearDebugLog();
      launchedBefore_ = LastProcessId();
      rollingBack_ = true;
      throw std::runtime_error("step failed");
    };
    worker.Run();
    SetVerificationPauseForTesting(nullptr);
    InstallationRun::WaitForStartedPrograms();
  }

  // The highest process id the machine has handed out so far.
  static win::DWORD LastProcessId() {
    win::DWORD last = 0;
    for (win::DWORD id = 1000; id < 1000 + 4 * 4096; id += 4) {
      if (platform::FindProcess(id)) last = id;
    }
    return last;
  }

  // The programs this process started after `after`, by image name, in order.
  static std::vector<std::wstring> StartedSince(win::DWORD after) {
    std::vector<std::wstring> names;
    const win::DWORD self = platform::CurrentProcessRecord().id;
    for (win::DWORD id = after + 4; id < after + 4 * 256; id += 4) {
      auto record = platform::FindProcess(id);
      if (record && record->parentId == self) names.push_back(record->imagePath.substr(record->imagePath.rfind(L'\\') + 1));
    }
    return names;
  }

  // The installer's own lines: the stand-ins of the agent log asynchronously.
  // The installer's own lines. Left out: the agent service's lines, and the
  // line of an agent program that ended on its own between the process list
  // and its opening (the service ends its MQTT client once its stop event is
  // set, often before the rollback gets to that client): that race tells
  // nothing of the order.
  static std::vector<std::wstring> InstallerLines() {
    std::vector<std::wstring> lines = platform::ReadDebugLog();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::wstring& line) {
                                 return line.rfind(L"[Brimvale] bvlsvc : ", 0) == 0 ||
                                        line.rfind(L"OpenProcess routine some error occurred.", 0) == 0;
                               }),
                lines.end());
    return lines;
  }

  // The machine's PendingFileRenameOperations: source and target (empty:
  // delete) of each operation, in the order they were scheduled.
  static std::vector<std::pair<std::wstring, std::wstring>> PendingRestartOperations() {
    std::vector<std::pair<std::wstring, std::wstring>> operations;
    // NUL-terminated strings in pairs; an empty source ends the list.
    const std::wstring text = testing_support::PendingFileRenameText().value_or(L"");
    std::size_t at = 0;
    auto next = [&] {
      const std::size_t end = std::min(text.find(L'\0', at), text.size());
      std::wstring item = text.substr(at, end - at);
      at = end + 1;
      return item;
    };
    while (at < text.size()) {
      std::wstring source = next();
      if (source.empty()) break;
      operations.push_back({source, next()});
    }
    return operations;
  }

  InstallationRun run_;
  bool rollingBack_ = false;
  win::DWORD launchedBefore_ = 0;
  std::vector<Removed> seen_;
  std::vector<std::vector<std::wstring>> startedAtPauses_;
};


const std::wstring kServiceStopLine = L"brimvale Installer : bvlsvc Stop SetEvent";
const std::wstring kMqttStopLine = L"brimvale Installer : bvlmqtt Stop SetEvent";
const std::wstring kSettingsKeyLine = L"[Brimvale] Install : Delete HKLM Brimvale Registry Fail";
const std::wstring kDriverKeyLine = L"[Brimvale] BVLInstall : Delete Driver Register Info Fail - kvppob.sys";
const std::wstring kAgentFileLine = L"[Brimvale] BVLInstall : Delete Agent File Fail - " + kAgentFile;
const std::wstring kInstallFolderLine = L"[Brimvale] BVLInstall : Delete Agent File Fail - C:\\Program Files\\Brimvale";
const std::wstring kFailLine = L"[brimvale] install Fail";

// Changes before the rollback that make the routines leave their traces: an
// uninstall entry of an earlier installation for DeleteUninstallReg to take,
// the machine's product key already gone (DeleteSettingsKey logs it) and an
// agent file in use (DeleteAgentFiles logs it and schedules it for restart).
void PrepareTraces() {
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", L"\ube0c\ub9bc\ubca0\uc77c");
  win::HKEY korvanta = nullptr;
  ASSERT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, L"SOFTWARE\\Korvanta", 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                               &korvanta),
            win::ERROR_SUCCESS);
  ASSERT_EQ(win::SHDeleteKeyW(korvanta, L"Brimvale"), win::ERROR_SUCCESS);
  win::RegCloseKey(korvanta);
  ASSERT_TRUE(platform::LockFile(kAgentFile));
}

// The running agent's stop events, held by the test for the rollback to set.
class AgentStopEvents {
 public:
  AgentStopEvents()
      : service_(win::CreateEventW(nullptr, win::TRUE, win::FALSE, L"Global\\BVL_STOP_SVC_EVENT")),
        mqtt_(win::CreateEventW(nullptr, win::TRUE, win::FALSE, L"Global\\BVL_STOP_MQTT_EVENT")) {}
  ~AgentStopEvents() {
    win::CloseHandle(service_);
    win::CloseHandle(mqtt_);
  }

 private:
  win::HANDLE service_;
  win::HANDLE mqtt_;
};

// On 32-bit Windows the driver is registered and its stop is waited for:
// that pause shows what the routines before it removed and what the ones
// after it had not yet. schtasks.exe is missing, so that DeleteScheduledTasks
// logs; both driver and agent file are in use, so that the restart
// operations keep the order of RemoveDriverRegistration and DeleteAgentFiles.
TEST_F(RollbackOrder, On32BitWindowsTheRoutinesRunInTheirOrder) {
  testing_support::ScopedMachine machine("win7-x86");
  AgentStopEvents events;
  RunFailingBeforeTheTasks([] {
    PrepareTraces();
    win::DeleteFileW(L"C:\\Windows\\System32\\schtasks.exe");
    platform::LockFile(L"C:\\Windows\\System32\\drivers\\kvppob.sys");
    platform::SetServiceDelays(L"kvppob", 0, 1000);
  });

  EXPECT_EQ(InstallerLines(),
            (std::vector<std::wstring>{
                kServiceStopLine,  // StopRunningAgent, which waits for the agent's window
                L"<pause 1000>",
                kMqttStopLine,
                L"[Brimvale] Install : Fail to find schtasks.exe\n",  // DeleteScheduledTasks
                kSettingsKeyLine,                                      // DeleteSettingsKey
                L"<pause 2000>",  // RemoveDriverRegistration: DriverDelete waits for the driver to stop
                kDriverKeyLine,   // the key went with the service
                kAgentFileLine,   // DeleteAgentFiles
                kInstallFolderLine,
                kFailLine,
                // The ending: the driver is gone.
                L"[Brimvale] kvppobcontroller : SetRegProtectON Fail Error : 1167",
            }));
  // DeleteAgentService after StopRunningAgent's wait and before the driver's
  // removal; DeleteUninstallReg after the driver's removal. (Whether it runs
  // after DeleteAgentFiles too cannot be seen: neither leaves anything the
  // other would change.)
  Removed atStopWait;
  Removed atDriverWait;
  atDriverWait.agentService = true;
  atDriverWait.userProductKey = true;
  EXPECT_EQ(seen_, (std::vector<Removed>{atStopWait, atDriverWait}));
  Removed all{true, true, true, true, true};
  EXPECT_EQ(LookAtTheMachine(), all);
  EXPECT_EQ(PendingRestartOperations(),
            (std::vector<std::pair<std::wstring, std::wstring>>{
                {L"\\??\\C:\\Windows\\system32\\drivers\\kvppob.sys", L""},
                {L"\\??\\C:\\Program Files\\Brimvale\\_bvlcore.dll", L""},
            }));
  EXPECT_TRUE(StartedSince(launchedBefore_).empty()) << "the service was deleted directly";
}

// On 64-bit Windows the service is never deleted directly (its executable
// is not in the 32-bit Program Files folder): the agent's executable is run
// to unregister it, before the two task deletions are started.
TEST_F(RollbackOrder, On64BitWindowsTheServiceIsUnregisteredBeforeTheTasksGo) {
  testing_support::ScopedMachine machine("win10-x64");
  AgentStopEvents events;
  RunFailingBeforeTheTasks(PrepareTraces);

  EXPECT_EQ(InstallerLines(), (std::vector<std::wstring>{
                                  kServiceStopLine,
                                  L"<pause 1000>",
                                  kMqttStopLine,
                                  kSettingsKeyLine,
                                  // RemoveDriverRegistration without a driver.
                                  L"The attempt to stop service failed due to error",
                                  kDriverKeyLine,
                                  kAgentFileLine,
                                  kInstallFolderLine,
                                  kFailLine,
                              }));
  EXPECT_EQ(startedAtPauses_, std::vector<std::vector<std::wstring>>{{}}) << "nothing started before the wait";
  EXPECT_EQ(StartedSince(launchedBefore_),
            (std::vector<std::wstring>{L"bvlsvc.exe", L"schtasks.exe", L"schtasks.exe"}));
  Removed all{true, true, true, true, true};
  EXPECT_EQ(LookAtTheMachine(), all);
}

}  // namespace
