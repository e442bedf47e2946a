// The agent server check: status mapping, answer members, MqttInfo, and
// the address used as it is.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/sim/registry/registry_store.h"
#include "settings/agent_server_api.h"
#include "settings/http_client.h"
#include "settings/installer_context.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"
#include "system/registry_helpers.h"

namespace {

nlohmann::json Route(const std::string& path, int status, const std::string& body, bool gzip = false) {
  return {{"method", "GET"}, {"path", path}, {"status", status}, {"body", body}, {"gzip", gzip},
          {"headers", {{"Content-Type", "application/json"}}}};
}

std::optional<std::wstring> MqttInfo() {
  platform::RegistryTree tree = platform::ReadRegistry();
  auto key = tree.find(L"hku\\administrator\\software\\korvanta\\brimvale");
  if (key == tree.end() || !key->second.values.count(L"mqttinfo")) return std::nullopt;
  return platform::Utf16LeToWide(key->second.values.at(L"mqttinfo").data);
}

TEST(AgentRequestUrlsTest, StatusesMapToCheckResults) {
  testing_support::ScopedMachine machine;
  struct Row {
    int status;
    std::int32_t result;
  } rows[] = {{200, SERVERCHECK_OK}, {400, SERVERCHECK_COMM_ERROR}, {403, SERVERCHECK_NO_INFO},
              {404, SERVERCHECK_NO_INFO}, {500, SERVERCHECK_NO_INFO}};
  // One server for every row: it reads its routes again for each request.
  testing_support::TestHttpServer server;
  ASSERT_TRUE(server.Running()) << server.StartError();
  std::size_t asked = 0;
  for (const Row& row : rows) {
    server.SetRoutes(nlohmann::json::array({Route("/v2/agent-request-urls", row.status, R"({"update":"U","mqtt":"M"})")}));
    InstallerContext context;
    std::wstring update = L"before";
    EXPECT_EQ(context.QueryAgentRequestUrls(server.Url(""), &update), row.status);
    EXPECT_EQ(context.m_serverCheckResult, row.result) << row.status;
    EXPECT_EQ(update, row.status == 200 ? L"U" : L"before");
    // One request, which asks for gzip and never for JSON.
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++asked);
    EXPECT_EQ(requests.back().Value("Accept-Encoding"), "gzip");
    EXPECT_FALSE(requests.back().Has("Accept"));
  }
  InstallerContext unreachable;
  std::wstring update;
  EXPECT_EQ(unreachable.QueryAgentRequestUrls(L"http://127.0.0.1:1", &update), 400);
  EXPECT_EQ(unreachable.m_serverCheckResult, SERVERCHECK_COMM_ERROR);
}

TEST(AgentRequestUrlsTest, AnswerMembersAndMqttInfo) {
  testing_support::ScopedMachine machine;
  struct Row {
    const char* body;
    bool gzip;
    const wchar_t* update;
    const wchar_t* mqtt;
  } rows[] = {{R"({"update":"http://u/x","mqtt":"tcp://m:1883"})", true, L"http://u/x", L"tcp://m:1883"},
              {R"({})", false, L"", L""},
              {R"({"update":5,"mqtt":null})", false, L"", L""},
              {R"([1,2])", false, L"", L""},
              {"not json", false, L"", L""}};
  testing_support::TestHttpServer server;
  ASSERT_TRUE(server.Running()) << server.StartError();
  for (const Row& row : rows) {
    server.SetRoutes(nlohmann::json::array({Route("/v2/agent-request-urls", 200, row.body, row.gzip)}));
    InstallerContext context;
    std::wstring update = L"before";
    EXPECT_EQ(context.QueryAgentRequestUrls(server.Url(""), &update), 200);
    EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_OK);
    EXPECT_EQ(update, row.update) << row.body;
    EXPECT_EQ(MqttInfo(), std::wstring(row.mqtt)) << row.body;
  }
}

TEST(AgentRequestUrlsTest, AnswersOtherThan200LeaveMqttInfoAlone) {
  testing_support::ScopedMachine machine;
  RegWriteString(win::HKEY_CURRENT_USER, kProductKey, kMqttInfoValue, L"tcp://earlier:1883");
  testing_support::TestHttpServer server;
  ASSERT_TRUE(server.Running()) << server.StartError();
  for (int status : {400, 401, 404, 500, 503}) {
    server.SetRoutes(nlohmann::json::array({Route("/v2/agent-request-urls", status, R"({"update":"U","mqtt":"M"})")}));
    InstallerContext context;
    std::wstring update;
    EXPECT_EQ(context.QueryAgentRequestUrls(server.Url(""), &update), status);
    EXPECT_EQ(MqttInfo(), std::wstring(L"tcp://earlier:1883")) << status;
  }
  InstallerContext unreachable;
  std::wstring update;
  unreachable.QueryAgentRequestUrls(L"http://127.0.0.1:1", &update);
  EXPECT_EQ(MqttInfo(), std::wstring(L"tcp://earlier:1883"));
}

TEST(AgentRequestUrlsTest, AServerOnAnIpv6LiteralAdmitsTheInstallation) {
  testing_support::ScopedMachine machine;
  testing_support::TestHttpServer server(
      nlohmann::json::array({Route("/v2/agent-request-urls", 200, R"({"update":"http://[::1]:1/u","mqtt":"M"})", true)}),
      nullptr, "::1");
  ASSERT_TRUE(server.Running()) << server.StartError();
  InstallerContext context;
  std::wstring update;
  EXPECT_EQ(context.QueryAgentRequestUrls(server.Url(""), &update), 200);
  EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_OK);
  EXPECT_EQ(update, L"http://[::1]:1/u");
}

// An update address with control characters is no address: the server
// check fails as for a malformed address and nothing is stored.
TEST(AgentRequestUrlsTest, AnUpdateAddressWithControlCharactersIsRefused) {
  testing_support::ScopedMachine machine;
  for (const char* update : {R"(http://u/x\u0000/y)", R"(http://u/x\r\n[Brimvale] Install : fake)", R"(http://u/\tx)",
                             R"(http://u/\u007f)"}) {
    const std::string body = std::string(R"({"update":")") + update + R"(","mqtt":"M"})";
    testing_support::TestHttpServer server(nlohmann::json::array({Route("/v2/agent-request-urls", 200, body)}));
    ASSERT_TRUE(server.Running()) << server.StartError();
    InstallerContext context;
    std::wstring address = L"before";
    EXPECT_EQ(context.QueryAgentRequestUrls(server.Url(""), &address), 400) << update;
    EXPECT_EQ(context.m_serverCheckResult, SERVERCHECK_COMM_ERROR) << update;
    EXPECT_EQ(address, L"before") << update;
    EXPECT_EQ(MqttInfo(), std::nullopt) << update;
  }
}

TEST(AgentRequestUrlsTest, TrailingSlashGivesTwoSlashes) {
  testing_support::ScopedMachine machine;
  testing_support::TestHttpServer server;
  InstallerContext context;
  std::wstring update;
  context.QueryAgentRequestUrls(server.Url("/"), &update);
  GetWebViewVersion(server.Url("/"));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "//v2/agent-request-urls");
  EXPECT_EQ(requests[1].target, "//v2/versions");
}

TEST(WebViewVersionTest, VersionMemberOfWebview) {
  testing_support::ScopedMachine machine;
  struct Row {
    int status;
    const char* body;
    const wchar_t* version;
  } rows[] = {{200, R"({"webview":{"version":"1.2.3"}})", L"1.2.3"},
              {200, R"({"other":{}})", L""},
              {200, R"({"webview":"1.2.3"})", L""},
              {200, R"({"webview":{"version":7}})", L""},
              {500, R"({"webview":{"version":"1.2.3"}})", L""}};
  testing_support::TestHttpServer server;
  ASSERT_TRUE(server.Running()) << server.StartError();
  std::size_t asked = 0;
  for (const Row& row : rows) {
    server.SetRoutes(nlohmann::json::array({Route("/v2/versions", row.status, row.body)}));
    EXPECT_EQ(GetWebViewVersion(server.Url("")), row.version) << row.body;
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++asked);
    EXPECT_FALSE(requests.back().Has("Accept-Encoding"));
  }
  EXPECT_EQ(WebViewDownloadUrl(L"http://s", L"webview", L"1.2.3"),
            L"http://s/v2/download/resources?component=webview&version=1.2.3");
}

}  // namespace
