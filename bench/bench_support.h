// What the benchmarks share: a fresh simulated machine, the peak memory of
// this process, elapsed time, and the output and peak memory of a peer tool
// run through the shell.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "platform/sim/machine/machine.h"

namespace bench {

// Peak resident memory (VmHWM) of this process in KiB; -1 when unknown.
inline long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Creates a machine of `profile` in `folder` (absent or empty) and makes it
// the current one; says why on standard error when it cannot.
inline bool UseNewMachine(const std::filesystem::path& folder, const std::string& profile = "win10-x64") {
  std::string error;
  if (!platform::CreateMachine(folder, *platform::FindProfile(profile), &error)) {
    std::fprintf(stderr, "cannot create the machine: %s\n", error.c_str());
    return false;
  }
  platform::Machine::Use(folder);
  return true;
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a shell command and returns what it printed on standard output.
inline std::string CommandOutput(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    std::size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, read);
    pclose(pipe);
  }
  return output;
}

// Runs this benchmark's own program with "--one" and `arguments` (each
// quoted for the shell) and returns what that run printed.
inline std::string RunSelfOnce(const std::string& self, std::initializer_list<std::string> arguments) {
  std::string command = "'" + self + "' --one";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  return CommandOutput(command);
}

// The peak memory "/usr/bin/time -f 'MAXRSS %M'" reported in `output`, in KiB; 0 when absent.
inline long ReportedMaxRss(const std::string& output) {
  const std::size_t at = output.find("MAXRSS ");
  return at == std::string::npos ? 0 : std::strtol(output.c_str() + at + 7, nullptr, 10);
}

}  // namespace bench
