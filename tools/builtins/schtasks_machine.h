// What the schtasks stand-in takes from the machine it runs on, besides the
// task store (platform/sim/services/scheduled_tasks.h): its arguments, the
// user accounts a task may run as and a console that keeps the bytes it
// writes. One implementation per platform (sim/, windows/).
#pragma once

#include <string>
#include <vector>

namespace schtasks_machine {

// The program's arguments after its name, as the command line gave them.
std::vector<std::wstring> Arguments(int argc, char** argv);
// The accounts /ru may name besides the system account; the first is the
// account a task runs as when /ru is not given (the installing user's).
std::vector<std::wstring> UserAccounts();
// Standard output takes the bytes as written: the tool ends its lines with
// CR LF itself.
void UseBinaryConsole();

}  // namespace schtasks_machine
