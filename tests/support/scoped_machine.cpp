// Fresh simulated machines for tests.
#include "support/scoped_machine.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

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
  // end with it.
  if (platform::Machine::Current().Root() == root_) {
    for (const platform::ProcessRecord& record : platform::ListProcesses()) {
      if (record.hostPid == 0 || record.hostPid == ::getpid()) continue;
      if (win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE, record.id)) {
        win::TerminateProcess(process, 1);
        win::CloseHandle(process);
      }
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path ScopedMachine::Host(const std::wstring& windowsPath) const {
  return platform::ToHostPath(windowsPath).value_or(std::filesystem::path());
}

}  // namespace testing_support
