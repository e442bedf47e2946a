// Ending a program whose machine cannot be used: a machine folder that holds
// something else, or a state file that is damaged. The program stops with a
// message naming what is wrong and a distinct exit code, and changes nothing.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// The exit code of a program stopped on an unusable machine (sysexits'
// EX_CONFIG): neither success nor any code the programs of the machine use.
constexpr int kUnusableMachineExitCode = 78;

// Writes "bvlsim: <message>" to standard error, flushes every output stream
// and ends the process with kUnusableMachineExitCode, without running
// destructors or handlers that could touch the machine again.
[[noreturn]] void StopOnUnusableMachine(const std::string& message);

// The report of a damaged state file: names the file and the problem found,
// and says that the file was left as it is.
[[noreturn]] void StopOnDamagedStateFile(const std::filesystem::path& file, const std::string& problem);

}  // namespace platform
