// The stop of a program whose machine cannot be used.
#include "platform/sim/machine/machine_stop.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

void StopOnUnusableMachine(const std::string& message) {
  std::string line = "bvlsim: " + message + "\n";
  std::fflush(nullptr);
  // One write, so that the line stays whole beside the output of other processes.
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  // _Exit: another thread may still be working on the machine; static
  // destructors and exit handlers must not run beside it.
  std::_Exit(kUnusableMachineExitCode);
}

void StopOnDamagedStateFile(const std::filesystem::path& file, const std::string& problem) {
  StopOnUnusableMachine("the machine file " + file.string() + " is damaged (" + problem +
                        "); it is left as it is and the program stops");
}

}  // namespace platform
