// The installer's HTTP layer (settings/http_client) on the system's WinHTTP
// against the loopback test servers: the status a failed request or download
// maps to, JSON and gzip answers as the agent server sends them, downloads
// streamed to a file whose MD5 the installer then checks, and the user agent
// every call announces. How WinHTTP itself answers is tested with the
// platform (tests/windows/platform/winhttp_test.cpp).
#include "settings/http_client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/codepage.h"
#include "system/md5_checksum.h"
#include "windows/platform/temp_folder.h"
#include "windows/product/test_servers.h"

namespace {

using namespace testing_windows;
using nlohmann::json;

const char* const kUserAgent = "KORVANTA NETWORK LIBRARY";

// The file's bytes; "(missing)" when it cannot be opened.
std::string FileBytes(const std::wstring& path) {
  std::FILE* file = win::_wfopen(path, L"rb");
  if (!file) return "(missing)";
  std::string bytes;
  char piece[65536];
  for (std::size_t read; (read = std::fread(piece, 1, sizeof piece, file)) > 0;) bytes.append(piece, read);
  std::fclose(file);
  return bytes;
}

std::uint16_t Get(const std::wstring& url, std::wstring* body, std::string* error = nullptr, bool compress = false) {
  HttpRequestOptions options;
  options.url = url;
  options.method = L"GET";
  options.errorText = error;
  options.compress = compress;
  return RequestJson(options, body, nullptr);
}

TEST(ProductHttp, RequestsGiveTheServersStatusOr400WhenNoAnswerCame) {
  ServeRoutes(json::array({{{"path", "/teapot"}, {"status", 418}, {"body", "short and stout"}}}));
  std::wstring body = L"stale";
  EXPECT_EQ(Get(HttpUrl(L"/teapot"), &body), 418);
  EXPECT_EQ(body, L"short and stout");  // the body of any answer is read
  EXPECT_EQ(Get(HttpUrl(L"/nothing-here"), &body), 404);

  std::string error;
  EXPECT_EQ(Get(ClosedUrl(L"/v2/versions"), &body, &error), 400);
  EXPECT_EQ(body, L"");
  EXPECT_FALSE(error.empty()) << "a request that got no answer says why";

}

TEST(ProductHttp, AnAnswerThatBreaksOffBeforeItsAnnouncedLengthGives400) {
  // Wine's WinHTTP reads such a body as one that ended (Windows' fails the
  // read); the installer must not take the part for the whole answer.
  ServeRoutes(json::array({{{"path", "/cut"}, {"status", 200}, {"body_size", 100000}, {"truncate", 1000}},
                           {{"path", "/empty"}, {"status", 200}, {"body_size", 5000}, {"truncate", 0}},
                           {{"path", "/reset"}, {"status", 200}, {"body_size", 100000}, {"reset", true}}}));
  for (const wchar_t* path : {L"/cut", L"/empty", L"/reset"}) {
    std::wstring body = L"stale";
    std::string error;
    EXPECT_EQ(Get(HttpUrl(path), &body, &error), 400) << platform::WideToUtf8(path);
    EXPECT_TRUE(body.empty()) << platform::WideToUtf8(path) << ": " << body.size() << " characters taken";
    EXPECT_FALSE(error.empty()) << platform::WideToUtf8(path);
  }
}

TEST(ProductHttp, JsonAnswersAreReadAsUtf8AndParsed) {
  // The agent server's answer, with text beyond ASCII in it and a Date.
  ServeRoutes(json::array({{{"path", "/v2/agent-request-urls"},
                            {"status", 200},
                            {"headers", {{"Content-Type", "application/json"}}},
                            {"date", "Wed, 09 Dec 2026 07:00:00 GMT"},
                            {"body", "{\"update\":\"http://upd\u00e4te.example/\u6e2c\",\"mqtt\":\"M\"}"}}}));
  std::wstring body, date;
  HttpRequestOptions options;
  options.url = HttpUrl(L"/v2/agent-request-urls");
  options.method = L"GET";
  options.acceptJson = true;
  ASSERT_EQ(RequestJson(options, &body, &date), 200);
  EXPECT_EQ(date, L"Wed, 09 Dec 2026 07:00:00 GMT");
  const JsonValue answer = ParseJson(body);
  EXPECT_EQ(JsonToString(JsonMember(answer, L"update")), L"http://upd\u00e4te.example/\u6e2c");
  EXPECT_EQ(JsonToString(JsonMember(answer, L"mqtt")), L"M");

  const auto requests = ReceivedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(HeaderValues(requests[0], "User-Agent"), std::vector<std::string>{kUserAgent});
  EXPECT_EQ(HeaderValues(requests[0], "Accept"), std::vector<std::string>{"application/json"});
}

TEST(ProductHttp, GzipAnswersAreInflatedByTheInstaller) {
  // Wine's WinHTTP refuses its own decompression option: the inflating is
  // the installer's, and it must see the compressed bytes and their header.
  const std::string text = "{\"update\":\"" + std::string(5000, 'u') + "\"}";
  ServeRoutes(json::array({{{"path", "/zipped"}, {"status", 200}, {"gzip", true}, {"body", text}}}));
  std::wstring body;
  ASSERT_EQ(Get(HttpUrl(L"/zipped"), &body, nullptr, true), 200);
  EXPECT_EQ(body, std::wstring(text.begin(), text.end()));
  const auto requests = ReceivedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(HeaderValues(requests[0], "Accept-Encoding"), std::vector<std::string>{"gzip"});
}

TEST(ProductHttp, TlsAnswersComeThroughTheMachinesTrustedRoots) {
  // run-with-servers.sh made the TLS server's root a root of the prefix.
  ServeRoutes(json::array({{{"path", "/secure"}, {"status", 200}, {"body", "{}"}}}));
  std::wstring body;
  std::string error;
  EXPECT_EQ(Get(HttpsUrl(L"/secure"), &body, &error), 200) << error;
  EXPECT_EQ(body, L"{}");
}

TEST(ProductHttp, ADownloadStreamsTheWholeBodyToTheFileWithItsDigest) {
  // Three mebibytes and a few bytes more arrive in many reads; byte i of the
  // body is i mod 251, whose MD5 md5sum gives as below.
  const std::size_t size = 3 * 1024 * 1024 + 17;
  ServeRoutes(json::array({{{"path", "/agent.zip"}, {"status", 200}, {"body_size", size}}}));
  TempFolder folder;
  const std::wstring target = folder / L"agent.zip";
  ASSERT_EQ(DownloadFile({HttpUrl(L"/agent.zip"), {}, target}), 1);
  const std::string bytes = FileBytes(target);
  ASSERT_EQ(bytes.size(), size);
  EXPECT_EQ(static_cast<unsigned char>(bytes[size - 1]), (size - 1) % 251);
  EXPECT_EQ(GetFileMD5(target), L"7114d559ffda7029526064baa992a30d");

  const auto requests = ReceivedRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(HeaderValues(requests[0], "User-Agent"), std::vector<std::string>{kUserAgent});
}

TEST(ProductHttp, AFailedDownloadGivesZeroAndLeavesAnEmptyFile) {
  ServeRoutes(json::array({{{"path", "/cut"}, {"status", 200}, {"body_size", 100000}, {"truncate", 5000}},
                           {{"path", "/refused"}, {"status", 403}, {"body", "not for you"}}}));
  TempFolder folder;
  struct Row {
    const char* what;
    std::wstring url;
    bool sent;
    std::uint16_t status;
  } rows[] = {{"no server", ClosedUrl(L"/a.zip"), true, 0},
              {"an answer cut short", HttpUrl(L"/cut"), true, 200},
              {"a refusal", HttpUrl(L"/refused"), true, 403},
              {"no such file", HttpUrl(L"/missing.zip"), true, 404}};
  for (const Row& row : rows) {
    const std::wstring target = folder / L"download.bin";
    DownloadOutcome outcome;
    EXPECT_EQ(DownloadFileWithOutcome({row.url, {}, target}, nullptr, 0, &outcome), 0) << row.what;
    EXPECT_EQ(FileBytes(target), "") << row.what;
    EXPECT_EQ(outcome.requestSent, row.sent) << row.what;
    EXPECT_EQ(outcome.status, row.status) << row.what;
  }
  // A digest of an empty file is MD5's empty message, not a failure.
  EXPECT_EQ(GetFileMD5(folder / L"download.bin"), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(GetFileMD5(folder / L"never-written.bin"), L"");
}

}  // namespace
