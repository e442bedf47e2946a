// The simulated machine's side of the schtasks stand-in: UTF-8 arguments and
// the accounts of the machine's profile.
#include "schtasks_machine.h"

#include "platform/codepage.h"
#include "platform/sim/machine/machine.h"

namespace schtasks_machine {

std::vector<std::wstring> Arguments(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::Utf8ToWide(argv[i]));
  return arguments;
}

std::vector<std::wstring> UserAccounts() {
  const platform::Profile& profile = platform::Machine::Current().GetProfile();
  return {platform::Utf8ToWide(profile.installerUser), platform::Utf8ToWide(profile.desktopUser)};
}

// The machine's console passes bytes through unchanged.
void UseBinaryConsole() {}

}  // namespace schtasks_machine
