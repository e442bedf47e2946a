// The HTTP layer against answers a CDN or an attacker may give: redirects
// (followed by the installer's own rules, the final body written), heads
// that never end, slow but steady links, and gzip answers that inflate far
// beyond what arrived.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "settings/http_client.h"
#include "settings/http_exchange.h"
#include "support/host_files.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"

namespace {

using nlohmann::json;
using testing_support::TestHttpServer;

json Redirect(int status, const std::string& location) {
  return {{"status", status}, {"headers", {{"Location", location}}}, {"body", ""}};
}

json At(const std::string& path, json route) {
  route["path"] = path;
  return route;
}

class HttpHostileAnswerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Running()) << server_.StartError();
    std::filesystem::create_directories(machine_.Host(L"C:\\dl"));
  }
  void TearDown() override { SetHttpTimeoutForTesting(std::chrono::seconds(30)); }

  std::wstring Url(const std::string& target) const { return server_.Url(target); }
  std::string Downloaded() const { return testing_support::ReadHostFile(machine_.Host(kTarget)); }

  const std::wstring kTarget = L"C:\\dl\\file.bin";
  testing_support::ScopedMachine machine_;
  TestHttpServer server_;
};

// ---------------------------------------------------------------------------
// Redirects: a few hops are followed and the final 200 body is what lands in
// the file; anything else is a failed download with an empty file.

struct RedirectRow {
  const char* what;
  json routes;          // the chain starts at /start; the file is /files/file.bin
  std::int32_t result;  // of DownloadFile
  std::size_t requests;  // the server saw this many
};

void PrintTo(const RedirectRow& row, std::ostream* out) { *out << row.what; }

json ChainOf(int hops) {
  json routes = json::array({At("/files/file.bin", {{"body_size", 70000}})});
  for (int hop = 0; hop < hops; ++hop) {
    const std::string from = hop == 0 ? "/start" : "/hop" + std::to_string(hop);
    const std::string to = hop + 1 == hops ? "/files/file.bin" : "/hop" + std::to_string(hop + 1);
    routes.push_back(At(from, Redirect(302, to)));
  }
  return routes;
}

class HttpRedirectTest : public HttpHostileAnswerTest, public testing::WithParamInterface<RedirectRow> {};

TEST_P(HttpRedirectTest, OnlyTheFinalBodyOfAFollowedChainIsWritten) {
  const RedirectRow& row = GetParam();
  server_.SetRoutes(row.routes);
  DownloadOutcome outcome;
  EXPECT_EQ(DownloadFileWithOutcome({Url("/start"), {}, kTarget}, nullptr, 0, &outcome), row.result);
  EXPECT_EQ(Downloaded(), row.result == 1 ? testing_support::GeneratedBody(70000) : std::string());
  EXPECT_EQ(server_.Requests().size(), row.requests);
  EXPECT_TRUE(outcome.requestSent);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpRedirectTest,
    testing::Values(
        RedirectRow{"302 to an absolute path", ChainOf(1), 1, 2},
        RedirectRow{"five hops", ChainOf(kMaxHttpRedirects), 1, kMaxHttpRedirects + 1},
        RedirectRow{"six hops are too many", ChainOf(kMaxHttpRedirects + 1), 0, kMaxHttpRedirects + 1},
        RedirectRow{"301, 303, 307 and 308 are followed too",
                    json::array({At("/start", Redirect(301, "/a")), At("/a", Redirect(303, "/b")),
                                 At("/b", Redirect(307, "/c")), At("/c", Redirect(308, "/files/file.bin")),
                                 At("/files/file.bin", {{"body_size", 70000}})}),
                    1, 5},
        RedirectRow{"a relative location resolves beside the last segment",
                    json::array({At("/files/start", Redirect(302, "file.bin")),
                                 At("/start", Redirect(302, "/files/start")),
                                 At("/files/file.bin", {{"body_size", 70000}})}),
                    1, 3},
        RedirectRow{"a loop ends at the bound", json::array({At("/start", Redirect(302, "/start"))}), 0,
                    kMaxHttpRedirects + 1},
        RedirectRow{"another scheme is refused", json::array({At("/start", Redirect(302, "ftp://127.0.0.1/f"))}), 0,
                    1},
        RedirectRow{"a redirect without a location is a refusal",
                    json::array({At("/start", {{"status", 302}, {"body", "moved"}})}), 0, 1}));

TEST_F(HttpHostileAnswerTest, AnAbsoluteLocationOnAnotherServerIsFollowedWithTheSameRequest) {
  TestHttpServer other(json::array({At("/component.dll", {{"body_size", 70000}})}));
  ASSERT_TRUE(other.Running()) << other.StartError();
  server_.SetRoutes(json::array({At("/start", Redirect(302, platform::WideToUtf8(other.Url("/component.dll"))))}));
  EXPECT_EQ(DownloadFile({Url("/start"), {{L"X-Agent-Id", L"42"}}, kTarget}), 1);
  EXPECT_EQ(Downloaded(), testing_support::GeneratedBody(70000));
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].Value("User-Agent"), "KORVANTA NETWORK LIBRARY");
  EXPECT_EQ(other.Requests()[0].Value("X-Agent-Id"), "42");
}

TEST_F(HttpHostileAnswerTest, RequestsFollowRedirectsAndKeepTheirBoundAcrossThem) {
  server_.SetRoutes(json::array({
      At("/api", Redirect(302, "/v2/api")),
      At("/v2/api", {{"body", "{\"update\":\"U\"}"}}),
      At("/endless", Redirect(302, "/endless-body")),
      At("/endless-body", {{"body_size", 1e15}}),
  }));
  HttpRequestOptions options;
  options.method = L"GET";
  options.url = Url("/api");
  std::wstring body;
  EXPECT_EQ(RequestJson(options, &body, nullptr), 200);
  EXPECT_EQ(body, L"{\"update\":\"U\"}");

  options.url = Url("/endless");
  std::string errorText;
  options.errorText = &errorText;
  EXPECT_EQ(RequestJson(options, &body, nullptr), 400);
  EXPECT_NE(errorText.find("larger than 8388608 bytes"), std::string::npos) << errorText;
}

TEST(HttpRedirectDowngradeTest, FromHttpsDownToHttpIsRefused) {
  testing_support::ScopedMachine machine;
  testing_support::TestCertificates certificates;
  std::string error;
  ASSERT_TRUE(testing_support::MakeTestCertificates(machine.Root() / "pki", &certificates, &error)) << error;
  TestHttpServer plain(json::array({At("/file.bin", {{"body", "plain"}})}));
  TestHttpServer secure(json::array({At("/start", Redirect(302, platform::WideToUtf8(plain.Url("/file.bin"))))}),
                        &certificates);
  ASSERT_TRUE(plain.Running() && secure.Running()) << plain.StartError() << secure.StartError();
  std::filesystem::create_directories(machine.Host(L"C:\\dl"));
  platform::ClearDebugLog();
  EXPECT_EQ(DownloadFile({secure.Url("/start"), {}, L"C:\\dl\\file.bin"}), 0);
  EXPECT_TRUE(plain.Requests().empty());
  EXPECT_TRUE(testing_support::DebugLogMentions(L"from https:// down to http://"));
}

// ---------------------------------------------------------------------------
// A head that never ends fails at the transport's bound, not at the deadline
// and not when memory runs out.

TEST_F(HttpHostileAnswerTest, AnEndlessHeaderLineFailsBothCallsAtTheHeadBound) {
  server_.SetRoutes(json::array({At("/endless", {{"endless_header", true}})}));
  HttpRequestOptions options;
  options.method = L"GET";
  options.url = Url("/endless");
  std::string errorText;
  options.errorText = &errorText;
  EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400);
  EXPECT_NE(errorText.find("header block is larger than allowed"), std::string::npos) << errorText;

  platform::ClearDebugLog();
  DownloadOutcome outcome;
  EXPECT_EQ(DownloadFileWithOutcome({Url("/endless"), {}, kTarget}, nullptr, 0, &outcome), 0);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(Downloaded(), "");
  EXPECT_TRUE(testing_support::DebugLogMentions(L"header block is larger than allowed"));
}

// ---------------------------------------------------------------------------
// A slow but steady link: far above the stall rule's kilobyte per window
// (shortened to a second here), so the download completes, with a length
// and without one.

TEST_F(HttpHostileAnswerTest, ASlowSteadyLinkCompletes) {
  const json drip = {{"bytes", 256}, {"every", 0.1}};  // 2.5 KB/s
  server_.SetRoutes(json::array({
      At("/length", {{"body_size", 6000}, {"drip", drip}}),
      At("/close", {{"body_size", 6000}, {"drip", drip}, {"no_length", true}}),
  }));
  SetHttpTimeoutForTesting(std::chrono::seconds(1));
  for (const char* path : {"/length", "/close"}) {
    EXPECT_EQ(DownloadFile({Url(path), {}, kTarget}), 1) << path;
    EXPECT_EQ(Downloaded(), testing_support::GeneratedBody(6000)) << path;
  }
}

// ---------------------------------------------------------------------------
// gzip: the inflated answer has the bound of the answer on the wire.

TEST_F(HttpHostileAnswerTest, AGzipAnswerThatInflatesPast8MiBGivesNoText) {
  const std::string member = "{\"mqtt\":\"" + std::string((9 << 20), 'm') + "\"}";
  const std::filesystem::path file = machine_.Root() / "inflates.json";
  testing_support::WriteHostFile(file, member);
  server_.SetRoutes(json::array({At("/gz", {{"body_file", file.string()}, {"gzip", true}})}));
  HttpRequestOptions options;
  options.method = L"GET";
  options.url = Url("/gz");
  options.compress = true;
  std::wstring body = L"old";
  platform::ClearDebugLog();
  EXPECT_EQ(RequestJson(options, &body, nullptr), 200);
  EXPECT_EQ(body, L"");
  EXPECT_TRUE(testing_support::DebugLogMentions(L"expands beyond 8388608 bytes"));
}

}  // namespace
