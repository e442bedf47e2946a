// Runs tools/crash_collector.py for a test and reads back what it received.
#include "crash/crash_collector_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <mutex>

#include "platform/internet_settings.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/codepage.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace crash_testing {
namespace {

const std::string kCollectorScript = std::string(BVL_SOURCE_DIR) + "/tools/crash_collector.py";

std::string DecodeBase64(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    std::size_t index = alphabet.find(c);
    if (index == std::string::npos) continue;
    value = (value << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((value >> bits) & 0xFF);
    }
  }
  return out;
}

// One test CA and collector certificate per test program.
const std::filesystem::path& PkiFolder(std::string* error) {
  static std::once_flag once;
  static std::filesystem::path folder;
  static std::string failure;
  std::call_once(once, [] {
    std::filesystem::path candidate = testing_support::MakeTempFolder("crash-pki");
    std::string output;
    const int status = testing_support::RunCommand(
        "python3 " + testing_support::ShellQuote(kCollectorScript) + " pki " +
            testing_support::ShellQuote(candidate.string()) + " crash.brimvale.example",
        &output);
    if (status == 0) {
      folder = candidate;
    } else {
      failure = "cannot make the collector's certificates: " + output;
    }
  });
  if (error) *error = failure;
  return folder;
}

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

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string CollectedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) return value;
  }
  return std::string();
}

CrashCollector::CrashCollector() {
  const std::filesystem::path& pki = PkiFolder(&m_error);
  if (pki.empty()) return;
  m_folder = testing_support::MakeTempFolder("crash-collector");
  AnswerWith(200);
  std::vector<std::string> args = {"python3",  kCollectorScript,
                                   "serve",    "--log",
                                   (m_folder / "requests.jsonl").string(),
                                   "--control", (m_folder / "control.json").string(),
                                   "--cert",   (pki / "server.pem").string(),
                                   "--key",    (pki / "server.key").string(),
                                   "--max-seconds", "60"};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    m_error = "pipe failed";
    return;
  }
  const std::string errorLog = (m_folder / "collector.err").string();
  const pid_t parent = getpid();
  m_pid = fork();
  if (m_pid == 0) {
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
  if (m_pid > 0 && ReadLine(pipeFds[0], 20, &line)) m_port = std::atoi(line.c_str());
  close(pipeFds[0]);
  if (m_port <= 0) m_error = "the crash collector did not report its port";
}

CrashCollector::~CrashCollector() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }
  if (!m_folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
}

std::filesystem::path CrashCollector::CaFile() const { return PkiFolder(nullptr) / "ca.pem"; }

void CrashCollector::AnswerWith(int status) {
  std::ofstream(m_folder / "control.json") << nlohmann::json{{"status", status}}.dump();
}

void CrashCollector::NeverAnswer() {
  std::ofstream(m_folder / "control.json") << nlohmann::json{{"hang", true}}.dump();
}

void CrashCollector::ServeCurrentMachine() const {
  std::ifstream ca(CaFile(), std::ios::binary);
  std::ofstream roots(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app);
  roots << ca.rdbuf() << "\n";
  win::HKEY key = nullptr;
  win::RegCreateKeyW(win::HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", &key);
  const win::DWORD enable = 1;
  const std::string server = platform::WideToUtf16Le(L"127.0.0.1:" + std::to_wstring(m_port));
  win::RegSetValueExW(key, L"ProxyEnable", 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&enable),
                      sizeof(enable));
  win::RegSetValueExW(key, L"ProxyServer", 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(server.data()),
                      static_cast<win::DWORD>(server.size()));
  win::RegCloseKey(key);
}

std::vector<CollectedRequest> CrashCollector::Requests() const {
  std::vector<CollectedRequest> requests;
  std::ifstream in(m_folder / "requests.jsonl");
  std::string line;
  while (std::getline(in, line)) {
    auto entry = nlohmann::json::parse(line, nullptr, false);
    if (entry.is_discarded()) continue;
    CollectedRequest request;
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

std::vector<CollectedRequest> CrashCollector::Posts() const {
  std::vector<CollectedRequest> posts;
  for (auto& request : Requests()) {
    if (request.method == "POST") posts.push_back(std::move(request));
  }
  return posts;
}

std::vector<CollectedPart> CrashCollector::Parts(std::size_t postIndex, std::vector<std::string>* defects) const {
  const std::vector<CollectedRequest> requests = Requests();
  std::size_t index = 0;
  std::size_t posts = 0;
  for (; index < requests.size(); ++index) {
    if (requests[index].method == "POST" && posts++ == postIndex) break;
  }
  std::string output;
  testing_support::RunCommand("python3 " + testing_support::ShellQuote(kCollectorScript) + " parts " +
                                  testing_support::ShellQuote((m_folder / "requests.jsonl").string()) + " " +
                                  std::to_string(index) + " 2>/dev/null",
                              &output);
  std::vector<CollectedPart> parts;
  auto parsed = nlohmann::json::parse(output, nullptr, false);
  if (!parsed.is_object()) return parts;
  if (defects) {
    for (const auto& defect : parsed["defects"]) defects->push_back(defect.get<std::string>());
  }
  for (const auto& item : parsed["parts"]) {
    CollectedPart part;
    for (const auto& header : item["headers"]) {
      part.headers.emplace_back(header[0].get<std::string>(), header[1].get<std::string>());
    }
    part.content = DecodeBase64(item["content"].get<std::string>());
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace crash_testing
