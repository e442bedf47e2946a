// Starts and stops tools/test_http_server.py for a test, writes its routes
// file and reads back its request log; makes a test CA with openssl.
#include "support/test_http_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string DecodeBase64(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    std::size_t index = alphabet.find(c);
    if (index == std::string::npos) continue;  // '=' padding
    value = (value << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return out;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temporary = path;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::filesystem::rename(temporary, path);
}

// Reads one line from `fd` within `seconds`.
bool ReadLine(int fd, int seconds, std::string* line) {
  line->clear();
  while (true) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, seconds * 1000) <= 0) return false;
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n <= 0) return false;
    if (c == '\n') return true;
    *line += c;
  }
}

int RunQuiet(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

}  // namespace

std::vector<std::string> RecordedRequest::Values(const std::string& name) const {
  std::vector<std::string> values;
  const std::string wanted = Lower(name);
  for (const auto& [key, value] : headers) {
    if (Lower(key) == wanted) values.push_back(value);
  }
  return values;
}

std::string RecordedRequest::Value(const std::string& name) const {
  auto values = Values(name);
  return values.empty() ? std::string() : values.front();
}

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

  std::vector<std::string> args = {"python3",
                                   std::string(BVL_SOURCE_DIR) + "/tools/test_http_server.py",
                                   "--routes",
                                   (folder_ / "routes.json").string(),
                                   "--log",
                                   (folder_ / "requests.jsonl").string(),
                                   "--host",
                                   listenAddress};
  if (tls != nullptr) {
    tls_ = true;
    args.insert(args.end(), {"--cert", tls->certFile.string(), "--key", tls->keyFile.string()});
  }
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    error_ = "pipe failed";
    return;
  }
  // Everything the child needs is prepared here: after fork() in a program
  // with running threads the child may not allocate.
  const std::string errorLog = (folder_ / "server.err").string();
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server ends with the test program, however that ends, and keeps
    // none of its output streams open: a test runner waits for those.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(pipeFds[1], STDOUT_FILENO);
    int quiet = open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd) {
      if (fd != pipeFds[1]) close(fd);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::string line;
  if (pid_ > 0 && ReadLine(pipeFds[0], 20, &line)) port_ = std::atoi(line.c_str());
  close(pipeFds[0]);
  if (port_ <= 0) error_ = "the test server did not report its port";
}

TestHttpServer::~TestHttpServer() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
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

std::vector<RecordedRequest> TestHttpServer::Requests() const {
  std::vector<RecordedRequest> requests;
  std::ifstream in(folder_ / "requests.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) continue;
    RecordedRequest request;
    request.method = entry.value("method", "");
    request.target = entry.value("target", "");
    for (const auto& header : entry["headers"]) {
      request.headers.emplace_back(header[0].get<std::string>(), header[1].get<std::string>());
    }
    request.body = DecodeBase64(entry.value("body", ""));
    requests.push_back(std::move(request));
  }
  return requests;
}

}  // namespace testing_support
