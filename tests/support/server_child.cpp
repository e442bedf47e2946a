// Forks a loopback server and reads the port it reports.
#include "support/server_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

namespace testing_support {
namespace {

// Reads one line from `fd` within `seconds`.
bool ReadLine(int fd, int seconds, std::string* line) {
  line->clear();
  while (true) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, seconds * 1000) <= 0) return false;
    char c;
    if (read(fd, &c, 1) <= 0) return false;
    if (c == '\n') return true;
    *line += c;
  }
}

}  // namespace

std::vector<std::string> PythonCommand(const std::string& script) {
#ifdef BVL_PYTHON
  return {BVL_PYTHON, "-S", script};
#else
  return {"python3", "-S", script};
#endif
}

int ServerChild::Start(std::vector<std::string> arguments, const std::filesystem::path& errorLog) {
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 0;
  // Everything the child needs is prepared here: after fork() in a program
  // with running threads the child may not allocate.
  const std::string errorPath = errorLog.string();
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server ends with the test program, however that ends, and keeps
    // none of its output streams open: a test runner waits for those.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(pipeFds[1], STDOUT_FILENO);
    int quiet = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
  int port = 0;
  if (pid_ > 0 && ReadLine(pipeFds[0], 20, &line)) port = std::atoi(line.c_str());
  close(pipeFds[0]);
  return port > 0 ? port : 0;
}

void ServerChild::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
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

bool SameHeaderName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::vector<std::string> LoggedRequest::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (SameHeaderName(key, name)) values.push_back(value);
  }
  return values;
}

std::string LoggedRequest::Value(const std::string& name) const {
  auto values = Values(name);
  return values.empty() ? std::string() : values.front();
}

std::vector<LoggedRequest> ReadRequestLog(const std::filesystem::path& log) {
  std::vector<LoggedRequest> requests;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) continue;
    LoggedRequest request;
    request.method = entry.value("method", "");
    request.target = entry.value("target", "");
    if (entry["tunnel"].is_string()) request.tunnel = entry["tunnel"].get<std::string>();
    for (const auto& header : entry["headers"]) {
      request.headers.emplace_back(header[0].get<std::string>(), header[1].get<std::string>());
    }
    request.body = DecodeBase64(entry.value("body", ""));
    requests.push_back(std::move(request));
  }
  return requests;
}

}  // namespace testing_support
