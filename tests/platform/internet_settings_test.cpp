// The user's preconfigured Internet proxy as WinINet reads it, and the RPC
// runtime's random identifiers.
#include <gtest/gtest.h>

#include <set>

#include "platform/codepage.h"
#include "platform/internet_settings.h"
#include "platform/registry.h"
#include "platform/rpc_uuid.h"
#include "support/scoped_machine.h"

namespace {

struct ProxyRow {
  const char* name;
  int enable;              // -1: no ProxyEnable value
  const wchar_t* server;   // null: no ProxyServer value
  const wchar_t* scheme;
  const wchar_t* proxy;
};

class InternetProxyTest : public ::testing::TestWithParam<ProxyRow> {
 protected:
  testing_support::ScopedMachine machine;
};

TEST_P(InternetProxyTest, ReadsTheUsersSettings) {
  const ProxyRow row = GetParam();
  win::HKEY key = nullptr;
  ASSERT_EQ(win::RegCreateKeyW(win::HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                               &key),
            win::ERROR_SUCCESS);
  if (row.enable >= 0) {
    const win::DWORD enable = static_cast<win::DWORD>(row.enable);
    win::RegSetValueExW(key, L"ProxyEnable", 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&enable), 4);
  }
  if (row.server != nullptr) {
    const std::string data = platform::WideToUtf16Le(row.server);
    win::RegSetValueExW(key, L"ProxyServer", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(data.data()),
                        static_cast<win::DWORD>(data.size()));
  }
  win::RegCloseKey(key);
  EXPECT_EQ(win::InternetPreconfiguredProxy(row.scheme), row.proxy);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InternetProxyTest,
    ::testing::Values(ProxyRow{"NoSettings", -1, nullptr, L"https", L""},
                      ProxyRow{"OneForAll", 1, L"127.0.0.1:8080", L"https", L"127.0.0.1:8080"},
                      ProxyRow{"Disabled", 0, L"127.0.0.1:8080", L"https", L""},
                      ProxyRow{"EnabledWithoutServer", 1, nullptr, L"https", L""},
                      ProxyRow{"PerScheme", 1, L"http=a:1; https=b:2", L"https", L"b:2"},
                      ProxyRow{"PerSchemeOther", 1, L"http=a:1;https=b:2", L"http", L"a:1"},
                      ProxyRow{"SchemeNotListed", 1, L"ftp=c:3", L"https", L""}),
    [](const ::testing::TestParamInfo<ProxyRow>& info) { return std::string(info.param.name); });

TEST(UuidCreate, GivesDistinctVersion4Identifiers) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    win::GUID id;
    ASSERT_EQ(win::UuidCreate(&id), win::RPC_S_OK);
    EXPECT_EQ(id.Data3 >> 12, 4) << "version";
    EXPECT_EQ(id.Data4[0] >> 6, 2) << "variant";
    seen.insert(std::string(reinterpret_cast<const char*>(&id), sizeof(id)));
  }
  EXPECT_EQ(seen.size(), 64u);
}

}  // namespace
