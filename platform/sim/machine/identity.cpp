// Process account, thread impersonation and the process's bitness.
#include "platform/sim/machine/identity.h"

#include <atomic>

#include "platform/sim/machine/machine.h"
#include "platform/process.h"

namespace platform {

namespace {
thread_local std::string t_impersonated;
std::atomic<bool> g_is64Bit{false};
}  // namespace

std::string ProcessUser() {
  const std::string& user = CurrentProcessRecord().user;
  return user.empty() ? Machine::Current().GetProfile().installerUser : user;
}

std::string ThreadUser() { return t_impersonated.empty() ? ProcessUser() : t_impersonated; }
void SetThreadImpersonation(const std::string& user) { t_impersonated = user; }
bool ThreadImpersonates() { return !t_impersonated.empty(); }

void SetProcessIs64Bit(bool is64Bit) { g_is64Bit = is64Bit; }
bool ProcessIs64Bit() { return g_is64Bit; }

}  // namespace platform
