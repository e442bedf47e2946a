// Starts and stops tools/test_http_server.py for a test, writes its routes
// file and reads back its request log; makes a test CA with openssl.
#include "support/test_http_server.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {

std::string GeneratedBody(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

namespace {

void WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temporary = path;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::filesystem::rename(temporary, path);
}

int RunQuiet(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

}  // namespace

bool MakeTestCertificates(const std::filesystem::path& folder, TestCertificates* out, std::string* error,
                          const std::string& subjectAltName) {
  std::filesystem::create_directories(folder);
  const std::string dir = "'" + folder.string() + "'";
  out->caFile = folder / "test-ca.pem";
  out->certFile = folder / "server.pem";
  out->keyFile = folder / "server.key";
  {
    std::ofstream ext(folder / "server.ext");
    ext << "subjectAltName=" << subjectAltName << "\n"
           "basicConstraints=CA:FALSE\n"
           "keyUsage=digitalSignature,keyEncipherment\n"
           "extendedKeyUsage=serverAuth\n";
  }
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string steps[] = {
      "openssl req -x509" + ec + " -keyout " + dir + "/test-ca.key -out " + dir +
          "/test-ca.pem -days 2 -subj '/CN=Installer Test CA'"
          " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign",
      "openssl req" + ec + " -keyout " + dir + "/server.key -out " + dir + "/server.csr -subj /CN=127.0.0.1",
      "openssl x509 -req -in " + dir + "/server.csr -CA " + dir + "/test-ca.pem -CAkey " + dir +
          "/test-ca.key -CAcreateserial -out " + dir + "/server.pem -days 2 -extfile " + dir + "/server.ext",
  };
  for (const auto& step : steps) {
    if (RunQuiet(step) != 0) {
      if (error) *error = "failed: " + step;
      return false;
    }
  }
  return true;
}

TestHttpServer::TestHttpServer(const nlohmann::json& routes, const TestCertificates* tls,
                               const std::string& listenAddress)
    : host_(listenAddress.find(':') == std::string::npos ? listenAddress : "[" + listenAddress + "]") {
  char pattern[] = "/tmp/bvl-http-server-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = "cannot create a temporary folder";
    return;
  }
  folder_ = pattern;
  SetRoutes(routes);
  std::ofstream(folder_ / "requests.jsonl").close();

  std::vector<std::string> args = PythonCommand(std::string(BVL_SOURCE_DIR) + "/tools/test_http_server.py");
  args.insert(args.end(), {"--routes",
                           (folder_ / "routes.json").string(),
                           "--log",
                           (folder_ / "requests.jsonl").string(),
                           "--host",
                           listenAddress});
  if (tls != nullptr) {
    tls_ = true;
    args.insert(args.end(), {"--cert", tls->certFile.string(), "--key", tls->keyFile.string()});
  }
  port_ = server_.Start(std::move(args), folder_ / "server.err");
  if (port_ == 0) error_ = "the test server did not report its port";
}

TestHttpServer::~TestHttpServer() {
  server_.Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::wstring TestHttpServer::Url(const std::string& target) const {
  std::string url = std::string(tls_ ? "https" : "http") + "://" + host_ + ":" + std::to_string(port_) + target;
  return std::wstring(url.begin(), url.end());
}

void TestHttpServer::SetRoutes(const nlohmann::json& routes) {
  if (folder_.empty()) return;
  WriteFileAtomically(folder_ / "routes.json", routes.dump());
}

std::vector<RecordedRequest> TestHttpServer::Requests() const { return ReadRequestLog(folder_ / "requests.jsonl"); }

}  // namespace testing_support
