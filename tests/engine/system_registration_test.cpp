// The system registration steps and the rollback routines one by one: legacy
// files moved aside and deleted, the driver step, the scheduled tasks through
// the schtasks.exe stand-in, the uninstall entry, stopping a running agent and
// removing the product keys, the driver and the files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/install_engine.h"
#include "engine/uninstall_entry.h"
#include "platform/sim/processes/builtin_programs.h"
#include "platform/devices.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/images/pe_image.h"
#include "platform/sim/files/file_marks.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"
#include "platform/top_level_windows.h"
#include "settings/installer_context.h"
#include "system/registry_helpers.h"
#include "support/recording_progress.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "system/kv_system.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Eventually;

// An engine on a fresh machine, its catalogue built, its pauses counted.
class Registration : public testing::Test {
 protected:
  explicit Registration(const char* profile = "win10-x64") : machine_(profile) {}
  void SetUp() override {
    engine_ = std::make_unique<InstallEngine>(context_, progress_);
    engine_->m_sleep = [this](win::DWORD milliseconds) { pauses_.push_back(milliseconds); };
    engine_->BuildCatalogue();
    platform::ClearDebugLog();
  }

  void WriteFile(const std::wstring& path, const std::string& bytes) {
    const fs::path host = machine_.Host(path);
    fs::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << bytes;
  }
  bool Exists(const std::wstring& path) { return fs::exists(machine_.Host(path)); }

  testing_support::ScopedMachine machine_;
  InstallerContext context_;
  testing_support::RecordingProgress progress_;
  std::unique_ptr<InstallEngine> engine_;
  std::vector<win::DWORD> pauses_;
};

const std::wstring kDrivers = L"C:\\Windows\\System32\\drivers\\";

TEST_F(Registration, OldFilesAreMovedAsideAndDeletedAfterwards) {
  WriteFile(kDrivers + L"kvppob.sys", "old driver");
  WriteFile(kDrivers + L"bvlcore.dll", "old core");
  EXPECT_TRUE(engine_->RenameOldFile());
  EXPECT_FALSE(Exists(kDrivers + L"kvppob.sys"));
  EXPECT_TRUE(Exists(kDrivers + L"_kvppob.sys"));
  EXPECT_TRUE(Exists(kDrivers + L"_bvlcore.dll"));
  EXPECT_FALSE(Exists(kDrivers + L"_bvlmqtt.exe"));

  ASSERT_TRUE(platform::LockFile(kDrivers + L"_bvlcore.dll"));
  EXPECT_TRUE(engine_->DeleteOldFile());
  EXPECT_FALSE(Exists(kDrivers + L"_kvppob.sys"));
  EXPECT_TRUE(Exists(kDrivers + L"_bvlcore.dll"));
  // Every moved-aside path that could not be deleted is logged: the locked
  // one and the two that never existed.
  auto failure = [](const std::wstring& name) {
    return L"[Brimvale] BVLInstall : Delete Agent File Fail - " + kvutil::KVSystem::GetDriversPath(name);
  };
  EXPECT_EQ(platform::ReadDebugLog(), (std::vector<std::wstring>{failure(L"_BrimvaleAgent.exe"), failure(L"_bvlcore.dll"),
                                                                 failure(L"_bvlmqtt.exe")}));
}

TEST_F(Registration, WithoutLegacyFilesEachOfTheFourDeletionsIsLogged) {
  EXPECT_TRUE(engine_->RenameOldFile());
  EXPECT_TRUE(engine_->DeleteOldFile());
  EXPECT_EQ(platform::ReadDebugLog().size(), 4u);
}

TEST_F(Registration, TheDriverStepDoesNothingOn64BitWindows) {
  WriteFile(kDrivers + L"kvppob.sys", "driver");
  EXPECT_TRUE(engine_->InstallDriver());
  EXPECT_TRUE(platform::ListServices().empty());
  win::HKEY key = nullptr;
  EXPECT_NE(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\kvppob", 0,
                               win::KEY_READ, &key),
            win::ERROR_SUCCESS);
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(Registration, TheUninstallEntryIsWrittenInThe64BitViewWithAQuotedUninstaller) {
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"Stale", L"from an earlier run");
  EXPECT_TRUE(engine_->RegisterUninstallReg());
  auto read = [](const std::wstring& name) {
    std::wstring value;
    RegReadString(kUninstallKey, name, &value);
    return value;
  };
  EXPECT_EQ(read(L"DisplayIcon"), L"C:\\Program Files\\brimvale\\BrimvaleAgent.exe");
  EXPECT_EQ(read(L"DisplayName"), L"\ube0c\ub9bc\ubca0\uc77c");
  EXPECT_EQ(read(L"UninstallString"), L"\"C:\\Program Files\\brimvale\\bvlUninstaller.exe\" -u");
  EXPECT_EQ(read(L"Publisher"), L"Korvanta., ltd.");
  EXPECT_TRUE(read(L"Stale").empty());
  // The 64-bit view: not below Wow6432Node.
  win::HKEY key = nullptr;
  EXPECT_EQ(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                                        L"{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}",
                               0, win::KEY_READ | win::KEY_WOW64_64KEY, &key),
            win::ERROR_SUCCESS);
  win::RegCloseKey(key);

  EXPECT_TRUE(engine_->DeleteUninstallReg());
  EXPECT_TRUE(read(L"DisplayName").empty());
}

// A value the registry did not take (its hive file cannot grow on a full
// disk) or a key that cannot be created leaves no usable entry: the step
// reports it instead of claiming success.
TEST_F(Registration, AnUninstallEntryThatCannotBeWrittenWholeIsReported) {
  auto read = [](const std::wstring& name) {
    std::wstring value = L"<none>";
    RegReadString(kUninstallKey, name, &value);
    return value;
  };
  platform::InjectFault({"RegSetValueEx", L"UninstallString", win::ERROR_WRITE_FAULT});
  EXPECT_FALSE(engine_->RegisterUninstallReg());
  EXPECT_EQ(read(L"UninstallString"), L"<none>");
  EXPECT_EQ(read(L"Publisher"), L"Korvanta., ltd.");  // the other values are still written
  EXPECT_EQ(platform::ReadDebugLog(),
            std::vector<std::wstring>{L"[Brimvale] BVLInstall : Write Uninstall Registry Fail - UninstallString"});

  platform::ClearFaults();
  platform::ClearDebugLog();
  platform::InjectFault({"RegCreateKeyEx", kUninstallKey, win::ERROR_ACCESS_DENIED});
  EXPECT_FALSE(engine_->RegisterUninstallReg());
  EXPECT_EQ(read(L"DisplayName"), L"<none>");
  EXPECT_EQ(platform::ReadDebugLog().size(), 4u);

  // Written whole once the registry takes the values again.
  platform::ClearFaults();
  platform::ClearDebugLog();
  EXPECT_TRUE(engine_->RegisterUninstallReg());
  EXPECT_EQ(read(L"UninstallString"), L"\"C:\\Program Files\\brimvale\\bvlUninstaller.exe\" -u");
  EXPECT_TRUE(platform::ReadDebugLog().empty());
}

TEST_F(Registration, ScheduledTasksRunTheQuotedCheckerAsTheSystemAccount) {
  EXPECT_TRUE(engine_->RegisterReservationJob());
  ASSERT_TRUE(Eventually([] { return platform::ListScheduledTasks().size() == 2; }));
  auto onStart = platform::FindScheduledTask(L"bvlchk_onstart");
  auto minute = platform::FindScheduledTask(L"bvlchk_minute");
  ASSERT_TRUE(onStart && minute);
  EXPECT_EQ(onStart->action, L"\"C:\\Program Files\\brimvale\\bvlchk.exe\"");
  EXPECT_EQ(onStart->schedule, L"ONSTART");
  EXPECT_EQ(onStart->runAs, L"System");
  EXPECT_EQ(minute->schedule, L"MINUTE");
  EXPECT_EQ(minute->modifier, 30);
  EXPECT_TRUE(Exists(L"C:\\ProgramData\\Brimvale\\schtasks_list.txt"));
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : bvlchk_onstart enroll success\n"));
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : bvlchk_minute enroll success\n"));

  // Registering again replaces both: the deletions finish before the listing.
  EXPECT_TRUE(engine_->RegisterReservationJob());
  ASSERT_TRUE(Eventually([] { return platform::ListScheduledTasks().size() == 2; }));

  EXPECT_TRUE(engine_->DeleteScheduledTasks());
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(Registration, ATaskTheListAlreadyNamesIsNotCreatedAgain) {
  // A task whose name contains "bvlchk_onstart" in other letter case
  // survives the deletions and is found in the lower-cased list.
  platform::ScheduledTask legacy;
  legacy.name = L"Legacy_BVLCHK_ONSTART";
  legacy.action = L"C:\\old.exe";
  legacy.schedule = L"ONSTART";
  legacy.runAs = L"System";
  ASSERT_TRUE(platform::SaveScheduledTask(legacy, false));
  EXPECT_TRUE(engine_->RegisterReservationJob());
  ASSERT_TRUE(Eventually([] { return platform::FindScheduledTask(L"bvlchk_minute").has_value(); }));
  EXPECT_FALSE(platform::FindScheduledTask(L"bvlchk_onstart").has_value());
  EXPECT_FALSE(testing_support::DebugLogHas(L"[Brimvale] Install : bvlchk_onstart enroll success\n"));
}

TEST_F(Registration, WithoutSchtasksNoTaskIsRegistered) {
  fs::remove(machine_.Host(L"C:\\Windows\\System32\\schtasks.exe"));
  EXPECT_FALSE(engine_->RegisterReservationJob());
  EXPECT_FALSE(engine_->DeleteScheduledTasks());
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>(3, L"[Brimvale] Install : Fail to find schtasks.exe\n"));
}

TEST_F(Registration, AListingThatCannotStartFailsTheStep) {
  platform::InjectFault({"CreateProcess", L"", win::ERROR_ACCESS_DENIED, -1});
  EXPECT_FALSE(engine_->RegisterReservationJob());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : Fail to Get schtasks.exe list info\n"));
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(Registration, TasksThatCannotBeCreatedAreLoggedAndTheStepGoesOn) {
  // schtasks.exe can list but not be started through the shell: neither
  // the deletions nor the creations run.
  platform::InjectFault({"ShellExecuteEx", L"schtasks.exe", win::ERROR_ACCESS_DENIED, -1});
  EXPECT_TRUE(engine_->RegisterReservationJob());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : bvlchk_onstart enroll fail\n"));
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : bvlchk_minute enroll fail\n"));
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(Registration, AListThatCannotBeOpenedFailsTheStepWithItsPath) {
  platform::InjectFault({"CreateFile", L"C:\\ProgramData\\Brimvale\\schtasks_list.txt", win::ERROR_ACCESS_DENIED, -1});
  EXPECT_FALSE(engine_->RegisterReservationJob());
  EXPECT_TRUE(testing_support::DebugLogHas(
      L"[Brimvale] Install : schtasks File Error - C:\\ProgramData\\Brimvale\\schtasks_list.txt cannot be opened "
      L"(error 5)"));
  EXPECT_TRUE(platform::ListScheduledTasks().empty());
}

TEST_F(Registration, TheProductKeyGoesFromTheMachineAndBothUsers) {
  RegWriteString(win::HKEY_LOCAL_MACHINE, kProductKey, kVersionValue, L"3.2.1.0");
  RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kMqttInfoValue, L"mqtt://broker");
  ASSERT_TRUE(kvutil::KVSystem::ImpersonateExplorerUser());
  RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kServiceInfoValue, L"secret");
  win::RevertToSelf();

  EXPECT_TRUE(engine_->DeleteSettingsKey());
  std::wstring value;
  EXPECT_FALSE(RegReadString(kProductKey, kVersionValue, &value));
  EXPECT_FALSE(RegReadUserString(kProductKey, kMqttInfoValue, &value));
  ASSERT_TRUE(kvutil::KVSystem::ImpersonateExplorerUser());
  EXPECT_FALSE(RegReadUserString(kProductKey, kServiceInfoValue, &value));
  win::RevertToSelf();

  // Nothing left to delete: the machine's key is missing.
  EXPECT_FALSE(engine_->DeleteSettingsKey());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] Install : Delete HKLM Brimvale Registry Fail"));
}

TEST_F(Registration, DriverRemovalWithoutARegistrationReportsTheMissingKey) {
  EXPECT_FALSE(engine_->RemoveDriverRegistration());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] BVLInstall : Delete Driver Register Info Fail - kvppob.sys"));
  // No driver file: no restart operation is scheduled for it.
  std::wstring pending;
  EXPECT_FALSE(RegReadString(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations",
                             &pending));
}

TEST_F(Registration, ADriverFileInUseIsDeletedAtTheNextRestart) {
  WriteFile(kDrivers + L"kvppob.sys", "driver");
  ASSERT_TRUE(platform::LockFile(kDrivers + L"kvppob.sys"));
  engine_->RemoveDriverRegistration();
  EXPECT_TRUE(Exists(kDrivers + L"kvppob.sys"));
  platform::RebootMachine();
  EXPECT_FALSE(Exists(kDrivers + L"kvppob.sys"));
}

TEST_F(Registration, AgentFilesGoWithTheInstallFolder) {
  WriteFile(L"C:\\Program Files\\Brimvale\\bvlsvc.exe", "service");
  WriteFile(L"C:\\Program Files\\Brimvale\\cef\\libcef.dll", "cef");
  WriteFile(L"C:\\Program Files\\Brimvale\\updatetemp\\proverinfo.dat", "manifest");
  EXPECT_TRUE(engine_->DeleteAgentFiles());
  EXPECT_FALSE(Exists(L"C:\\Program Files\\Brimvale"));
}

TEST_F(Registration, ARunningAgentIsAskedToStopAndWhatIsLeftIsEnded) {
  const std::wstring folder = L"C:\\Program Files\\Brimvale\\";
  WriteFile(folder + L"BrimvaleAgent.exe", platform::BuiltinStubImage("i386", "BrimvaleAgent"));
  WriteFile(folder + L"bvlmqtt.exe", platform::BuiltinStubImage("i386", "bvlmqtt"));
  ASSERT_NE(platform::StartProcess(folder + L"BrimvaleAgent.exe", L"\"" + folder + L"BrimvaleAgent.exe\""), 0u);
  ASSERT_NE(platform::StartProcess(folder + L"bvlmqtt.exe", L"\"" + folder + L"bvlmqtt.exe\""), 0u);
  ASSERT_TRUE(Eventually([] { return win::FindWindowW(nullptr, L"BrimvaleAgent.exe") != nullptr; }));
  ASSERT_TRUE(Eventually([] { return testing_support::DebugLogHas(L"[Brimvale] bvlmqtt : MQTT client running"); }));

  EXPECT_TRUE(engine_->StopRunningAgent());
  EXPECT_EQ(pauses_, std::vector<win::DWORD>{1000});
  EXPECT_TRUE(testing_support::DebugLogHas(L"brimvale Installer : bvlmqtt Stop SetEvent"));
  EXPECT_FALSE(testing_support::DebugLogHas(L"brimvale Installer : bvlsvc Stop SetEvent"));  // no service ran
  EXPECT_TRUE(Eventually([] { return !testing_support::ProgramRunning(L"BrimvaleAgent.exe") && !testing_support::ProgramRunning(L"bvlmqtt.exe"); }));
  EXPECT_EQ(win::FindWindowW(nullptr, L"BrimvaleAgent.exe"), nullptr);
}

class Registration32Bit : public Registration {
 protected:
  Registration32Bit() : Registration("win7-x86") {}
};

TEST_F(Registration32Bit, TheDriverStepInstallsTheDriverAndSwitchesItsProtectionOff) {
  WriteFile(kDrivers + L"kvppob.sys", platform::BuildPeImage(platform::PeMachine::I386, "driver"));
  EXPECT_TRUE(engine_->InstallDriver());
  auto services = platform::ListServices();
  ASSERT_EQ(services.size(), 1u);
  EXPECT_EQ(services[0].name, L"kvppob");
  EXPECT_EQ(services[0].state, win::SERVICE_RUNNING);
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(false));

  // An existing driver service: the installation failure is logged and the
  // step still switches the protection off and succeeds.
  platform::ClearDebugLog();
  EXPECT_TRUE(engine_->InstallDriver());
  EXPECT_TRUE(testing_support::DebugLogHas(L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 "
                     L"\uc2e4\ud328 1073"));

  engine_->RemoveDriverRegistration();
  EXPECT_TRUE(platform::ListServices().empty());
  win::HKEY key = nullptr;
  EXPECT_NE(win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\kvppob", 0,
                               win::KEY_READ, &key),
            win::ERROR_SUCCESS);
  EXPECT_FALSE(Exists(kDrivers + L"kvppob.sys"));
}

}  // namespace
