// Control devices on the real system. Under Wine no minifilter driver can
// run, so only the failure paths are shown here: a device whose driver is
// absent, and a request on a handle that is none (the simulated machine's
// devices tests show the requests reaching a running driver).
#include <gtest/gtest.h>

#include "platform/devices.h"

#include "platform/windows/windows_api.h"

namespace {

TEST(DeviceTest, DeviceOfAnAbsentDriverIsNotFound) {
  for (const wchar_t* name : {L"kvppob", L"", L"kvppob\\..\\C:"}) {
    win::HANDLE device = platform::OpenDevice(name, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(platform_windows::Native(device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_FILE_NOT_FOUND));
  }
}

TEST(DeviceTest, RequestOnAHandleThatIsNoneFailsAndReturnsNoBytes) {
  win::DWORD returned = 1234;
  EXPECT_FALSE(win::DeviceIoControl(nullptr, 0x821BE024, nullptr, 0, nullptr, 0, &returned, nullptr));
  EXPECT_EQ(win::GetLastError(), static_cast<win::DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(returned, 0u);
}

}  // namespace
