// Tests of the HTTP client layer against the programmable test server: the
// headers it adds, bodies, address admission, answers, failures, downloads,
// progress reports, certificate validation and the JSON helpers.
#include "settings/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/machine.h"
#include "support/host_files.h"
#include "support/machine_queries.h"
#include "support/scoped_machine.h"
#include "support/test_http_server.h"

namespace {

using nlohmann::json;
using testing_support::RecordedRequest;
using testing_support::TestHttpServer;

class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Running()) << server_.StartError(); }
  void TearDown() override { SetHttpTimeoutForTesting(std::chrono::seconds(30)); }

  HttpRequestOptions Get(const std::string& target) {
    HttpRequestOptions options;
    options.url = server_.Url(target);
    options.method = L"GET";
    return options;
  }

  // The single request the server saw; fails the test when it saw another count.
  RecordedRequest OnlyRequest() {
    auto requests = server_.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
  }

  std::wstring Target(const std::wstring& name) {
    std::filesystem::create_directories(machine_.Host(L"C:\\dl"));
    return L"C:\\dl\\" + name;
  }

  testing_support::ScopedMachine machine_;
  TestHttpServer server_{json::array({
      {{"method", "*"}, {"path", "/json"}, {"body", "{\"name\":\"\xEA\xB0\x80\"}"},
       {"headers", {{"Content-Type", "application/json"}}}},
  })};
};

// ---------------------------------------------------------------------------
// Headers: each row of the header table, and the caller-wins rule.

struct HeaderRow {
  const char* what;
  std::function<void(HttpRequestOptions&)> setup;
  const char* header;
  std::vector<std::string> expected;  // every value the server saw under that name; empty: absent
};

void PrintTo(const HeaderRow& row, std::ostream* out) { *out << row.what; }

class HttpHeaderRowTest : public HttpClientTest, public testing::WithParamInterface<HeaderRow> {};

TEST_P(HttpHeaderRowTest, ServerSeesTheHeader) {
  const HeaderRow& row = GetParam();
  HttpRequestOptions options = Get("/json");
  row.setup(options);
  std::wstring body;
  ASSERT_EQ(RequestJson(options, &body, nullptr), 200);
  EXPECT_EQ(OnlyRequest().Values(row.header), row.expected) << row.what;
}

auto Nothing = [](HttpRequestOptions&) {};
auto AcceptJson = [](HttpRequestOptions& o) { o.acceptJson = true; };
auto Compress = [](HttpRequestOptions& o) { o.compress = true; };
auto PostJson = [](HttpRequestOptions& o) {
  o.method = L"POST";
  o.body = ParseJson(L"{\"a\":1}");
};

// The caller's own value of `header`, given after `first`.
std::function<void(HttpRequestOptions&)> CallerSets(const wchar_t* header, const wchar_t* value,
                                                   std::function<void(HttpRequestOptions&)> first = Nothing) {
  return [=](HttpRequestOptions& o) {
    first(o);
    o.headers[header] = value;
  };
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpHeaderRowTest,
    testing::Values(
        HeaderRow{"Content-Type always", Nothing, "Content-Type", {"application/json"}},
        HeaderRow{"User-Agent always", Nothing, "User-Agent", {"KORVANTA NETWORK LIBRARY"}},
        HeaderRow{"Accept only when asked", Nothing, "Accept", {}},
        HeaderRow{"Accept with acceptJson", AcceptJson, "Accept", {"application/json"}},
        HeaderRow{"no Accept-Encoding without compress", Nothing, "Accept-Encoding", {}},
        HeaderRow{"Accept-Encoding with compress", Compress, "Accept-Encoding", {"gzip"}},
        HeaderRow{"Accept-Language from the machine's locale (Korean)", Nothing, "Accept-Language", {"ko"}},
        HeaderRow{"Accept-Language given by the caller's language",
                  [](HttpRequestOptions& o) { o.language = L"de"; }, "Accept-Language", {"de"}},
        HeaderRow{"caller's Content-Type wins", CallerSets(L"Content-Type", L"text/plain"), "Content-Type",
                  {"text/plain"}},
        HeaderRow{"caller's Content-Type wins over a JSON body too",
                  CallerSets(L"Content-Type", L"text/plain", PostJson), "Content-Type", {"text/plain"}},
        HeaderRow{"caller's User-Agent wins", CallerSets(L"User-Agent", L"Custom/1"), "User-Agent", {"Custom/1"}},
        HeaderRow{"caller's Accept wins", CallerSets(L"Accept", L"*/*", AcceptJson), "Accept", {"*/*"}},
        HeaderRow{"caller's Accept-Encoding wins", CallerSets(L"Accept-Encoding", L"identity", Compress),
                  "Accept-Encoding", {"identity"}},
        HeaderRow{"caller's Accept-Language wins over the locale", CallerSets(L"Accept-Language", L"fr"),
                  "Accept-Language", {"fr"}},
        HeaderRow{"other caller headers pass through", CallerSets(L"X-Agent-Id", L"42"), "X-Agent-Id", {"42"}}));

TEST_F(HttpClientTest, CallerHeaderInOtherCaseDoesNotStopTheFixedOne) {
  // "user-agent" is not the exact name "User-Agent": the fixed value is
  // added beside the caller's, and both reach the server.
  HttpRequestOptions options = Get("/json");
  options.headers[L"user-agent"] = L"Mine/2";
  ASSERT_EQ(RequestJson(options, nullptr, nullptr), 200);
  std::string all;
  for (const auto& value : OnlyRequest().Values("User-Agent")) all += value + "|";
  EXPECT_NE(all.find("Mine/2"), std::string::npos) << all;
  EXPECT_NE(all.find("KORVANTA NETWORK LIBRARY"), std::string::npos) << all;
}

TEST_F(HttpClientTest, QueryReachesTheServerAsWritten) {
  ASSERT_EQ(RequestJson(Get("/json?component=agent&version=2.1"), nullptr, nullptr), 200);
  EXPECT_EQ(OnlyRequest().target, "/json?component=agent&version=2.1");
}

TEST(HttpLocaleTest, AcceptLanguageFollowsTheMachineProfile) {
  struct Row {
    std::string locale;
    std::string expected;
  };
  // "abcdefghijk" does not fit the 10-character buffer: the call fails and
  // English is asked for, as for an empty name.
  TestHttpServer server(json::array({{{"path", "/"}, {"body", "{}"}}}));
  ASSERT_TRUE(server.Running()) << server.StartError();
  std::size_t asked = 0;
  for (const Row& row : {Row{"en", "en"}, Row{"ja", "ja"}, Row{"", "en"}, Row{"abcdefghijk", "en"}}) {
    platform::Profile profile = *platform::FindProfile("win10-x64");
    profile.locale = row.locale;
    testing_support::ScopedMachine machine(profile);
    HttpRequestOptions options;
    options.url = server.Url("/");
    options.method = L"GET";
    ASSERT_EQ(RequestJson(options, nullptr, nullptr), 200);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), ++asked);
    EXPECT_EQ(requests.back().Values("Accept-Language"), std::vector<std::string>{row.expected}) << row.locale;
  }
}

// ---------------------------------------------------------------------------
// Request bodies.

struct BodyRow {
  const wchar_t* method;
  const char* body;  // JSON text, nullptr for a null value
  std::string expected;
};

void PrintTo(const BodyRow& row, std::ostream* out) {
  *out << std::string(row.method, row.method + wcslen(row.method)) << " " << (row.body ? row.body : "null");
}

class HttpBodyTest : public HttpClientTest, public testing::WithParamInterface<BodyRow> {};

TEST_P(HttpBodyTest, BodyIsSentOnlyWhenItHasContentAndTheMethodIsNotGet) {
  const BodyRow& row = GetParam();
  server_.SetRoutes(json::array({{{"method", "*"}, {"path", "/json"}, {"body", "{}"}}}));
  HttpRequestOptions options = Get("/json");
  options.method = row.method;
  if (row.body) options.body = ParseJson(platform::Utf8ToWide(row.body));
  ASSERT_EQ(RequestJson(options, nullptr, nullptr), 200);
  RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, std::string(row.method, row.method + wcslen(row.method)));
  EXPECT_EQ(request.body, row.expected);
  if (row.expected.empty()) {
    const std::string length = request.Value("Content-Length");
    EXPECT_TRUE(length.empty() || length == "0") << length;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpBodyTest,
    testing::Values(BodyRow{L"GET", "{\"a\":1}", ""},  // GET never carries a body
                    BodyRow{L"GET", "[1,2]", ""},
                    BodyRow{L"POST", nullptr, ""},     // null body
                    BodyRow{L"POST", "{}", ""},        // no member
                    BodyRow{L"POST", "[]", ""},        // no element
                    BodyRow{L"POST", "\"text\"", ""},  // neither object nor array
                    BodyRow{L"POST", "{\"name\":\"\xEA\xB0\x80\",\"n\":2}", "{\"n\":2,\"name\":\"\xEA\xB0\x80\"}"},
                    BodyRow{L"PUT", "[1,\"x\"]", "[1,\"x\"]"},
                    BodyRow{L"get", "{\"a\":1}", "{\"a\":1}"}));  // only exactly "GET" drops the body

// The exact text of a body as it goes out: compact, members in the byte order
// of their names, numbers and strings written as the agent server has always
// received them.
INSTANTIATE_TEST_SUITE_P(
    Text, HttpBodyTest,
    testing::Values(
        BodyRow{L"POST", "{\"b\":1,\"a\":2,\"Z\":3,\"\xC3\xA9\":4,\"z\":5,\"_\":6}",
                "{\"Z\":3,\"_\":6,\"a\":2,\"b\":1,\"z\":5,\"\xC3\xA9\":4}"},
        BodyRow{L"POST",
                "{ \"o\" : { \"y\" : [ ], \"x\" : { } } ,\n \"a\" : [true, false, null, \"s\", {\"k\": \"v\"}] }",
                R"({"a":[true,false,null,"s",{"k":"v"}],"o":{"x":{},"y":[]}})"},
        BodyRow{L"POST",
                "[0,-0,1.0,0.1,-0.0,1E2,1.5e3,1e-7,2.5,123456789.0,1e17,4.9e-324,1e-400,1.7976931348623157e308]",
                "[0,0,1,0.10000000000000001,-0,100,1500,9.9999999999999995e-08,2.5,123456789,1e+17,"
                "4.9406564584124654e-324,0,1.7976931348623157e+308]"},
        BodyRow{L"POST", "[18446744073709551615,18446744073709551616,-9223372036854775808,-9223372036854775809]",
                "[18446744073709551615,1.8446744073709552e+19,-9223372036854775808,-9.2233720368547758e+18]"},
        BodyRow{L"POST", R"(["\" \\ \/ \b \f \n \r \t", "\u0000\u0001\u001f\u007f", "</script>"])",
                R"(["\" \\ / \b \f \n \r \t","\u0000\u0001\u001F)"
                "\x7F"
                R"(","</script>"])"},
        BodyRow{L"POST", "{\"\\u00e9\":\"\\uAC00\\ud83d\\ude00\",\"k\":\"\xEA\xB0\x80\"}",
                "{\"k\":\"\xEA\xB0\x80\",\"\xC3\xA9\":\"\xEA\xB0\x80\xF0\x9F\x98\x80\"}"},
        BodyRow{L"PUT", R"({"a\u0001\"b\n":{"\u001f":"\/"}})", R"({"a\u0001\"b\n":{"\u001F":"/"}})"}));

// ---------------------------------------------------------------------------
// Address admission: only http:// and https:// reach the network.

TEST_F(HttpClientTest, UpperCaseSchemeIsAdmitted) {
  std::wstring url = server_.Url("/json");
  url.replace(0, 4, L"HTTP");
  HttpRequestOptions options = Get("/json");
  options.url = url;
  EXPECT_EQ(RequestJson(options, nullptr, nullptr), 200);
  EXPECT_EQ(DownloadFile({url, {}, Target(L"upper.json")}), 1);
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(HttpClientTest, OtherSchemesAreRefusedWithoutTraffic) {
  const std::wstring port = std::to_wstring(server_.Port());
  for (const std::wstring& url : {L"ftp://127.0.0.1:" + port + L"/json", L"127.0.0.1:" + port + L"/json",
                                 L"//127.0.0.1:" + port + L"/json", L" http://127.0.0.1:" + port + L"/json",
                                 L"httpx://127.0.0.1:" + port + L"/json", std::wstring(L"http:/x"),
                                 std::wstring()}) {
    HttpRequestOptions options = Get("/json");
    options.url = url;
    std::string errorText = "untouched";
    options.errorText = &errorText;
    std::wstring body = L"old", date = L"old";
    EXPECT_EQ(RequestJson(options, &body, &date), 400) << url.c_str();
    EXPECT_EQ(errorText, "untouched");
    EXPECT_EQ(DownloadFile({url, {}, Target(L"refused.bin")}), 0);
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(HttpClientTest, MalformedOrUnreachableAddressGives400WithErrorText) {
  int deadPort = 0;
  {
    TestHttpServer stopped;  // its port is free again once it has gone
    deadPort = stopped.Port();
  }
  for (const std::wstring& url : {std::wstring(L"http://[::1/json"), std::wstring(L"http://exa mple/x"),
                                 L"http://127.0.0.1:" + std::to_wstring(deadPort) + L"/json"}) {
    HttpRequestOptions options = Get("/json");
    options.url = url;
    std::string errorText;
    options.errorText = &errorText;
    EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400) << url.c_str();
    EXPECT_FALSE(errorText.empty()) << url.c_str();
    EXPECT_EQ(DownloadFile({url, {}, Target(L"bad.bin")}), 0);
  }
}

TEST_F(HttpClientTest, AddressesWithControlCharactersAreRefusedAsMalformed) {
  const std::wstring good = server_.Url("/json");
  for (const std::wstring& url :
       {good + std::wstring(L"\0/other", 7), good + L"\r\nX-Injected: 1", good + L"\tx", good + L"\x7f",
        good + L"\x85", L"http://127.0.0.1\n:" + std::to_wstring(server_.Port()) + L"/json"}) {
    HttpRequestOptions options = Get("/json");
    options.url = url;
    std::string errorText;
    options.errorText = &errorText;
    EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400);
    EXPECT_NE(errorText.find("control character"), std::string::npos) << errorText;
    EXPECT_EQ(DownloadFile({url, {}, Target(L"control.bin")}), 0);
  }
  EXPECT_TRUE(server_.Requests().empty());
}

// ---------------------------------------------------------------------------
// Answers.

TEST_F(HttpClientTest, StatusAndBodyOfTheAnswer) {
  server_.SetRoutes(json::array({
      {{"path", "/ok"}, {"body", "{\"name\":\"\xEA\xB0\x80\"}"}},
      // Decoded as UTF-8 whatever Content-Type claims.
      {{"path", "/latin"}, {"body", "\xEA\xB0\x80"}, {"headers", {{"Content-Type", "text/plain; charset=iso-8859-1"}}}},
      {{"path", "/missing"}, {"status", 404}, {"body", "{\"error\":\"none\"}"}},
      {{"path", "/broken"}, {"status", 503}, {"body", ""}},
  }));
  struct Row {
    const char* target;
    std::uint16_t status;
    std::wstring body;
  };
  for (const Row& row : {Row{"/ok", 200, L"{\"name\":\"\uAC00\"}"}, Row{"/latin", 200, L"\uAC00"},
                         Row{"/missing", 404, L"{\"error\":\"none\"}"}, Row{"/broken", 503, L""}}) {
    std::wstring body = L"old";
    std::string errorText = "untouched";
    HttpRequestOptions options = Get(row.target);
    options.errorText = &errorText;
    EXPECT_EQ(RequestJson(options, &body, nullptr), row.status) << row.target;
    EXPECT_EQ(body, row.body) << row.target;
    EXPECT_EQ(errorText, "untouched") << row.target;
  }
}

TEST_F(HttpClientTest, DateHeaderPresentAndAbsent) {
  server_.SetRoutes(json::array({
      {{"path", "/dated"}, {"body", "{}"}, {"date", "Wed, 09 Dec 2026 07:00:00 GMT"}},
      {{"path", "/undated"}, {"body", "{}"}},
  }));
  std::wstring date = L"old";
  EXPECT_EQ(RequestJson(Get("/dated"), nullptr, &date), 200);
  EXPECT_EQ(date, L"Wed, 09 Dec 2026 07:00:00 GMT");
  EXPECT_EQ(RequestJson(Get("/undated"), nullptr, &date), 200);
  EXPECT_EQ(date, L"");
}

TEST_F(HttpClientTest, GzipAnswerIsDecompressed) {
  const std::string text = "{\"versions\":[\"2.1.0\",\"2.2.0\"],\"note\":\"\xEA\xB0\x80\xEB\x82\x98\"}";
  server_.SetRoutes(json::array({
      {{"path", "/gz"}, {"gzip", true}, {"body", text}, {"headers", {{"Content-Type", "application/json"}}}},
      {{"path", "/gz-chunked"}, {"gzip", true}, {"chunked", true}, {"body", text}},
      {{"path", "/bad-gz"}, {"body", "not gzip at all"}, {"headers", {{"Content-Encoding", "gzip"}}}},
  }));
  for (const char* target : {"/gz", "/gz-chunked"}) {
    HttpRequestOptions options = Get(target);
    options.compress = true;
    std::wstring body;
    EXPECT_EQ(RequestJson(options, &body, nullptr), 200) << target;
    EXPECT_EQ(body, L"{\"versions\":[\"2.1.0\",\"2.2.0\"],\"note\":\"\uAC00\uB098\"}") << target;
  }
  platform::ClearDebugLog();
  std::wstring body = L"old";
  EXPECT_EQ(RequestJson(Get("/bad-gz"), &body, nullptr), 200);
  EXPECT_EQ(body, L"");
  EXPECT_TRUE(testing_support::DebugLogMentions(L"gzip")) << "a damaged gzip answer is reported in the debug output";
}

TEST_F(HttpClientTest, GzipAnswerWithPaddingOrASecondMemberKeepsItsText) {
  server_.SetRoutes(json::array({
      {{"path", "/padded"}, {"gzip", true}, {"body", "{\"update\":\"U\"}"}, {"gzip_padding", 512}},
      {{"path", "/two"}, {"gzip", true}, {"body", "{\"update\":"}, {"gzip_then", "\"U\"}"}, {"chunked", true}},
  }));
  for (const char* target : {"/padded", "/two"}) {
    HttpRequestOptions options = Get(target);
    options.compress = true;
    std::wstring body;
    EXPECT_EQ(RequestJson(options, &body, nullptr), 200) << target;
    EXPECT_EQ(body, L"{\"update\":\"U\"}") << target;
  }
}

TEST_F(HttpClientTest, TimeoutsGive400AndFailedDownload) {
  SetHttpTimeoutForTesting(std::chrono::seconds(1));
  server_.SetRoutes(json::array({{{"path", "/slow"}, {"delay", 3}, {"body_size", 1000}}}));
  HttpRequestOptions options = Get("/slow");
  std::string errorText;
  options.errorText = &errorText;
  EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400);
  EXPECT_FALSE(errorText.empty());

  const std::wstring target = Target(L"slow.bin");
  EXPECT_EQ(DownloadFile({server_.Url("/slow"), {}, target}), 0);
  EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u);
}

// ---------------------------------------------------------------------------
// Answers that never end or drip: a bound on the body, a deadline on the
// whole request.

// One answer of the test server (its route without the path) and what it is.
struct RouteRow {
  const char* what;
  json route;
};

void PrintTo(const RouteRow& row, std::ostream* out) { *out << row.what; }

class HttpUnboundedAnswerTest : public HttpClientTest, public testing::WithParamInterface<RouteRow> {};

TEST_P(HttpUnboundedAnswerTest, FailsAsATransportFailure) {
  json route = GetParam().route;
  route["path"] = "/answer";
  server_.SetRoutes(json::array({route}));
  HttpRequestOptions options = Get("/answer");
  options.compress = true;
  std::string errorText;
  options.errorText = &errorText;
  std::wstring body = L"old";
  EXPECT_EQ(RequestJson(options, &body, nullptr), 400) << GetParam().what;
  EXPECT_FALSE(errorText.empty()) << GetParam().what;
  EXPECT_EQ(body, L"") << GetParam().what;
}

// 10**15 bytes: an answer that does not end while the test runs.
const double kEndless = 1e15;

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpUnboundedAnswerTest,
    testing::Values(
        RouteRow{"endless, with a length", {{"body_size", kEndless}}},
        RouteRow{"endless, chunked", {{"body_size", kEndless}, {"chunked", true}}},
        RouteRow{"endless gzip-encoded body",
                 {{"body_size", kEndless}, {"chunked", true}, {"headers", {{"Content-Encoding", "gzip"}}}}},
        RouteRow{"one byte over 8 MiB", {{"body_size", (8 << 20) + 1}}},
        RouteRow{"one byte over 8 MiB, chunked", {{"body_size", (8 << 20) + 1}, {"chunked", true}}},
        RouteRow{"an error answer over 8 MiB", {{"status", 500}, {"body_size", 9 << 20}}}));

TEST_F(HttpClientTest, AnAnswerOf8MiBIsReadWhole) {
  const std::string text = "{\"pad\":\"" + std::string((8 << 20) - 10, 'p') + "\"}";
  ASSERT_EQ(text.size(), std::size_t{8} << 20);
  const std::filesystem::path file = machine_.Root() / "eight.json";
  std::ofstream(file, std::ios::binary) << text;
  server_.SetRoutes(json::array({{{"path", "/eight"}, {"body_file", file.string()}, {"chunked", true}}}));
  std::wstring body;
  EXPECT_EQ(RequestJson(Get("/eight"), &body, nullptr), 200);
  EXPECT_EQ(body.size(), text.size());
}

// The server sends its answer a byte at a time, each byte well within the
// time-out; the whole request still ends at the deadline.
TEST_F(HttpClientTest, ADrippingAnswerEndsAtTheDeadline) {
  SetHttpTimeoutForTesting(std::chrono::seconds(1));
  const std::string text = "{\"update\":\"http://127.0.0.1/u\"}" + std::string(60, ' ');
  server_.SetRoutes(json::array({
      {{"path", "/chunks"}, {"body", text}, {"chunked", true}, {"drip", {{"bytes", 1}, {"every", 0.1}}}},
      {{"path", "/length"}, {"body", text}, {"drip", {{"bytes", 1}, {"every", 0.1}}}},
      // Each phase alone within the deadline, both together beyond it.
      {{"path", "/late-then-slow"}, {"delay", 0.7}, {"body", text}, {"chunked", true},
       {"drip", {{"bytes", 10}, {"every", 0.1}}}},
  }));
  for (const char* target : {"/chunks", "/length", "/late-then-slow"}) {
    HttpRequestOptions options = Get(target);
    std::string errorText;
    options.errorText = &errorText;
    std::wstring body = L"old";
    EXPECT_EQ(RequestJson(options, &body, nullptr), 400) << target;
    EXPECT_FALSE(errorText.empty()) << target;
    EXPECT_EQ(body, L"") << target;
  }
}

// ---------------------------------------------------------------------------
// Downloads.

TEST_F(HttpClientTest, DownloadWritesTheWholeBody) {
  const std::size_t size = 3 * 1024 * 1024 + 17;  // several pieces, not a multiple of any
  server_.SetRoutes(json::array({{{"path", "/file.bin"}, {"body_size", size}}}));
  const std::wstring target = Target(L"file.bin");
  EXPECT_EQ(DownloadFile({server_.Url("/file.bin"), {{L"X-Token", L"abc"}}, target}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(target)), testing_support::GeneratedBody(size));

  // Only User-Agent (and the caller's own headers) accompany a download.
  RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.Values("User-Agent"), std::vector<std::string>{"KORVANTA NETWORK LIBRARY"});
  EXPECT_EQ(request.Values("X-Token"), std::vector<std::string>{"abc"});
  for (const char* absent : {"Content-Type", "Accept", "Accept-Language", "Accept-Encoding"}) {
    EXPECT_FALSE(request.Has(absent)) << absent;
  }
}

TEST_F(HttpClientTest, DownloadKeepsTheCallersUserAgent) {
  server_.SetRoutes(json::array({{{"path", "/f"}, {"body", "x"}}}));
  EXPECT_EQ(DownloadFile({server_.Url("/f"), {{L"User-Agent", L"Mine"}}, Target(L"ua.bin")}), 1);
  EXPECT_EQ(OnlyRequest().Values("User-Agent"), std::vector<std::string>{"Mine"});
}

class HttpFailedDownloadTest : public HttpClientTest, public testing::WithParamInterface<RouteRow> {};

TEST_P(HttpFailedDownloadTest, ReturnsZeroAndLeavesAnEmptyFile) {
  json route = GetParam().route;
  route["path"] = "/file";
  server_.SetRoutes(json::array({route}));
  const std::wstring target = Target(L"failed.bin");
  {
    std::ofstream(machine_.Host(target)) << "previous content";
  }
  EXPECT_EQ(DownloadFile({server_.Url("/file"), {}, target}), 0) << GetParam().what;
  ASSERT_TRUE(std::filesystem::exists(machine_.Host(target)));
  EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpFailedDownloadTest,
    testing::Values(RouteRow{"404 with a body", {{"status", 404}, {"body", "<html>not found</html>"}}},
                    RouteRow{"500 without a body", {{"status", 500}, {"body", ""}}},
                    RouteRow{"200 cut short", {{"body_size", 200000}, {"truncate", 100000}}},
                    RouteRow{"200 cut in the first piece", {{"body_size", 5000}, {"truncate", 10}}},
                    RouteRow{"200 with no body at all", {{"body_size", 5000}, {"truncate", 0}}},
                    RouteRow{"200 reset after the headers", {{"body_size", 5000}, {"reset", true}}},
                    RouteRow{"chunked 200 cut short",
                             {{"body_size", 200000}, {"chunked", true}, {"truncate", 70000}}}));

TEST_F(HttpClientTest, DownloadToAPathWithoutDriveFailsBeforeSending) {
  platform::ClearDebugLog();
  EXPECT_EQ(DownloadFile({server_.Url("/json"), {}, L"Q:\\nowhere\\f.bin"}), 0);
  EXPECT_EQ(DownloadFile({server_.Url("/json"), {}, L"relative\\f.bin"}), 0);
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(testing_support::DebugLogMentions(L"Q:\\nowhere\\f.bin"));
  EXPECT_TRUE(testing_support::DebugLogHas(L"DownloadFile: no such drive for Q:\\nowhere\\f.bin"));
  EXPECT_TRUE(testing_support::DebugLogHas(L"DownloadFile: no such drive for relative\\f.bin"));
}

TEST_F(HttpClientTest, DownloadToAFileThatCannotBeOpenedFailsBeforeSending) {
  const std::wstring target = Target(L"denied.bin");
  platform::InjectFault({"CreateFile", target, win::ERROR_ACCESS_DENIED, -1});
  EXPECT_EQ(DownloadFile({server_.Url("/json"), {}, target}), 0);
  platform::ClearFaults();
  // A folder is no file either.
  EXPECT_EQ(DownloadFile({server_.Url("/json"), {}, L"C:\\dl"}), 0);
  EXPECT_TRUE(server_.Requests().empty());
}

// ---------------------------------------------------------------------------
// What reaches the target file while a download runs. The server sends two
// chunks of 64 KiB and holds the rest until the test releases it: by then the
// first chunk has gone wherever the download puts it.

constexpr std::size_t kHeldChunk = 64 * 1024;
std::function<void()> g_whileHeld;
void RunWhileHeld(std::int32_t, const wchar_t*, std::int32_t, std::int32_t received, std::int32_t) {
  if (g_whileHeld && received >= static_cast<std::int32_t>(2 * kHeldChunk)) {
    auto action = std::move(g_whileHeld);
    g_whileHeld = nullptr;
    action();
  }
}

class HttpHeldDownloadTest : public HttpClientTest {
 protected:
  // Routes a held answer of `status`, 3 chunks long.
  void Hold(int status) {
    server_.SetRoutes(json::array({{{"path", "/held"},
                                    {"status", status},
                                    {"body_size", 3 * kHeldChunk},
                                    {"chunked", true},
                                    {"hold_after", 2 * kHeldChunk},
                                    {"hold_until", release_.string()}}}));
  }
  // Runs the download; `atHold` runs while the server holds the answer.
  std::int32_t Download(std::function<void()> atHold) {
    g_whileHeld = [this, atHold] {
      atHold();
      std::ofstream(release_).put('\n');
    };
    const std::int32_t result = DownloadFile({server_.Url("/held"), {}, target_}, RunWhileHeld);
    EXPECT_FALSE(g_whileHeld) << "the server did not hold the answer";
    g_whileHeld = nullptr;
    return result;
  }
  std::uintmax_t TargetSize() { return std::filesystem::file_size(machine_.Host(target_)); }

  const std::filesystem::path release_ = machine_.Root() / "release";
  const std::wstring target_ = Target(L"held.bin");
};

TEST_F(HttpHeldDownloadTest, TheBodyOfA200AnswerIsWrittenAsItArrives) {
  Hold(200);
  std::uintmax_t sizeWhileHeld = 0;
  EXPECT_EQ(Download([&] { sizeWhileHeld = TargetSize(); }), 1);
  EXPECT_GE(sizeWhileHeld, kHeldChunk);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(target_)), testing_support::GeneratedBody(3 * kHeldChunk));
}

TEST_F(HttpHeldDownloadTest, TheBodyOfAnyOtherAnswerNeverReachesTheFile) {
  for (int status : {404, 500}) {
    std::filesystem::remove(release_);
    Hold(status);
    std::uintmax_t sizeWhileHeld = 1;
    EXPECT_EQ(Download([&] { sizeWhileHeld = TargetSize(); }), 0) << status;
    EXPECT_EQ(sizeWhileHeld, 0u) << status;
    EXPECT_EQ(TargetSize(), 0u) << status;
  }
}

TEST_F(HttpHeldDownloadTest, ADiskThatFillsUpFailsTheDownloadAndLeavesTheFileEmpty) {
  Hold(200);
  platform::ClearDebugLog();
  EXPECT_EQ(Download([&] { platform::InjectFault({"WriteFile", target_, win::ERROR_DISK_FULL, -1}); }), 0);
  platform::ClearFaults();
  EXPECT_EQ(TargetSize(), 0u);
  EXPECT_TRUE(testing_support::DebugLogMentions(L"error 112")) << "the write's error is in the debug output";
}

TEST_F(HttpClientTest, ADiskThatIsFullFromTheStartFailsTheDownload) {
  server_.SetRoutes(json::array({{{"path", "/f"}, {"body_size", 5000}}}));
  const std::wstring target = Target(L"full.bin");
  platform::InjectFault({"WriteFile", target, win::ERROR_HANDLE_DISK_FULL, -1});
  EXPECT_EQ(DownloadFile({server_.Url("/f"), {}, target}), 0);
  platform::ClearFaults();
  EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u);
}

// ---------------------------------------------------------------------------
// The stall rule: a download may take long, but each window of the time-out
// (shortened here to a second) must bring at least a kilobyte.

TEST_F(HttpClientTest, ADownloadThatStallsFailsAndOneThatFlowsSlowlyDoesNot) {
  SetHttpTimeoutForTesting(std::chrono::seconds(1));
  server_.SetRoutes(json::array({
      {{"path", "/stalls"}, {"body_size", 100}, {"chunked", true}, {"drip", {{"bytes", 1}, {"every", 0.1}}}},
      {{"path", "/slow"}, {"body_size", 40960}, {"chunked", true}, {"drip", {{"bytes", 4096}, {"every", 0.2}}}},
  }));
  const std::wstring target = Target(L"stall.bin");
  platform::ClearDebugLog();
  EXPECT_EQ(DownloadFile({server_.Url("/stalls"), {}, target}), 0);
  EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u);
  EXPECT_TRUE(testing_support::DebugLogMentions(L"fewer than 1024 bytes arrived in 1 seconds"));

  EXPECT_EQ(DownloadFile({server_.Url("/slow"), {}, target}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(target)), testing_support::GeneratedBody(40960));
}

// ---------------------------------------------------------------------------
// What a download met, for the callers that need more than its result, and
// the bound on its body.

struct OutcomeRow {
  const char* what;
  json route;  // served at /file; null for no route at all
  std::int32_t result;
  bool sent;
  std::uint16_t status;
};

void PrintTo(const OutcomeRow& row, std::ostream* out) { *out << row.what; }

class HttpDownloadOutcomeTest : public HttpClientTest, public testing::WithParamInterface<OutcomeRow> {};

TEST_P(HttpDownloadOutcomeTest, TellsWhatTheHostAnswered) {
  const OutcomeRow& row = GetParam();
  json route = row.route;
  route["path"] = "/file";
  server_.SetRoutes(json::array({route}));
  DownloadOutcome outcome;
  outcome.status = 999;
  EXPECT_EQ(DownloadFileWithOutcome({server_.Url("/file"), {}, Target(L"outcome.bin")}, nullptr, 0, &outcome),
            row.result);
  EXPECT_EQ(outcome.requestSent, row.sent);
  EXPECT_EQ(outcome.status, row.status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HttpDownloadOutcomeTest,
    testing::Values(OutcomeRow{"whole 200", {{"body_size", 3000}}, 1, true, 200},
                    OutcomeRow{"404", {{"status", 404}, {"body", "none"}}, 0, true, 404},
                    OutcomeRow{"500 without a body", {{"status", 500}, {"body", ""}}, 0, true, 500},
                    OutcomeRow{"200 cut short", {{"body_size", 200000}, {"truncate", 1000}}, 0, true, 200},
                    OutcomeRow{"200 reset after the headers", {{"body_size", 5000}, {"reset", true}}, 0, true, 200}));

TEST_F(HttpClientTest, OutcomeOfDownloadsThatGetNoAnswer) {
  const std::wstring target = Target(L"none.bin");
  DownloadOutcome outcome;
  int deadPort = 0;
  {
    TestHttpServer stopped;
    deadPort = stopped.Port();
  }
  EXPECT_EQ(DownloadFileWithOutcome({L"http://127.0.0.1:" + std::to_wstring(deadPort) + L"/f", {}, target}, nullptr,
                                    0, &outcome),
            0);
  EXPECT_TRUE(outcome.requestSent);
  EXPECT_EQ(outcome.status, 0);

  platform::InjectFault({"CreateFile", target, win::ERROR_ACCESS_DENIED, -1});
  EXPECT_EQ(DownloadFileWithOutcome({server_.Url("/json"), {}, target}, nullptr, 0, &outcome), 0);
  platform::ClearFaults();
  EXPECT_FALSE(outcome.requestSent);
  EXPECT_EQ(outcome.status, 0);

  EXPECT_EQ(DownloadFileWithOutcome({L"ftp://127.0.0.1/f", {}, target}, nullptr, 0, &outcome), 0);
  EXPECT_FALSE(outcome.requestSent);
  EXPECT_TRUE(server_.Requests().empty());
}

// The body of a refusal is read only so far: an error page that never ends
// cannot keep a download running.
TEST_F(HttpClientTest, AnEndlessRefusalEndsItsDownload) {
  server_.SetRoutes(json::array({
      {{"path", "/chunked"}, {"status", 404}, {"body_size", 1e15}, {"chunked", true}},
      {{"path", "/length"}, {"status", 503}, {"body_size", 1e15}},
  }));
  const std::wstring target = Target(L"refusal.bin");
  for (const char* path : {"/chunked", "/length"}) {
    DownloadOutcome outcome;
    EXPECT_EQ(DownloadFileWithOutcome({server_.Url(path), {}, target}, nullptr, 0, &outcome), 0) << path;
    EXPECT_EQ(outcome.status, std::string(path) == "/chunked" ? 404 : 503) << path;
    EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u) << path;
  }
}

TEST_F(HttpClientTest, ABoundedDownloadStopsPastItsBound) {
  const std::uint64_t bound = 1 << 20;
  server_.SetRoutes(json::array({
      {{"path", "/exact"}, {"body_size", bound}},
      {{"path", "/exact-chunked"}, {"body_size", bound}, {"chunked", true}},
      {{"path", "/over"}, {"body_size", bound + 1}},
      {{"path", "/over-chunked"}, {"body_size", bound + 1}, {"chunked", true}},
      {{"path", "/endless"}, {"body_size", 1e15}},
      {{"path", "/endless-chunked"}, {"body_size", 1e15}, {"chunked", true}},
      {{"path", "/endless-404"}, {"status", 404}, {"body_size", 1e15}, {"chunked", true}},
  }));
  const std::wstring target = Target(L"bounded.bin");
  for (const char* path : {"/exact", "/exact-chunked"}) {
    EXPECT_EQ(DownloadFileWithOutcome({server_.Url(path), {}, target}, nullptr, bound, nullptr), 1) << path;
    EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), bound) << path;
  }
  for (const char* path : {"/over", "/over-chunked", "/endless", "/endless-chunked", "/endless-404"}) {
    DownloadOutcome outcome;
    EXPECT_EQ(DownloadFileWithOutcome({server_.Url(path), {}, target}, nullptr, bound, &outcome), 0) << path;
    EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 0u) << path;
    EXPECT_TRUE(outcome.requestSent) << path;
  }
}

// ---------------------------------------------------------------------------
// Progress reports.

struct ProgressCall {
  std::int32_t kind, total, received, finished;
  std::wstring path;
};
std::vector<ProgressCall> g_calls;
void RecordProgress(std::int32_t kind, const wchar_t* path, std::int32_t total, std::int32_t received,
                    std::int32_t finished) {
  g_calls.push_back({kind, total, received, finished, path});
}

TEST_F(HttpClientTest, ProgressReportsSizeAndEnd) {
  const int size = 1024 * 1024 + 5;
  server_.SetRoutes(json::array({
      {{"path", "/big"}, {"body_size", size}},
      {{"path", "/chunked"}, {"body_size", 300000}, {"chunked", true}},
      {{"path", "/missing"}, {"status", 404}, {"body", "gone"}},
      {{"path", "/empty"}, {"body", ""}},
  }));
  const std::wstring target = Target(L"progress.bin");

  g_calls.clear();
  ASSERT_EQ(DownloadFile({server_.Url("/big"), {}, target}, RecordProgress), 1);
  ASSERT_GE(g_calls.size(), 2u);
  std::int32_t previous = 0;
  for (std::size_t i = 0; i < g_calls.size(); ++i) {
    const ProgressCall& call = g_calls[i];
    EXPECT_EQ(call.kind, 1);
    EXPECT_EQ(call.path, target);
    EXPECT_EQ(call.total, size) << "total is the Content-Length";
    EXPECT_GT(call.received, 0);
    EXPECT_GE(call.received, previous);
    EXPECT_EQ(call.finished, i + 1 == g_calls.size() ? 1 : 0) << i;
    previous = call.received;
  }
  EXPECT_EQ(g_calls.back().received, size);

  // Without a Content-Length the size is unknown.
  g_calls.clear();
  ASSERT_EQ(DownloadFile({server_.Url("/chunked"), {}, target}, RecordProgress), 1);
  EXPECT_EQ(std::filesystem::file_size(machine_.Host(target)), 300000u);
  ASSERT_FALSE(g_calls.empty());
  EXPECT_EQ(g_calls.back().finished, 1);
  EXPECT_EQ(g_calls.back().received, 300000);
  EXPECT_EQ(g_calls.back().total, 0);

  // A refused download reports what arrived, with no size.
  g_calls.clear();
  ASSERT_EQ(DownloadFile({server_.Url("/missing"), {}, target}, RecordProgress), 0);
  ASSERT_FALSE(g_calls.empty());
  for (const auto& call : g_calls) EXPECT_EQ(call.total, 0);
  EXPECT_EQ(g_calls.back().finished, 1);

  // Nothing arrived: no report at all.
  g_calls.clear();
  ASSERT_EQ(DownloadFile({server_.Url("/empty"), {}, target}, RecordProgress), 1);
  EXPECT_TRUE(g_calls.empty());
}

// ---------------------------------------------------------------------------
// Certificates: validated for requests (system store plus the machine's
// trusted roots), not for downloads.

TEST(HttpTlsTest, RequestsValidateCertificatesDownloadsDoNot) {
  testing_support::ScopedMachine machine;
  testing_support::TestCertificates certificates;
  std::string error;
  ASSERT_TRUE(testing_support::MakeTestCertificates(machine.Root() / "pki", &certificates, &error)) << error;
  TestHttpServer server(json::array({{{"path", "/json"}, {"body", "{\"secure\":true}"}}}), &certificates);
  ASSERT_TRUE(server.Running()) << server.StartError();

  HttpRequestOptions options;
  options.url = server.Url("/json");
  options.method = L"GET";
  std::string errorText;
  options.errorText = &errorText;
  EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400) << "the test CA is not trusted yet";
  EXPECT_FALSE(errorText.empty());

  std::filesystem::create_directories(machine.Host(L"C:\\dl"));
  EXPECT_EQ(DownloadFile({server.Url("/json"), {}, L"C:\\dl\\secure.json"}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine.Host(L"C:\\dl\\secure.json")), "{\"secure\":true}");

  {
    std::ofstream roots(platform::Machine::Current().TrustedRootsFile(), std::ios::app);
    roots << testing_support::ReadHostFile(certificates.caFile);
  }
  errorText.clear();
  std::wstring body;
  EXPECT_EQ(RequestJson(options, &body, nullptr), 200) << errorText;
  EXPECT_EQ(body, L"{\"secure\":true}");
}

// ---------------------------------------------------------------------------
// IPv6 literals: the server on ::1, its address written "[::1]".

TEST(HttpIpv6Test, RequestsAndDownloadsReachAServerOnAnIpv6Literal) {
  testing_support::ScopedMachine machine;
  TestHttpServer server(json::array({{{"path", "/json"}, {"body", "{\"v6\":true}"}}}), nullptr, "::1");
  ASSERT_TRUE(server.Running()) << server.StartError();
  const std::wstring url = server.Url("/json?a=1");
  ASSERT_EQ(url.rfind(L"http://[::1]:", 0), 0u);

  HttpRequestOptions options;
  options.url = url;
  options.method = L"GET";
  std::string errorText;
  options.errorText = &errorText;
  std::wstring body;
  EXPECT_EQ(RequestJson(options, &body, nullptr), 200) << errorText;
  EXPECT_EQ(body, L"{\"v6\":true}");
  std::filesystem::create_directories(machine.Host(L"C:\\dl"));
  EXPECT_EQ(DownloadFile({url, {}, L"C:\\dl\\v6.json"}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine.Host(L"C:\\dl\\v6.json")), "{\"v6\":true}");

  // The server sees the address as written, brackets and port included.
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.Values("Host"), std::vector<std::string>{"[::1]:" + std::to_string(server.Port())});
    EXPECT_EQ(request.target, "/json?a=1");
  }

  // A caller's own Host header is kept.
  options.headers[L"Host"] = L"agent.example";
  EXPECT_EQ(RequestJson(options, &body, nullptr), 200) << errorText;
  EXPECT_EQ(server.Requests().back().Values("Host"), std::vector<std::string>{"agent.example"});
}

// A secure server on ::1: requests check its certificate against the address
// (a certificate for other addresses is refused), downloads do not check.
TEST(HttpIpv6Test, CertificatesOfAnIpv6LiteralAreCheckedAgainstTheAddress) {
  testing_support::ScopedMachine machine;
  std::filesystem::create_directories(machine.Host(L"C:\\dl"));
  struct Row {
    const char* subjectAltName;
    std::uint16_t trustedStatus;
  };
  for (const Row& row : {Row{"IP:127.0.0.1,IP:::1,DNS:localhost", 200}, Row{"IP:127.0.0.1,DNS:localhost", 400},
                         Row{"DNS:localhost", 400}}) {
    testing_support::TestCertificates certificates;
    std::string error;
    const std::filesystem::path folder = machine.Root() / ("pki-" + std::to_string(row.trustedStatus) + row.subjectAltName);
    ASSERT_TRUE(testing_support::MakeTestCertificates(folder, &certificates, &error, row.subjectAltName)) << error;
    TestHttpServer server(json::array({{{"path", "/json"}, {"body", "{\"secure\":6}"}}}), &certificates, "::1");
    ASSERT_TRUE(server.Running()) << server.StartError();

    HttpRequestOptions options;
    options.url = server.Url("/json");
    options.method = L"GET";
    std::string errorText;
    options.errorText = &errorText;
    std::filesystem::remove(platform::Machine::Current().TrustedRootsFile());
    EXPECT_EQ(RequestJson(options, nullptr, nullptr), 400) << "the test CA is not trusted yet";
    EXPECT_EQ(DownloadFile({server.Url("/json"), {}, L"C:\\dl\\secure6.json"}), 1) << row.subjectAltName;
    EXPECT_EQ(testing_support::ReadHostFile(machine.Host(L"C:\\dl\\secure6.json")), "{\"secure\":6}");

    std::ofstream(platform::Machine::Current().TrustedRootsFile()) << testing_support::ReadHostFile(certificates.caFile);
    errorText.clear();
    std::wstring body;
    EXPECT_EQ(RequestJson(options, &body, nullptr), row.trustedStatus) << row.subjectAltName << ": " << errorText;
    EXPECT_EQ(body, row.trustedStatus == 200 ? L"{\"secure\":6}" : L"") << row.subjectAltName;
  }
}

// ---------------------------------------------------------------------------
// JSON helpers.

TEST(HttpJsonTest, ParseJson) {
  testing_support::ScopedMachine machine;
  EXPECT_EQ(ParseJson(L"{\"a\":[1,2],\"b\":\"\uAC00\"}").at("b").get<std::string>(), "\xEA\xB0\x80");
  EXPECT_TRUE(ParseJson(L"[]").is_array());
  for (const wchar_t* bad : {L"", L"{", L"{\"a\":}", L"[1,]", L"nul", L"{} trailing"}) {
    platform::ClearDebugLog();
    EXPECT_TRUE(ParseJson(bad).is_null()) << bad;
    EXPECT_FALSE(platform::ReadDebugLog().empty()) << "the parser's message goes to the debug output: " << bad;
  }
}

TEST(HttpJsonTest, JsonToStringAndJsonMember) {
  testing_support::ScopedMachine machine;
  const JsonValue object = JsonValue::parse("{\"name\":\"\xEA\xB0\x80\",\"n\":3,\"inner\":{\"x\":\"y\"}}");
  EXPECT_EQ(JsonToString(JsonMember(object, L"name")), L"\uAC00");
  EXPECT_EQ(JsonToString(JsonMember(JsonMember(object, L"inner"), L"x")), L"y");
  EXPECT_EQ(JsonMember(object, L"n").get<int>(), 3);
  EXPECT_EQ(JsonToString(JsonMember(object, L"n")), L"") << "a number is no string";
  EXPECT_EQ(JsonToString(object), L"");
  EXPECT_TRUE(JsonMember(object, L"missing").is_null());
  EXPECT_TRUE(JsonMember(object, L"Name").is_null()) << "member names are case-sensitive";
  for (const char* other : {"[1,2]", "\"name\"", "3", "true", "null"}) {
    EXPECT_TRUE(JsonMember(JsonValue::parse(other), L"name").is_null()) << other;
  }
}

}  // namespace
