// The HTTP client layer against a real nginx (tools/nginx-fixture.sh) serving
// a content root laid out like the Brimvale servers: gzip JSON and downloads.
#include "settings/http_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/free_port.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"

namespace {

namespace fs = std::filesystem;

// A port nothing listens on right now.
void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string Fixture() { return std::string(BVL_SOURCE_DIR) + "/tools/nginx-fixture.sh"; }

class NginxFixtureTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system("command -v nginx >/dev/null 2>&1 || test -x /usr/sbin/nginx"), 0)
        << "nginx is not installed (tools/install-deps.sh installs it)";
    root_ = testing_support::MakeTempFolder("nginx-root");
    port_ = testing_support::FreePort();
    ASSERT_GT(port_, 0);
  }
  void TearDown() override {
    if (root_.empty()) return;
    EXPECT_EQ(std::system(("'" + Fixture() + "' stop '" + root_.string() + "'").c_str()), 0);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  bool Start() {
    return std::system(("'" + Fixture() + "' start '" + root_.string() + "' " + std::to_string(port_)).c_str()) == 0;
  }
  std::wstring Url(const std::string& target) const {
    std::string url = "http://127.0.0.1:" + std::to_string(port_) + target;
    return std::wstring(url.begin(), url.end());
  }

  testing_support::ScopedMachine machine_;
  fs::path root_;
  int port_ = 0;
};

TEST_F(NginxFixtureTest, GzipJsonAndDownloads) {
  // Long enough, and repetitive enough, that nginx compresses it.
  std::string urls = "{\"urls\":{";
  for (int i = 0; i < 40; ++i) urls += "\"service" + std::to_string(i) + "\":\"http://127.0.0.1/v2/s" + std::to_string(i) + "\",";
  urls += "\"name\":\"\xEA\xB0\x80\"}}";
  Write(root_ / "agent/v2/agent-request-urls", urls);
  Write(root_ / "agent/v2/versions", "[\"2.1.0\",\"2.2.0\"]");
  std::string zip(300000, '\0');
  for (std::size_t i = 0; i < zip.size(); ++i) zip[i] = static_cast<char>((i * 7) % 256);
  Write(root_ / "agent/resources/agent/2.1.0/agent.zip", zip);
  Write(root_ / "update/x64/proverinfo.dat", "version=2.1.0\n");
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Start()) << "starting again restarts it";

  HttpRequestOptions options;
  options.url = Url("/v2/agent-request-urls");
  options.method = L"GET";
  options.compress = true;
  options.acceptJson = true;
  std::wstring body;
  ASSERT_EQ(RequestJson(options, &body, nullptr), 200);
  JsonValue parsed = ParseJson(body);
  EXPECT_EQ(JsonToString(JsonMember(JsonMember(parsed, L"urls"), L"name")), L"\uAC00");
  EXPECT_EQ(JsonToString(JsonMember(JsonMember(parsed, L"urls"), L"service39")), L"http://127.0.0.1/v2/s39");
  {
    // nginx's access log tells the bytes it sent: fewer than the file, so the
    // answer really came compressed and was decoded here.
    std::ifstream log(root_ / ".nginx/access.log");
    std::string line;
    long sent = -1;
    while (std::getline(log, line)) {
      if (line.find("GET /v2/agent-request-urls ") == std::string::npos) continue;
      std::istringstream fields(line.substr(line.find("\" ") + 2));
      int status = 0;
      fields >> status >> sent;
    }
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<long>(urls.size()));
  }

  std::wstring date;
  options.url = Url("/v2/versions");
  ASSERT_EQ(RequestJson(options, &body, &date), 200);
  EXPECT_EQ(body, L"[\"2.1.0\",\"2.2.0\"]");
  EXPECT_FALSE(date.empty()) << "nginx dates its answers";

  fs::create_directories(machine_.Host(L"C:\\dl"));
  EXPECT_EQ(DownloadFile({Url("/v2/download/resources?component=agent&version=2.1.0"), {}, L"C:\\dl\\agent.zip"}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(L"C:\\dl\\agent.zip")), zip);
  EXPECT_EQ(DownloadFile({Url("/update/x64/proverinfo.dat"), {}, L"C:\\dl\\proverinfo.dat"}), 1);
  EXPECT_EQ(testing_support::ReadHostFile(machine_.Host(L"C:\\dl\\proverinfo.dat")), "version=2.1.0\n");

  for (const char* missing : {"/v2/download/resources?component=agent&version=9.9.9",
                              "/v2/download/resources?component=..&version=2.1.0", "/update/x64/none.dat"}) {
    EXPECT_EQ(DownloadFile({Url(missing), {}, L"C:\\dl\\missing.bin"}), 0) << missing;
    EXPECT_EQ(fs::file_size(machine_.Host(L"C:\\dl\\missing.bin")), 0u) << missing;
  }
}

}  // namespace
