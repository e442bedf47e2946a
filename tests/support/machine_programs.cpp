// Stub programs and waits for tests on a simulated machine.
#include "support/machine_programs.h"

#include <fstream>

#include "platform/sim/processes/builtin_programs.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_wait.h"
#include "platform/sim/machine/paths.h"

namespace testing_support {

bool PlaceBuiltinProgram(const std::wstring& windowsPath, const std::string& name, const std::string& machine) {
  auto host = platform::ToHostPath(windowsPath);
  std::string image = platform::BuiltinStubImage(machine, name);
  if (!host || image.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(host->parent_path(), error);
  std::ofstream out(*host, std::ios::binary | std::ios::trunc);
  out << image;
  return static_cast<bool>(out.flush());
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMilliseconds) {
  const auto& machine = platform::Machine::Current();
  return platform::WaitForMachine(condition, timeoutMilliseconds, {machine.StateFolder(), machine.Root()});
}

}  // namespace testing_support
