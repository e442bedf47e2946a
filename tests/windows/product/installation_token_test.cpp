// The installation token on the real system: the installer reads the agent
// server's address from its own path, stores it encrypted as ServiceInfo in
// the 64-bit view of the machine's product key and in the user's, and asks
// the server (a loopback test server) for the update address. A path without
// a token stores nothing and asks nothing.
#include "settings/installation_token.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "settings/base64.h"
#include "settings/installer_context.h"
#include "settings/seed_cipher.h"
#include "system/registry_helpers.h"
#include "windows/product/system_facts.h"
#include "windows/product/test_servers.h"

namespace {

using namespace testing_windows;
using nlohmann::json;

std::wstring InstallerPath(const std::string& address) {
  const std::string token = Base64Encode(reinterpret_cast<const unsigned char*>(address.data()), address.size());
  return L"C:\\users\\Public\\Downloads\\bvlInstaller[" + platform::Utf8ToWide(token) + L"].exe";
}

class InstallationToken : public ::testing::Test {
 protected:
  void SetUp() override { RemoveStoredValues(); }
  void TearDown() override { RemoveStoredValues(); }
  static void RemoveStoredValues() {
    for (View view : {View::Native64, View::Wow32}) DeleteValue(Hive::Machine, view, kProductKey, kServiceInfoValue);
    DeleteValue(Hive::User, View::Native64, kProductKey, kServiceInfoValue);
    DeleteValue(Hive::User, View::Native64, kProductKey, kMqttInfoValue);
  }
};

TEST_F(InstallationToken, TheAddressIsStoredEncryptedInThe64BitViewAndTheServerAsked) {
  ServeRoutes(json::array({{{"method", "GET"},
                            {"path", "/v2/agent-request-urls"},
                            {"status", 200},
                            {"headers", {{"Content-Type", "application/json"}}},
                            {"body", R"({"update":"http://update.example/","mqtt":"M"})"}}}));
  const std::wstring address = HttpUrl(L"");
  InstallerContext context;
  context.ReadInstallationToken(InstallerPath(platform::WideToUtf8(address)));
  EXPECT_EQ(context.m_serverAddress, address);
  EXPECT_EQ(context.m_updateAddress, L"http://update.example/");
  EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_OK);

  // The SEED form is the Linux build's byte for byte (windows_platform_tests).
  const std::string expected =
      platform::WideToUtf16Le(EncryptServiceInfo(address, kServiceInfoKey, kServiceInfoIv));
  const auto machine = ReadValue(Hive::Machine, View::Native64, kProductKey, kServiceInfoValue);
  ASSERT_TRUE(machine) << "ServiceInfo in the 64-bit view";
  EXPECT_EQ(machine->type, kRegSz);
  EXPECT_EQ(machine->bytes, expected);
  EXPECT_FALSE(ReadValue(Hive::Machine, View::Wow32, kProductKey, kServiceInfoValue));
  // The user's copy: under Wine the desktop user is this process's own user.
  const auto user = ReadValue(Hive::User, View::Native64, kProductKey, kServiceInfoValue);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->bytes, expected);

  const auto requests = ReceivedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].at("target").get<std::string>().rfind("/v2/agent-request-urls", 0), 0u)
      << requests[0].at("target");
}

TEST_F(InstallationToken, APathWithoutATokenStoresNothingAndAsksNothing) {
  ServeRoutes(json::array());
  for (const wchar_t* path : {L"C:\\setup[].exe", L"C:\\setup.exe", L"C:\\setup]x[y.exe"}) {
    InstallerContext context;
    context.ReadInstallationToken(path);
    EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_NO_INFO);
    EXPECT_EQ(context.m_serverAddress, L"");
  }
  for (View view : {View::Native64, View::Wow32}) {
    EXPECT_FALSE(ReadValue(Hive::Machine, view, kProductKey, kServiceInfoValue));
  }
  EXPECT_FALSE(ReadValue(Hive::User, View::Native64, kProductKey, kServiceInfoValue));
  EXPECT_TRUE(ReceivedRequests().empty());
}

}  // namespace
