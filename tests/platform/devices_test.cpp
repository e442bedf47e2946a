// The protection driver's control device: open only while the driver runs,
// the two protection requests recorded in the machine, everything else refused.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/devices.h"
#include "platform/sim/machine/faults.h"
#include "platform/files.h"
#include "platform/sim/images/pe_image.h"
#include "platform/services.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

constexpr DWORD kProtectOn = 0x821BE024;
constexpr DWORD kProtectOff = 0x821BE028;

class ProtectionDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(machine_.Host(L"C:\\Windows\\System32\\drivers\\kvppob.sys"), std::ios::binary)
        << platform::BuildPeImage(platform::PeMachine::I386);
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    service_ = CreateServiceW(manager_, L"kvppob", L"kvppob monitor", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                              SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, L"%SystemRoot%\\System32\\drivers\\kvppob.sys",
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service_, nullptr);
  }
  void TearDown() override {
    CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
  }
  HANDLE OpenDevice() {
    return CreateFileW(L"\\\\.\\kvppob", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  BOOL Send(HANDLE device, DWORD code) {
    DWORD returned = 99;
    BOOL ok = DeviceIoControl(device, code, nullptr, 0, nullptr, 0, &returned, nullptr);
    if (ok) {
      EXPECT_EQ(returned, 0u);
    }
    return ok;
  }

  testing_support::ScopedMachine machine_{"win7-x86"};
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ProtectionDeviceTest, DeviceOpensOnlyWhileTheDriverRuns) {
  EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  HANDLE device = OpenDevice();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(L"\\\\.\\other", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  SERVICE_STATUS status;
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_FALSE(Send(device, kProtectOn));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(platform::RegistryProtectionState());
  CloseHandle(device);
}

TEST_F(ProtectionDeviceTest, TheTwoRequestsSwitchTheRecordedProtection) {
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  HANDLE device = OpenDevice();
  EXPECT_FALSE(platform::RegistryProtectionState()) << "no request yet";
  ASSERT_TRUE(Send(device, kProtectOff));
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(false));
  ASSERT_TRUE(Send(device, kProtectOn));
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
  for (DWORD other : {0x821BE02Cu, 0u, 0x221BE024u}) {
    EXPECT_FALSE(Send(device, other));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  }
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true)) << "refused requests change nothing";
  platform::InjectFault({"DeviceIoControl", L"\\\\.\\kvppob", 31, 1});
  EXPECT_FALSE(Send(device, kProtectOff));
  EXPECT_EQ(GetLastError(), 31u);
  EXPECT_EQ(platform::RegistryProtectionState(), std::optional<bool>(true));
  CloseHandle(device);
  EXPECT_FALSE(Send(device, kProtectOff)) << "a closed handle";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(ProtectionDeviceTest, OpeningTheDeviceCanBeMadeToFail) {
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
  platform::InjectFault({"CreateFile", L"\\\\.\\kvppob", ERROR_ACCESS_DENIED, 1});
  EXPECT_EQ(OpenDevice(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE device = OpenDevice();
  EXPECT_NE(device, INVALID_HANDLE_VALUE);
  CloseHandle(device);
}

}  // namespace
