// What the installer reads about the system: environment and folders of a
// 32-bit process on 64-bit Windows, the buffer protocol of those reads,
// the debugger output it writes, the user's proxy and new identifiers.
#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/environment.h"
#include "platform/internet_settings.h"
#include "platform/locale.h"
#include "platform/registry.h"
#include "platform/rpc_uuid.h"
#include "platform/system_time.h"

namespace {

using namespace win;

TEST(EnvironmentTest, TheProgramFolderFollowsTheProcesssBitness) {
  wchar_t small[4];
  // The test prefix is a 64-bit Windows: a 32-bit process is given the x86 folder.
  const std::wstring expected = sizeof(void*) == 4 ? L"C:\\Program Files (x86)" : L"C:\\Program Files";
  // Too small: the size needed, with its NUL.
  EXPECT_EQ(GetEnvironmentVariableW(L"ProgramFiles", small, 4), expected.size() + 1);
  wchar_t buffer[MAX_PATH];
  ASSERT_EQ(GetEnvironmentVariableW(L"ProgramFiles", buffer, MAX_PATH), expected.size());
  EXPECT_EQ(std::wstring(buffer), expected);
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE));
  EXPECT_EQ(std::wstring(buffer), expected);

  EXPECT_EQ(GetEnvironmentVariableW(L"BVL_NOT_SET_ANYWHERE", buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST(EnvironmentTest, FoldersAndDrivesFollowTheBufferProtocol) {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(length, 3u);
  EXPECT_EQ(GetSystemDirectoryW(buffer, 2), length + 1);
  const DWORD tempLength = GetTempPathW(MAX_PATH, buffer);
  ASSERT_GT(tempLength, 0u);
  EXPECT_EQ(buffer[tempLength - 1], L'\\');

  const DWORD drivesLength = GetLogicalDriveStringsW(MAX_PATH, buffer);
  ASSERT_GT(drivesLength, 0u);
  std::set<std::wstring> drives;
  for (const wchar_t* drive = buffer; *drive; drive += std::wstring(drive).size() + 1) drives.insert(drive);
  EXPECT_EQ(drives.count(L"C:\\"), 1u);
  EXPECT_EQ(GetDriveTypeW(L"C:\\"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeW(L""), DRIVE_NO_ROOT_DIR);
  const DWORD deviceLength = QueryDosDeviceW(L"C:", buffer, MAX_PATH);
  ASSERT_GT(deviceLength, 0u);
  EXPECT_EQ(buffer[0], L'\\');
}

TEST(ClockAndLocaleTest, TheClockIsUtcFieldByFieldAndTheLanguageNameFitsItsBuffer) {
  SYSTEMTIME now;
  const std::time_t before = std::time(nullptr);
  GetSystemTime(&now);
  const std::time_t after = std::time(nullptr);
  if (before != after) GetSystemTime(&now);  // a second turned over between the reads
  const std::tm utc = *std::gmtime(&after);
  EXPECT_EQ(now.wYear, utc.tm_year + 1900);
  EXPECT_EQ(now.wMonth, utc.tm_mon + 1);
  EXPECT_EQ(now.wDay, utc.tm_mday);
  EXPECT_EQ(now.wDayOfWeek, utc.tm_wday);
  EXPECT_EQ(now.wHour, utc.tm_hour);
  EXPECT_LT(now.wMilliseconds, 1000);

  wchar_t language[10];
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, 10);
  ASSERT_GT(length, 1);
  EXPECT_EQ(std::wstring(language).size() + 1, static_cast<std::size_t>(length));
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, language, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(DebugOutputTest, EachCallIsOneRecordAndEightBitTextIsUtf8) {
  platform::ClearDebugLog();
  OutputDebugStringW(L"[Brimvale] RESBOX : Load Image Resource Fail [ID: 7]\r\n");
  OutputDebugStringA("caf\xc3\xa9 \\ text");
  EXPECT_EQ(
      platform::ReadDebugLog(),
      (std::vector<std::wstring>{L"[Brimvale] RESBOX : Load Image Resource Fail [ID: 7]\r\n", L"caf\u00e9 \\ text"}));
  platform::ClearDebugLog();
  EXPECT_TRUE(platform::ReadDebugLog().empty());
}

// The user's proxy values, set for one test and put back afterwards.
class ProxyTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr), 0);
    for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer"}) {
      DWORD size = 0;
      DWORD type = 0;
      if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != 0) continue;
      std::string bytes(size, '\0');
      RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
      saved_.push_back({name, type, bytes});
    }
  }
  void TearDown() override {
    RegDeleteValueW(key_, L"ProxyEnable");
    RegDeleteValueW(key_, L"ProxyServer");
    for (const Saved& value : saved_) {
      RegSetValueExW(key_, value.name, 0, value.type, reinterpret_cast<const BYTE*>(value.bytes.data()),
                     static_cast<DWORD>(value.bytes.size()));
    }
    RegCloseKey(key_);
  }
  void Set(DWORD enabled, const std::wstring& server) {
    ASSERT_EQ(
        RegSetValueExW(key_, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled), sizeof enabled), 0);
    const std::string bytes = platform::WideToUtf16Le(server + L'\0');
    ASSERT_EQ(RegSetValueExW(key_, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              0);
  }

 private:
  struct Saved {
    const wchar_t* name;
    DWORD type;
    std::string bytes;
  };
  HKEY key_ = nullptr;
  std::vector<Saved> saved_;
};

TEST_F(ProxyTest, TheUsersProxyIsReadPerSchemeAndOnlyWhenEnabled) {
  Set(1, L"proxy.example:3128");
  EXPECT_EQ(InternetPreconfiguredProxy(L"https"), L"proxy.example:3128");
  Set(1, L"http=web.example:80; https = secure.example:8443 ");
  EXPECT_EQ(InternetPreconfiguredProxy(L"https"), L"secure.example:8443");
  EXPECT_EQ(InternetPreconfiguredProxy(L"http"), L"web.example:80");
  EXPECT_EQ(InternetPreconfiguredProxy(L"ftp"), L"");
  Set(0, L"proxy.example:3128");
  EXPECT_EQ(InternetPreconfiguredProxy(L"https"), L"");
}

TEST(UuidTest, NewIdentifiersAreRandomVersionFour) {
  GUID first;
  GUID second;
  ASSERT_EQ(UuidCreate(&first), RPC_S_OK);
  ASSERT_EQ(UuidCreate(&second), RPC_S_OK);
  EXPECT_EQ(first.Data3 >> 12, 4);
  EXPECT_EQ(first.Data4[0] & 0xC0, 0x80);
  EXPECT_FALSE(first.Data1 == second.Data1 && first.Data2 == second.Data2 && first.Data3 == second.Data3);
}

}  // namespace
