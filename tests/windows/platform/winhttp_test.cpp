// WinHTTP of the Windows program against the project's test server on
// loopback, which tests/windows/run-with-servers.sh starts beside the program
// (plain and TLS, with a root the Wine prefix trusts): answers with their
// status, headers and whole bodies, refused connections, time-outs, redirects,
// requests through a named proxy, and TLS with the machine's roots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/winhttp.h"
#include "windows/platform/wine_paths.h"

namespace {

using namespace win;

int Port(const char* variable) {
  const char* text = std::getenv(variable);
  return text ? std::atoi(text) : 0;
}

// Sets the routes both servers answer from (tools/test_http_server.py).
void SetRoutes(const nlohmann::json& routes) {
  std::ofstream(testing_windows::WinePath(std::getenv("BVL_TEST_ROUTES"))) << routes.dump();
}

// The requests the servers received, oldest first.
std::vector<nlohmann::json> RequestLog() {
  std::ifstream log(testing_windows::WinePath(std::getenv("BVL_TEST_REQUEST_LOG")));
  std::vector<nlohmann::json> requests;
  for (std::string line; std::getline(log, line);) requests.push_back(nlohmann::json::parse(line));
  return requests;
}

struct Handle {
  HINTERNET value = nullptr;
  ~Handle() {
    if (value) WinHttpCloseHandle(value);
  }
};

// One request: a session, a connection and the request, sent and answered.
class Exchange {
 public:
  explicit Exchange(const wchar_t* host, int port, const wchar_t* path, const wchar_t* verb = L"GET",
                    DWORD flags = 0, const wchar_t* proxy = nullptr) {
    session_.value = proxy ? WinHttpOpen(L"BvlTest/1.0", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy, nullptr, 0)
                           : WinHttpOpen(L"BvlTest/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    if (session_.value) connection_.value = WinHttpConnect(session_.value, host, static_cast<INTERNET_PORT>(port), 0);
    if (connection_.value) {
      request_.value = WinHttpOpenRequest(connection_.value, verb, path, nullptr, nullptr, nullptr, flags);
    }
  }
  HINTERNET request() const { return request_.value; }

  // Sends `body` and waits for the answer's head; false with the last error.
  bool Run(const std::string& body = std::string()) {
    error_ = 0;
    if (!request_.value) return Failed();
    void* data = body.empty() ? nullptr : const_cast<char*>(body.data());
    const auto size = static_cast<DWORD>(body.size());
    if (!WinHttpSendRequest(request_.value, nullptr, 0, data, size, size, 0)) return Failed();
    if (!WinHttpReceiveResponse(request_.value, nullptr)) return Failed();
    return true;
  }
  DWORD error() const { return error_; }

  DWORD Status() const {
    DWORD status = 0;
    DWORD size = sizeof status;
    EXPECT_TRUE(WinHttpQueryHeaders(request_.value, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr,
                                    &status, &size, nullptr));
    return status;
  }

  std::wstring Header(const wchar_t* name) const {
    DWORD size = 0;
    if (WinHttpQueryHeaders(request_.value, WINHTTP_QUERY_CUSTOM, name, nullptr, &size, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return L"(none)";
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!WinHttpQueryHeaders(request_.value, WINHTTP_QUERY_CUSTOM, name, text.data(), &size, nullptr)) return L"(failed)";
    text.resize(size / sizeof(wchar_t));
    return text;
  }

  // The body to its end; false when a read fails.
  bool Body(std::string* body) {
    body->clear();
    for (;;) {
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request_.value, &available)) return Failed();
      if (available == 0) return true;
      std::string piece(available, '\0');
      DWORD read = 0;
      if (!WinHttpReadData(request_.value, piece.data(), available, &read)) return Failed();
      if (read == 0) return true;
      body->append(piece, 0, read);
    }
  }

 private:
  bool Failed() {
    error_ = GetLastError();
    return false;
  }

  Handle session_, connection_, request_;
  DWORD error_ = 0;
};

class WinHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = Port("BVL_TEST_HTTP_PORT");
    ASSERT_NE(port_, 0) << "no test server: run the program through ctest (tests/windows/run-with-servers.sh)";
  }
  int port_ = 0;
};

TEST_F(WinHttp, GetGivesTheStatusTheHeadersAndTheWholeBody) {
  const int size = 300000;  // several reads
  SetRoutes({{{"path", "/file"}, {"headers", {{"X-Bvl", "one"}}}, {"body_size", size}}});
  Exchange exchange(L"127.0.0.1", port_, L"/file");
  ASSERT_TRUE(exchange.Run()) << exchange.error();
  EXPECT_EQ(exchange.Status(), 200u);
  EXPECT_EQ(exchange.Header(L"X-Bvl"), L"one");
  std::uint64_t length = 0;
  DWORD lengthSize = sizeof length;
  ASSERT_TRUE(WinHttpQueryHeaders(exchange.request(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER64,
                                  nullptr, &length, &lengthSize, nullptr));
  EXPECT_EQ(length, static_cast<std::uint64_t>(size));
  EXPECT_EQ(lengthSize, 8u);
  std::string body;
  ASSERT_TRUE(exchange.Body(&body)) << exchange.error();
  ASSERT_EQ(body.size(), static_cast<std::size_t>(size));
  for (int i = 0; i < size; i += 997) ASSERT_EQ(static_cast<unsigned char>(body[i]), i % 251) << "byte " << i;
  // The session's agent is the request's User-Agent.
  const std::vector<nlohmann::json> log = RequestLog();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back()["headers"].dump().find("[\"User-Agent\",\"BvlTest/1.0\"]"), std::string::npos)
      << log.back().dump();
}

TEST_F(WinHttp, AMissingPathIsAnAnswerWithStatus404) {
  SetRoutes(nlohmann::json::array());
  Exchange exchange(L"127.0.0.1", port_, L"/missing");
  ASSERT_TRUE(exchange.Run()) << exchange.error();
  EXPECT_EQ(exchange.Status(), 404u);
  std::string body;
  ASSERT_TRUE(exchange.Body(&body));
  EXPECT_EQ(body, "no route");
  // A header the answer lacks.
  DWORD size = 0;
  EXPECT_FALSE(WinHttpQueryHeaders(exchange.request(), WINHTTP_QUERY_LOCATION, nullptr, nullptr, &size, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_WINHTTP_HEADER_NOT_FOUND);
}

TEST_F(WinHttp, APortWhereNobodyListensCannotConnect) {
  Exchange exchange(L"127.0.0.1", Port("BVL_TEST_CLOSED_PORT"), L"/");
  EXPECT_FALSE(exchange.Run());
  EXPECT_EQ(exchange.error(), ERROR_WINHTTP_CANNOT_CONNECT);
}

TEST_F(WinHttp, AnAnswerOrABodyLaterThanItsTimeOutTimesOut) {
  SetRoutes({{{"path", "/slow"}, {"delay", 3}, {"body", "late"}},
             {{"path", "/stalled"}, {"body_size", 1000}, {"hold_after", 10}, {"hold_until", "/nonexistent"}}});
  const DWORD limit = 300;
  Exchange slow(L"127.0.0.1", port_, L"/slow");
  ASSERT_TRUE(WinHttpSetOption(slow.request(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &limit, sizeof limit));
  EXPECT_FALSE(slow.Run());
  EXPECT_EQ(slow.error(), ERROR_WINHTTP_TIMEOUT);

  Exchange stalled(L"127.0.0.1", port_, L"/stalled");
  ASSERT_TRUE(WinHttpSetOption(stalled.request(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit));
  ASSERT_TRUE(stalled.Run()) << stalled.error();
  std::string body;
  EXPECT_FALSE(stalled.Body(&body));
  EXPECT_EQ(stalled.error(), ERROR_WINHTTP_TIMEOUT);
  EXPECT_EQ(body.size(), 10u);
}

TEST_F(WinHttp, RedirectsAreFollowedUnlessTheRequestDisablesThem) {
  SetRoutes({{{"path", "/moved"}, {"status", 302}, {"headers", {{"Location", "/there"}}}},
             {{"path", "/there"}, {"body", "arrived"}}});
  Exchange followed(L"127.0.0.1", port_, L"/moved");
  ASSERT_TRUE(followed.Run()) << followed.error();
  EXPECT_EQ(followed.Status(), 200u);
  std::string body;
  ASSERT_TRUE(followed.Body(&body));
  EXPECT_EQ(body, "arrived");

  Exchange stopped(L"127.0.0.1", port_, L"/moved");
  const DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  ASSERT_TRUE(WinHttpSetOption(stopped.request(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects));
  ASSERT_TRUE(stopped.Run()) << stopped.error();
  EXPECT_EQ(stopped.Status(), 302u);
  EXPECT_EQ(stopped.Header(L"Location"), L"/there");
}

// The crash report's way out: a POST through the user's proxy, which gets the
// whole address and the body.
TEST_F(WinHttp, ANamedProxyGetsTheWholeAddressAndTheBody) {
  // Wine's winhttp.dll names the default port in the address, Windows' does not.
  SetRoutes({{{"method", "POST"}, {"path", "http://collector.example.invalid/api/7/minidump/"}, {"body", "{}"}},
             {{"method", "POST"}, {"path", "http://collector.example.invalid:80/api/7/minidump/"}, {"body", "{}"}}});
  const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port_);
  Exchange exchange(L"collector.example.invalid", 80, L"/api/7/minidump/", L"POST", 0, proxy.c_str());
  ASSERT_TRUE(exchange.Run("crash report")) << exchange.error();
  EXPECT_EQ(exchange.Status(), 200u);
  const std::vector<nlohmann::json> log = RequestLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back()["method"], "POST");
  const std::string target = log.back()["target"];
  EXPECT_TRUE(target == "http://collector.example.invalid/api/7/minidump/" ||
              target == "http://collector.example.invalid:80/api/7/minidump/")
      << target;
  EXPECT_EQ(log.back()["body"], "Y3Jhc2ggcmVwb3J0");  // "crash report"
}

TEST_F(WinHttp, OptionsOutsideTheInterfaceAreRefused) {
  Exchange exchange(L"127.0.0.1", port_, L"/");
  const DWORD decompression = 3;  // WINHTTP_OPTION_DECOMPRESSION: gzip and deflate
  EXPECT_FALSE(WinHttpSetOption(exchange.request(), 118, &decompression, sizeof decompression));
  EXPECT_EQ(GetLastError(), ERROR_WINHTTP_INVALID_OPTION);
  const std::uint64_t wide = 10;
  EXPECT_FALSE(WinHttpSetOption(exchange.request(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &wide, sizeof wide));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// TLS against the machine's trusted roots: the server's certificate names
// 127.0.0.1, so another name for the same server is refused unless the
// request accepts a wrong name.
TEST_F(WinHttp, SecureRequestsCheckTheCertificateAgainstTheMachinesRoots) {
  SetRoutes({{{"path", "/secure"}, {"body", "sealed"}}});
  const int port = Port("BVL_TEST_HTTPS_PORT");
  Exchange exchange(L"127.0.0.1", port, L"/secure", L"GET", WINHTTP_FLAG_SECURE);
  ASSERT_TRUE(exchange.Run()) << exchange.error();
  std::string body;
  ASSERT_TRUE(exchange.Body(&body));
  EXPECT_EQ(body, "sealed");

  Exchange wrongName(L"localhost", port, L"/secure", L"GET", WINHTTP_FLAG_SECURE);
  EXPECT_FALSE(wrongName.Run());
  EXPECT_EQ(wrongName.error(), ERROR_WINHTTP_SECURE_FAILURE);

  Exchange accepted(L"localhost", port, L"/secure", L"GET", WINHTTP_FLAG_SECURE);
  const DWORD anyName = SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  ASSERT_TRUE(WinHttpSetOption(accepted.request(), WINHTTP_OPTION_SECURITY_FLAGS, &anyName, sizeof anyName));
  EXPECT_TRUE(accepted.Run()) << accepted.error();
}

}  // namespace
