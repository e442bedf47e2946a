// Who the calling code runs as: the process's account and, while a thread
// impersonates, the impersonated user. HKEY_CURRENT_USER follows it.
#pragma once

#include <string>

namespace platform {

// The account the process runs as (the profile's installer user, unless the
// process record says otherwise).
std::string ProcessUser();
// The user whose identity the calling thread carries now.
std::string ThreadUser();
// Sets or clears (empty) the calling thread's impersonated user.
void SetThreadImpersonation(const std::string& user);
bool ThreadImpersonates();

// The installer is a 32-bit program; on an x64 profile it runs under WOW64.
// Tools of the machine may declare themselves 64-bit.
void SetProcessIs64Bit(bool is64Bit);
bool ProcessIs64Bit();

}  // namespace platform
