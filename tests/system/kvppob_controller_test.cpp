// The protection driver: its service entry and minifilter instance values,
// its removal, and the registry-protection requests through its device, with
// the log lines of each outcome.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/devices.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/images/pe_image.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "support/scoped_machine.h"
#include "system/kvppob_controller.h"

namespace {

namespace fs = std::filesystem;

const std::wstring kServiceKey = L"SYSTEM\\CurrentControlSet\\Services\\kvppob";
const std::wstring kOpened = L"[Brimvale] kvppobcontroller : Cannot Open kvppob Driver";
const std::wstring kInstalled =
    L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc131\uacf5";

std::optional<platform::ServiceSummary> Driver() {
  for (const platform::ServiceSummary& service : platform::ListServices()) {
    if (service.name == L"kvppob") return service;
  }
  return std::nullopt;
}

// A value of a key below HKLM: its type and bytes; type 0 when missing.
std::pair<win::DWORD, std::string> Value(const std::wstring& key, const std::wstring& name) {
  win::HKEY handle = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, key, 0, win::KEY_READ, &handle) != 0) return {0, {}};
  win::DWORD type = 0, size = 0;
  std::string bytes;
  if (win::RegQueryValueExW(handle, name, nullptr, &type, nullptr, &size) == 0) {
    bytes.resize(size);
    win::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<win::BYTE*>(bytes.data()), &size);
  }
  win::RegCloseKey(handle);
  return {type, bytes};
}

std::string Utf16(const std::wstring& text) { return platform::WideToUtf16Le(text); }

// The minifilter's instance values as the installation writes them.
void ExpectTheInstanceValues() {
  EXPECT_EQ(Value(kServiceKey + L"\\Instances", L"DefaultInstance"),
            std::make_pair(win::REG_SZ, Utf16(L"AltitudeAndFlags")));
  EXPECT_EQ(Value(kServiceKey + L"\\Instances\\AltitudeAndFlags", L"Altitude"),
            std::make_pair(win::REG_SZ, Utf16(L"386241")));
  EXPECT_EQ(Value(kServiceKey + L"\\Instances\\AltitudeAndFlags", L"Flags"),
            std::make_pair(win::REG_DWORD, std::string(4, '\0')));
}

class ProtectionDriver : public testing::Test {
 protected:
  void SetUp() override {
    const fs::path image = machine_.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys");
    std::ofstream(image, std::ios::binary) << platform::BuildPeImage(platform::PeMachine::I386, "driver");
  }
  testing_support::ScopedMachine machine_{"win7-x86"};
  Pause noPause_ = [](win::DWORD) {};
};

TEST_F(ProtectionDriver, InstallCreatesTheBootDriverWithItsInstanceValuesAndStartsIt) {
  platform::ClearDebugLog();
  ASSERT_TRUE(DriverInstall(noPause_));
  auto driver = Driver();
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->displayName, L"kvppob monitor");
  EXPECT_EQ(driver->type, win::SERVICE_KERNEL_DRIVER);
  EXPECT_EQ(driver->startType, win::SERVICE_BOOT_START);
  EXPECT_EQ(driver->state, win::SERVICE_RUNNING);
  EXPECT_EQ(Value(kServiceKey, L"ImagePath"),
            std::make_pair(win::REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\System32\\drivers\\kvppob.sys") + std::string(2, '\0')));
  EXPECT_EQ(Value(kServiceKey, L"ErrorControl"), std::make_pair(win::REG_DWORD, std::string("\x01\0\0\0", 4)));
  ExpectTheInstanceValues();
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{kInstalled});
}

// The service entry alone, as an installation killed between the creation of
// the service and its instance values leaves it: stopped, without Instances.
void CreateHalfRegisteredDriver() {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  win::SC_HANDLE existing = win::CreateServiceW(manager, L"kvppob", L"kvppob monitor", win::SERVICE_ALL_ACCESS,
                                                win::SERVICE_KERNEL_DRIVER, win::SERVICE_BOOT_START,
                                                win::SERVICE_ERROR_NORMAL, L"%SystemRoot%\\System32\\drivers\\kvppob.sys",
                                                nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(existing, nullptr);
  win::CloseServiceHandle(existing);
  win::CloseServiceHandle(manager);
}

const std::wstring kExists =
    L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc2e4\ud328 1073";

TEST_F(ProtectionDriver, InstallOverAHalfRegisteredDriverCompletesItsInstanceValuesAndStartsIt) {
  ASSERT_NO_FATAL_FAILURE(CreateHalfRegisteredDriver());
  platform::ClearDebugLog();

  // Still the failure of the creation, with the platform's error for an
  // existing service; then what was missing is completed.
  EXPECT_FALSE(DriverInstall(noPause_));
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{kExists});
  ExpectTheInstanceValues();
  auto driver = Driver();
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->state, win::SERVICE_RUNNING);
  EXPECT_EQ(driver->displayName, L"kvppob monitor");

  // The driver now loads, so its protection can be switched.
  KvppobController controller;
  EXPECT_TRUE(controller.SetRegProtectON());
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
}

TEST_F(ProtectionDriver, InstallOverAnExistingServiceKeepsTheValuesItFinds) {
  ASSERT_NO_FATAL_FAILURE(CreateHalfRegisteredDriver());
  // Killed after the first two values: an altitude of its own is kept.
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, kServiceKey + L"\\Instances\\AltitudeAndFlags", 0, nullptr, 0,
                                 win::KEY_ALL_ACCESS, nullptr, &key, nullptr),
            0);
  const std::string altitude = Utf16(L"370000");
  win::RegSetValueExW(key, L"Altitude", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(altitude.data()),
                      static_cast<win::DWORD>(altitude.size()));
  win::RegCloseKey(key);

  EXPECT_FALSE(DriverInstall(noPause_));
  EXPECT_EQ(Value(kServiceKey + L"\\Instances\\AltitudeAndFlags", L"Altitude"), std::make_pair(win::REG_SZ, altitude));
  EXPECT_EQ(Value(kServiceKey + L"\\Instances\\AltitudeAndFlags", L"Flags"),
            std::make_pair(win::REG_DWORD, std::string(4, '\0')));
  EXPECT_EQ(Value(kServiceKey + L"\\Instances", L"DefaultInstance"),
            std::make_pair(win::REG_SZ, Utf16(L"AltitudeAndFlags")));
}

TEST_F(ProtectionDriver, InstallOverARunningDriverOnlyLogsTheExistingService) {
  ASSERT_TRUE(DriverInstall(noPause_));
  platform::ClearDebugLog();
  std::vector<win::DWORD> pauses;
  EXPECT_FALSE(DriverInstall([&](win::DWORD milliseconds) { pauses.push_back(milliseconds); }));
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{kExists});
  EXPECT_TRUE(pauses.empty()) << "a running driver is not started again";
  EXPECT_EQ(Driver()->state, win::SERVICE_RUNNING);
}

TEST_F(ProtectionDriver, InstallAndDeleteFailWhenTheServiceControlManagerCannotBeOpened) {
  platform::InjectFault({"OpenSCManager", L"", win::ERROR_ACCESS_DENIED, -1});
  platform::ClearDebugLog();
  EXPECT_FALSE(DriverInstall(noPause_));
  EXPECT_FALSE(DriverDelete(noPause_));
  EXPECT_EQ(platform::ReadDebugLog(),
            (std::vector<std::wstring>{L"[Brimvale] kvppobcontroller : CServiceControlManager \uc624\ud508 \uc2e4\ud328",
                                       L"[Brimvale] kvppobcontroller : DriverDelete CServiceControlManager Open Fail"}));
  EXPECT_FALSE(Driver());
}

TEST_F(ProtectionDriver, InstallSucceedsEvenWhenTheDriverDoesNotStartInTime) {
  platform::SetServiceDelays(L"kvppob", -1, 0);
  std::vector<win::DWORD> pauses;
  platform::ClearDebugLog();
  EXPECT_TRUE(DriverInstall([&](win::DWORD milliseconds) { pauses.push_back(milliseconds); }));
  EXPECT_EQ(pauses.size(), 10u);
  EXPECT_EQ(platform::ReadDebugLog(), (std::vector<std::wstring>{L"Driver failed to start...", kInstalled}));
}

TEST_F(ProtectionDriver, DeleteStopsTheDriverAndRemovesItsService) {
  ASSERT_TRUE(DriverInstall(noPause_));
  EXPECT_TRUE(DriverDelete(noPause_));
  EXPECT_FALSE(Driver());
  EXPECT_EQ(Value(kServiceKey, L"ImagePath").first, 0u);
}

TEST_F(ProtectionDriver, DeleteWithoutTheServiceStillSucceeds) {
  platform::ClearDebugLog();
  EXPECT_TRUE(DriverDelete(noPause_));
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{L"The attempt to stop service failed due to error"});
}

TEST_F(ProtectionDriver, TheControllerOpensTheDeviceOnceTheDriverRuns) {
  platform::ClearDebugLog();
  KvppobController controller;
  EXPECT_EQ(platform::ReadDebugLog(), std::vector<std::wstring>{kOpened});
  EXPECT_FALSE(controller.SetRegProtectON());  // no driver: no request, no line
  EXPECT_EQ(platform::ReadDebugLog().size(), 1u);
  EXPECT_FALSE(platform::RegistryProtectionState().has_value());

  ASSERT_TRUE(DriverInstall(noPause_));
  EXPECT_TRUE(controller.SetRegProtectOFF());
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(false));
  EXPECT_TRUE(controller.SetRegProtectON());
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
}

TEST_F(ProtectionDriver, ARefusedRequestIsLoggedWithThePlatformError) {
  ASSERT_TRUE(DriverInstall(noPause_));
  KvppobController controller;
  platform::InjectFault({"DeviceIoControl", L"", win::ERROR_ACCESS_DENIED, -1});
  platform::ClearDebugLog();
  EXPECT_FALSE(controller.SetRegProtectON());
  EXPECT_FALSE(controller.SetRegProtectOFF());
  EXPECT_EQ(platform::ReadDebugLog(),
            (std::vector<std::wstring>{L"[Brimvale] kvppobcontroller : SetRegProtectON Fail Error : 5",
                                       L"[Brimvale] kvppobcontroller : SetRegProtectOFF Fail Error : 5"}));
}

}  // namespace
