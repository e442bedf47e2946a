// The machine registry: exact REG_SZ bytes, WOW64 views, missing keys, tree
// deletion, persistence and concurrent writers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/identity.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"
#include "support/scoped_machine.h"

namespace {

using namespace win;

std::string ReadRaw(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM access, LSTATUS* status) {
  HKEY handle = nullptr;
  *status = RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | access, &handle);
  if (*status != 0) return {};
  DWORD size = 0;
  *status = RegQueryValueExW(handle, name, nullptr, nullptr, nullptr, &size);
  std::string bytes(size, '\0');
  if (*status == 0) *status = RegQueryValueExW(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size);
  RegCloseKey(handle);
  return bytes;
}

void WriteString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text, REGSAM access) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_ALL_ACCESS | access, nullptr, &handle, nullptr), 0);
  std::string bytes = platform::WideToUtf16Le(text);
  ASSERT_EQ(RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            0);
  RegCloseKey(handle);
}

TEST(RegistryTest, StringValueKeepsExactBytesWithoutTerminator) {
  testing_support::ScopedMachine machine;
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale", L"ServiceInfo", L"A\u00e9\uac00", KEY_WOW64_64KEY);
  LSTATUS status;
  std::string bytes = ReadRaw(HKEY_LOCAL_MACHINE, L"software\\KORVANTA\\brimvale", L"serviceinfo", KEY_WOW64_64KEY, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(bytes, std::string("A\0\xe9\0\x00\xac", 6));

  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale", L"Empty", L"", KEY_WOW64_64KEY);
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale", L"Empty", KEY_WOW64_64KEY, &status), "");
  EXPECT_EQ(status, 0);
}

TEST(RegistryTest, ThirtyTwoBitProcessOnX64IsRedirectedUnlessItAsksForTheSixtyFourBitView) {
  testing_support::ScopedMachine machine("win10-x64");
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Vendor", L"View", L"32", 0);
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Vendor", L"View", L"64", KEY_WOW64_64KEY);
  platform::RegistryTree tree = platform::ReadRegistry();
  auto redirected = tree.find(platform::RegistryFold(L"HKLM\\SOFTWARE\\Wow6432Node\\Vendor"));
  auto native = tree.find(platform::RegistryFold(L"HKLM\\SOFTWARE\\Vendor"));
  ASSERT_NE(redirected, tree.end());
  ASSERT_NE(native, tree.end());
  EXPECT_EQ(platform::Utf16LeToWide(redirected->second.values.at(L"view").data), L"32");
  EXPECT_EQ(platform::Utf16LeToWide(native->second.values.at(L"view").data), L"64");

  // Keys outside Software and under HKCU are not redirected.
  EXPECT_EQ(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, L"SYSTEM\\X", 0), L"HKLM\\SYSTEM\\X");
  EXPECT_EQ(platform::ResolveRegistryPath(HKEY_CURRENT_USER, L"Software\\X", 0), L"HKU\\Administrator\\Software\\X");
  EXPECT_EQ(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\X", 0),
            L"HKLM\\Software\\Wow6432Node\\X");
}

TEST(RegistryTest, ThirtyTwoBitMachineHasNoRedirection) {
  testing_support::ScopedMachine machine("win7-x86");
  EXPECT_EQ(platform::ResolveRegistryPath(HKEY_LOCAL_MACHINE, L"Software\\Vendor", 0), L"HKLM\\Software\\Vendor");
}

TEST(RegistryTest, MissingKeyOrValueAndSmallBufferAreReported) {
  testing_support::ScopedMachine machine;
  HKEY handle = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Nothing", 0, KEY_QUERY_VALUE, &handle),
            static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\V", L"Name", L"abcd", 0);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\V", 0, KEY_QUERY_VALUE, &handle), 0);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(handle, L"Other", nullptr, nullptr, nullptr, &size), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(handle, L"Name", nullptr, nullptr, small, &size), static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 8u);
  RegCloseKey(handle);
  EXPECT_EQ(RegCloseKey(handle), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
}

TEST(RegistryTest, DeleteTreeRemovesSubkeysAndLeafDeleteRefusesParents) {
  testing_support::ScopedMachine machine;
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale\\Sub", L"x", L"1", KEY_WOW64_64KEY);
  WriteString(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Other", L"x", L"1", KEY_WOW64_64KEY);
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvanta", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &parent), 0);
  EXPECT_NE(RegDeleteKeyW(parent, L"Brimvale"), 0);
  EXPECT_EQ(SHDeleteKeyW(parent, L"Brimvale"), 0);
  RegCloseKey(parent);
  platform::RegistryTree tree = platform::ReadRegistry();
  EXPECT_EQ(tree.count(L"hklm\\software\\korvanta\\brimvale"), 0u);
  EXPECT_EQ(tree.count(L"hklm\\software\\korvanta\\brimvale\\sub"), 0u);
  EXPECT_EQ(tree.count(L"hklm\\software\\korvanta\\other"), 1u);
  EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST(RegistryTest, InjectedFaultFailsKeyCreation) {
  testing_support::ScopedMachine machine;
  platform::InjectFault({"RegCreateKeyEx", L"Software\\Korvanta\\Brimvale", ERROR_ACCESS_DENIED, 1});
  HKEY handle = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
  // The fault was armed for one call only.
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Korvanta\\Brimvale", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            0);
  RegCloseKey(handle);
}

TEST(RegistryTest, ImpersonationSwitchesTheThreadsCurrentUserHive) {
  testing_support::ScopedMachine machine;
  WriteString(HKEY_CURRENT_USER, L"Software\\Korvanta\\Brimvale", L"Who", L"installer", 0);
  platform::SetThreadImpersonation("user");
  WriteString(HKEY_CURRENT_USER, L"Software\\Korvanta\\Brimvale", L"Who", L"desktop", 0);
  platform::SetThreadImpersonation("");
  LSTATUS status;
  EXPECT_EQ(platform::Utf16LeToWide(ReadRaw(HKEY_USERS, L"Administrator\\Software\\Korvanta\\Brimvale", L"Who", 0, &status)),
            L"installer");
  EXPECT_EQ(platform::Utf16LeToWide(ReadRaw(HKEY_USERS, L"user\\Software\\Korvanta\\Brimvale", L"Who", 0, &status)),
            L"desktop");
}

TEST(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  testing_support::ScopedMachine machine;
  constexpr int kWrites = 60;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = ::fork();
    if (children[child] == 0) {
      for (int i = 0; i < kWrites; ++i) {
        HKEY handle = nullptr;
        std::wstring key = L"Software\\Race\\P" + std::to_wstring(child);
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) != 0) _exit(1);
        DWORD value = static_cast<DWORD>(i);
        if (RegSetValueExW(handle, L"V" + std::to_wstring(i), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != 0) _exit(2);
        RegCloseKey(handle);
      }
      _exit(0);
    }
  }
  for (pid_t pid : children) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  platform::RegistryTree tree = platform::ReadRegistry();
  for (int child = 0; child < 2; ++child) {
    auto it = tree.find(L"hklm\\software\\wow6432node\\race\\p" + std::to_wstring(child));
    ASSERT_NE(it, tree.end());
    EXPECT_EQ(it->second.values.size(), static_cast<std::size_t>(kWrites));
  }
}

}  // namespace
