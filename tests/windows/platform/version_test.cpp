// The version queries on the real system: the version the system runs as
// its registry records it, the machine's own processor, and GetProductInfo
// called through the interface's function pointer type.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/version.h"

namespace {

using namespace win;

const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A value of the system's version key; empty when it is not there.
std::string VersionValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCurrentVersion, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != 0) return "";
  DWORD size = 0;
  std::string bytes;
  if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == 0) {
    bytes.assign(size, '\0');
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size);
  }
  RegCloseKey(key);
  return bytes;
}

std::wstring VersionText(const wchar_t* name) {
  std::wstring text = platform::Utf16LeToWide(VersionValue(name));
  return text.substr(0, text.find(L'\0'));
}

TEST(VersionTest, RtlGetVersionGivesTheVersionTheRegistryRecords) {
  OSVERSIONINFOEXW info;
  ASSERT_EQ(RtlGetVersion(&info), STATUS_SUCCESS);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(std::to_wstring(info.dwBuildNumber), VersionText(L"CurrentBuildNumber"));
  // Windows 10 and later record their version as numbers; earlier systems
  // as "6.1" text only.
  const std::string major = VersionValue(L"CurrentMajorVersionNumber");
  if (major.size() == 4) {
    EXPECT_EQ(info.dwMajorVersion, *reinterpret_cast<const DWORD*>(major.data()));
  } else {
    EXPECT_EQ(std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion),
              VersionText(L"CurrentVersion"));
  }
  // The extended part of the record is filled too.
  EXPECT_GE(info.wProductType, VER_NT_WORKSTATION);  // workstation, domain controller or server
  EXPECT_LE(info.wProductType, VER_NT_SERVER);
  EXPECT_EQ(info.wServicePackMajor == 0, std::wstring(info.szCSDVersion).empty());
  EXPECT_LT(RtlGetVersion(nullptr), 0);
}

TEST(VersionTest, VerifyVersionInfoComparesWithTheRunningSystem) {
  const DWORDLONG atLeast = VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL),
                                                VER_MINORVERSION, VER_GREATER_EQUAL);
  OSVERSIONINFOEXW windows7;
  windows7.dwMajorVersion = 6;
  windows7.dwMinorVersion = 1;
  EXPECT_TRUE(VerifyVersionInfoW(&windows7, VER_MAJORVERSION | VER_MINORVERSION, atLeast));
  OSVERSIONINFOEXW future;
  future.dwMajorVersion = 99;
  EXPECT_FALSE(VerifyVersionInfoW(&future, VER_MAJORVERSION | VER_MINORVERSION, atLeast));
  EXPECT_EQ(GetLastError(), ERROR_OLD_WIN_VERSION);
}

TEST(VersionTest, TheNativeProcessorIsTheMachinesNotTheProcesss) {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  // The test prefix is a 64-bit Windows: a 32-bit process runs under WOW64
  // there and would be told "Intel" by the non-native query.
  EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
}

// The product type of the running system through the interface's pointer
// type, as the installer calls it. Called repeatedly from a frame that
// keeps values of its own: with a calling convention that differs from the
// system's, every call leaves the stack pointer off by the arguments' size,
// which the program does not survive for long, and the values around the
// call do not survive at all.
DWORD ProductTypeAfterCalls(GetProductInfoFunction getProductInfo, int calls, volatile DWORD* guard) {
  DWORD first = 0;
  for (int i = 0; i < calls; ++i) {
    DWORD productType = 0;
    const volatile DWORD before = *guard;
    if (!getProductInfo(6, 1, 0, 0, &productType)) return 0;
    if (*guard != before || (first != 0 && productType != first)) return 0;
    first = productType;
  }
  return first;
}

TEST(VersionTest, GetProductInfoCalledThroughTheInterfacePointerLeavesTheStackIntact) {
  HMODULE kernel = LoadLibraryW(L"kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  auto getProductInfo = reinterpret_cast<GetProductInfoFunction>(GetProcAddress(kernel, "GetProductInfo"));
  ASSERT_NE(getProductInfo, nullptr);
  volatile DWORD guard = 0x5EED5EED;
  DWORD productType = ProductTypeAfterCalls(getProductInfo, 64, &guard);
  EXPECT_NE(productType, 0u);
  EXPECT_EQ(guard, 0x5EED5EEDu);
  // And once more from this frame, whose own values must be as they were.
  const std::string marker = "the frame's own value";
  DWORD again = 0;
  EXPECT_TRUE(getProductInfo(6, 1, 0, 0, &again));
  EXPECT_EQ(again, productType);
  EXPECT_EQ(marker, "the frame's own value");

  EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(kernel));
  EXPECT_EQ(LoadLibraryW(L"no-such-library.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

}  // namespace
