// The simulated machine exists as long as its folder does: a test that
// removes it ends the stand-ins still running on it.
#include <filesystem>

#include "platform/sim/machine/machine.h"
#include "stand_in_support.h"

namespace stand_in {

bool MachineExists() {
  std::error_code error;
  return std::filesystem::exists(platform::Machine::Current().Root() / "profile.json", error);
}

}  // namespace stand_in
