// The simulated WinHTTP against the programmable test server: Windows'
// defaults that the installer turns off (redirects followed), the head's
// bound and its option, header queries with their buffer rules, and handles.
#include "platform/winhttp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scoped_machine.h"
#include "support/test_http_server.h"

namespace {

using nlohmann::json;

class WinHttpTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Running()) << server_.StartError(); }
  void TearDown() override {
    for (win::HINTERNET handle : {request_, connection_, session_}) {
      if (handle) win::WinHttpCloseHandle(handle);
    }
  }

  // Opens a GET of `path`; the caller sets options, then calls Exchange.
  void Open(const wchar_t* path) {
    session_ = win::WinHttpOpen(L"Test/1", win::WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    connection_ = win::WinHttpConnect(session_, L"127.0.0.1", static_cast<win::INTERNET_PORT>(server_.Port()), 0);
    request_ = win::WinHttpOpenRequest(connection_, L"GET", path, nullptr, nullptr, nullptr, 0);
    ASSERT_NE(request_, nullptr);
  }
  bool Exchange() {
    return win::WinHttpSendRequest(request_, nullptr, 0, nullptr, 0, 0, 0) &&
           win::WinHttpReceiveResponse(request_, nullptr);
  }
  win::DWORD Status() {
    win::DWORD status = 0;
    win::DWORD size = sizeof status;
    EXPECT_TRUE(win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_STATUS_CODE | win::WINHTTP_QUERY_FLAG_NUMBER,
                                         nullptr, &status, &size, nullptr));
    return status;
  }
  std::string Body() {
    std::string body;
    char piece[1000];
    win::DWORD read = 0;
    while (win::WinHttpReadData(request_, piece, sizeof piece, &read) && read > 0) body.append(piece, read);
    return body;
  }

  testing_support::ScopedMachine machine_;
  testing_support::TestHttpServer server_{json::array({
      {{"path", "/moved"}, {"status", 302}, {"headers", {{"Location", "/here"}}}, {"body", ""}},
      {{"path", "/here"}, {"body", "arrived"}, {"headers", json::array({json::array({"X-Twice", "one"}), json::array({"X-Twice", "two"})})}},
      {{"path", "/wide-head"}, {"body", "ok"}, {"headers", {{"X-Filler", std::string(2000, 'f')}}}},
  })};
  win::HINTERNET session_ = nullptr;
  win::HINTERNET connection_ = nullptr;
  win::HINTERNET request_ = nullptr;
};

TEST_F(WinHttpTest, RedirectsAreFollowedUnlessTheRequestDisablesThem) {
  Open(L"/moved");
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(Status(), 200u);
  EXPECT_EQ(Body(), "arrived");
  TearDown();

  Open(L"/moved");
  const win::DWORD disable = win::WINHTTP_DISABLE_REDIRECTS;
  ASSERT_TRUE(win::WinHttpSetOption(request_, win::WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable));
  ASSERT_TRUE(Exchange());
  EXPECT_EQ(Status(), 302u);
  const std::vector<std::string> targets = {"/moved", "/here", "/moved"};
  ASSERT_EQ(server_.Requests().size(), targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) EXPECT_EQ(server_.Requests()[i].target, targets[i]);
  EXPECT_EQ(server_.Requests()[0].Value("User-Agent"), "Test/1");
}

TEST_F(WinHttpTest, TheHeadMayNotGrowPastItsBound) {
  Open(L"/wide-head");
  ASSERT_TRUE(Exchange()) << "2 KB fit the default bound of 64 KiB";
  EXPECT_EQ(Body(), "ok");
  TearDown();

  Open(L"/wide-head");
  const win::DWORD bound = 1024;
  ASSERT_TRUE(win::WinHttpSetOption(request_, win::WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &bound, sizeof bound));
  EXPECT_FALSE(Exchange());
  EXPECT_EQ(win::GetLastError(), win::ERROR_WINHTTP_HEADER_SIZE_OVERFLOW);
}

TEST_F(WinHttpTest, HeaderQueriesFollowTheBufferRules) {
  Open(L"/here");
  ASSERT_TRUE(Exchange());
  win::DWORD size = 0;
  EXPECT_FALSE(win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CUSTOM, L"x-twice", nullptr, &size, nullptr));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 4 * sizeof(wchar_t)) << "\"one\" and its NUL";

  // Repeated headers one after the other by index, then none.
  win::DWORD index = 0;
  for (const wchar_t* expected : {L"one", L"two"}) {
    wchar_t value[16] = {};
    size = sizeof value;
    ASSERT_TRUE(win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CUSTOM, L"X-Twice", value, &size, &index));
    EXPECT_EQ(std::wstring(value), expected);
    EXPECT_EQ(size, std::wstring(expected).size() * sizeof(wchar_t));
  }
  wchar_t value[16] = {};
  size = sizeof value;
  EXPECT_FALSE(win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CUSTOM, L"X-Twice", value, &size, &index));
  EXPECT_EQ(win::GetLastError(), win::ERROR_WINHTTP_HEADER_NOT_FOUND);

  std::uint64_t length = 0;
  size = sizeof length;
  ASSERT_TRUE(win::WinHttpQueryHeaders(request_, win::WINHTTP_QUERY_CONTENT_LENGTH | win::WINHTTP_QUERY_FLAG_NUMBER64,
                                       nullptr, &length, &size, nullptr));
  EXPECT_EQ(length, 7u);
}

TEST_F(WinHttpTest, HandlesAreCheckedForLifeAndKind) {
  Open(L"/here");
  EXPECT_EQ(win::WinHttpOpenRequest(session_, L"GET", L"/", nullptr, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(win::GetLastError(), win::ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
  win::DWORD available = 0;
  EXPECT_FALSE(win::WinHttpQueryDataAvailable(request_, &available)) << "nothing was sent yet";
  EXPECT_EQ(win::GetLastError(), win::ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
  ASSERT_TRUE(win::WinHttpCloseHandle(request_));
  EXPECT_FALSE(win::WinHttpCloseHandle(request_));
  EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);
  request_ = nullptr;
}

}  // namespace
