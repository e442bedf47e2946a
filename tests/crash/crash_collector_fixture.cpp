// Runs tools/crash_collector.py for a test and reads back what it received.
#include "crash/crash_collector_fixture.h"

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <mutex>

#include "platform/internet_settings.h"
#include "platform/sim/machine/machine.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "support/host_files.h"
#include "support/scoped_machine.h"
#include "support/server_child.h"
#include "support/test_pki.h"

namespace crash_testing {
namespace {

const std::string kCollectorScript = std::string(BVL_SOURCE_DIR) + "/tools/crash_collector.py";

// The collector script's `command` with `arguments`, each quoted for the shell.
std::string CollectorShellCommand(const std::string& command, const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& word : testing_support::PythonCommand(kCollectorScript)) {
    line += testing_support::ShellQuote(word) + " ";
  }
  line += command;
  for (const std::string& argument : arguments) line += " " + testing_support::ShellQuote(argument);
  return line;
}

// The test CA and the collector's certificate, made once a day per build
// folder (they are valid for two days): the first test program makes them
// in a folder of its own and moves that in place whole; one that loses the
// race uses the winner's.
const std::filesystem::path& PkiFolder(std::string* error) {
  static std::once_flag once;
  static std::filesystem::path folder;
  static std::string failure;
  std::call_once(once, [] {
    const long day = static_cast<long>(std::time(nullptr) / 86400);
    const std::filesystem::path shared =
        std::filesystem::path(BVL_BINARY_DIR) / ("crash-collector-pki-" + std::to_string(day));
    std::error_code ignored;
    if (!std::filesystem::exists(shared / "server.pem")) {
      std::filesystem::path candidate = shared;
      candidate += ".new-" + std::to_string(::getpid());
      std::filesystem::remove_all(candidate, ignored);
      std::string output;
      const int status = testing_support::RunCommand(
          CollectorShellCommand("pki", {candidate.string(), "crash.brimvale.example"}), &output);
      if (status != 0) {
        failure = "cannot make the collector's certificates: " + output;
        std::filesystem::remove_all(candidate, ignored);
        return;
      }
      std::filesystem::rename(candidate, shared, ignored);
      std::filesystem::remove_all(candidate, ignored);  // another program's folder came first
    }
    if (std::filesystem::exists(shared / "server.pem")) {
      folder = shared;
    } else {
      failure = "no collector certificates in " + shared.string();
    }
  });
  if (error) *error = failure;
  return folder;
}

}  // namespace

CrashCollector::CrashCollector() {
  const std::filesystem::path& pki = PkiFolder(&m_error);
  if (pki.empty()) return;
  m_folder = testing_support::MakeTempFolder("crash-collector");
  AnswerWith(200);
  std::vector<std::string> args = testing_support::PythonCommand(kCollectorScript);
  args.insert(args.end(), {"serve", "--log", (m_folder / "requests.jsonl").string(), "--control",
                           (m_folder / "control.json").string(), "--cert", (pki / "server.pem").string(), "--key",
                           (pki / "server.key").string(), "--max-seconds", "60"});
  m_port = m_server.Start(std::move(args), m_folder / "collector.err");
  if (m_port == 0) m_error = "the crash collector did not report its port";
}

CrashCollector::~CrashCollector() {
  m_server.Stop();
  if (!m_folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
}

std::filesystem::path CrashCollector::CaFile() const { return PkiFolder(nullptr) / "ca.pem"; }

void CrashCollector::AnswerWith(int status) {
  std::ofstream(m_folder / "control.json") << nlohmann::json{{"status", status}}.dump();
}

void CrashCollector::AnswerEndlessly(int bytesPerSecond) {
  nlohmann::json control{{"status", 200}};
  control[bytesPerSecond == 0 ? "endless" : "drip"] = bytesPerSecond == 0 ? nlohmann::json(true) : nlohmann::json(bytesPerSecond);
  std::ofstream(m_folder / "control.json") << control.dump();
}

void CrashCollector::NeverAnswer() {
  std::ofstream(m_folder / "control.json") << nlohmann::json{{"hang", true}}.dump();
}

void CrashCollector::ServeCurrentMachine() const {
  std::ofstream(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app)
      << testing_support::ReadHostFile(CaFile()) << "\n";
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

std::vector<CollectedRequest> CrashCollector::Requests() const { return testing_support::ReadRequestLog(m_folder / "requests.jsonl"); }

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
  testing_support::RunCommand(
      CollectorShellCommand("parts", {(m_folder / "requests.jsonl").string(), std::to_string(index)}) + " 2>/dev/null",
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
    part.content = testing_support::DecodeBase64(item["content"].get<std::string>());
    parts.push_back(std::move(part));
  }
  return parts;
}

}  // namespace crash_testing
