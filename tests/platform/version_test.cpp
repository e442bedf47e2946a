// The version the system itself runs (RtlGetVersion), which a minidump
// records, against the version queries that the compatibility rules of
// Windows 10 keep at 6.2.
#include <gtest/gtest.h>

#include <string>

#include "platform/version.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

TEST(RtlGetVersionTest, GivesEachProfilesOwnVersionServicePackAndProductType) {
  const struct {
    const char* profile;
    DWORD major, minor, build;
    const wchar_t* servicePack;
    BYTE productType;
  } rows[] = {
      {"winxp-sp2-x86", 5, 1, 2600, L"Service Pack 2", VER_NT_WORKSTATION},
      {"winxp-sp3-x86", 5, 1, 2600, L"Service Pack 3", VER_NT_WORKSTATION},
      {"win7-x86", 6, 1, 7601, L"Service Pack 1", VER_NT_WORKSTATION},
      {"win81-x64", 6, 3, 9600, L"", VER_NT_WORKSTATION},
      {"win10-x64", 10, 0, 19045, L"", VER_NT_WORKSTATION},  // 6.2 to VerifyVersionInfoW
      {"unknown-os", 5, 2, 3790, L"Service Pack 2", VER_NT_SERVER},
  };
  for (const auto& row : rows) {
    testing_support::ScopedMachine machine(row.profile);
    OSVERSIONINFOEXW info;
    info.dwMajorVersion = 99;
    ASSERT_EQ(RtlGetVersion(&info), STATUS_SUCCESS) << row.profile;
    EXPECT_EQ(info.dwMajorVersion, row.major) << row.profile;
    EXPECT_EQ(info.dwMinorVersion, row.minor) << row.profile;
    EXPECT_EQ(info.dwBuildNumber, row.build) << row.profile;
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT) << row.profile;
    EXPECT_EQ(std::wstring(info.szCSDVersion), row.servicePack) << row.profile;
    EXPECT_EQ(info.wProductType, row.productType) << row.profile;
    EXPECT_EQ(info.wSuiteMask, 0) << row.profile;
  }
}

TEST(RtlGetVersionTest, TheVersionQueriesOfWindows10StillSeeSixPointTwo) {
  testing_support::ScopedMachine machine("win10-x64");
  OSVERSIONINFOEXW wanted;
  wanted.dwMajorVersion = 6;
  wanted.dwMinorVersion = 2;
  const DWORDLONG mask = VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL), VER_MINORVERSION,
                                             VER_EQUAL);
  EXPECT_TRUE(VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, mask));
  OSVERSIONINFOEXW real;
  ASSERT_EQ(RtlGetVersion(&real), STATUS_SUCCESS);
  EXPECT_EQ(real.dwMajorVersion, 10u);
}

TEST(RtlGetVersionTest, ANullRecordIsRefused) {
  testing_support::ScopedMachine machine;
  EXPECT_LT(RtlGetVersion(nullptr), 0);
}

}  // namespace

