// Fresh simulated machines for tests.
#include "support/scoped_machine.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/sim/processes/host_process.h"
#include "platform/sim/machine/paths.h"

namespace testing_support {

std::filesystem::path MakeTempFolder(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path base = std::filesystem::temp_directory_path() / "bvl-tests";
  std::filesystem::create_directories(base);
  std::filesystem::path folder =
      base / (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

ScopedMachine::ScopedMachine(const std::string& profileName) {
  auto profile = platform::FindProfile(profileName);
  if (!profile) std::abort();
  Create(*profile);
}

ScopedMachine::ScopedMachine(const platform::Profile& profile) { Create(profile); }

void ScopedMachine::Create(const platform::Profile& profile) {
  root_ = MakeTempFolder("machine");
  std::string error;
  if (!platform::CreateMachine(root_, profile, &error)) std::abort();
  platform::Machine::Use(root_);
}

ScopedMachine::~ScopedMachine() {
  // Programs a test started on this machine (services, windows, waiters)
  // end with it. The process table is read here without the machine's own
  // reader, which would stop this program on a table a test damaged on
  // purpose.
  std::ifstream in(root_ / "processes.json", std::ios::binary);
  const nlohmann::json table = nlohmann::json::parse(in, nullptr, false);
  if (table.is_object() && table.contains("processes") && table["processes"].is_array()) {
    for (const nlohmann::json& record : table["processes"]) {
      if (!record.is_object() || !record.contains("hostPid") || !record["hostPid"].is_number_integer()) continue;
      const int pid = static_cast<int>(record["hostPid"].get<long long>());
      const long long start = record.contains("hostStart") && record["hostStart"].is_number_integer()
                                  ? record["hostStart"].get<long long>()
                                  : -2;
      // The start time guards against a pid that another program reused.
      if (pid > 0 && pid != ::getpid() && platform::HostProcessRunning({pid, start})) ::kill(pid, SIGKILL);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path ScopedMachine::Host(const std::wstring& windowsPath) const {
  return platform::ToHostPath(windowsPath).value_or(std::filesystem::path());
}

}  // namespace testing_support
