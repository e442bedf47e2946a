// winsim: creates and inspects simulated Windows machines — registry, files,
// processes, debug log — and changes them the way a test or a person at the
// machine would (lock a file, trust a root, reboot, run a program).
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/file_marks.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry_store.h"

namespace {

int Usage() {
  std::cerr << "usage: winsim [--machine DIR] COMMAND ...\n"
               "  create DIR [--profile NAME]   a fresh machine (default profile win10-x64)\n"
               "  profiles                      the ready-made profiles\n"
               "  registry [KEY-PREFIX]         keys and values, e.g. 'HKLM\\SOFTWARE\\Korvanta'\n"
               "  files [WINDOWS-PATH]          the files below a folder (default C:\\)\n"
               "  processes                     the running processes\n"
               "  debuglog                      the debug output lines\n"
               "  lock WINDOWS-PATH             mark a file as in use\n"
               "  trust PEM-FILE                add certificates to the trusted roots\n"
               "  reboot                        run the moves scheduled for restart\n"
               "  run WINDOWS-PATH [ARGS...]    start a program on the machine and wait for it\n";
  return 2;
}

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

int ListFiles(const std::wstring& root) {
  auto host = platform::ToHostPath(root);
  std::error_code error;
  if (!host || !std::filesystem::is_directory(*host, error)) {
    std::cerr << "winsim: no folder " << Narrow(root) << "\n";
    return 1;
  }
  std::vector<std::string> lines;
  for (auto it = std::filesystem::recursive_directory_iterator(*host, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::string line = Narrow(platform::ToWindowsPath(it->path()));
    if (it->is_directory()) {
      line += "\\";
    } else {
      line += "  (" + std::to_string(it->file_size()) + " bytes)";
    }
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) std::cout << line << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--machine") {
    // As if the variable named the folder: a folder without a machine is used
    // only when absent or empty.
    ::setenv(platform::kMachineVariable, std::filesystem::absolute(args[1]).c_str(), 1);
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage();
  const std::string& command = args[0];

  if (command == "profiles") {
    for (const auto& p : platform::BuiltinProfiles()) {
      std::cout << p.name << "  " << p.major << "." << p.minor << " SP" << p.servicePackMajor
                << (p.x64 ? " x64" : " x86") << (p.workstation ? "" : " server") << "\n";
    }
    return 0;
  }
  if (command == "create") {
    if (args.size() < 2) return Usage();
    std::string profileName = platform::DefaultProfileName();
    if (args.size() >= 4 && args[2] == "--profile") profileName = args[3];
    auto profile = platform::FindProfile(profileName);
    if (!profile) {
      std::cerr << "winsim: unknown profile " << profileName << "\n";
      return 1;
    }
    std::string error;
    if (!platform::CreateMachine(args[1], *profile, &error)) {
      std::cerr << "winsim: " << error << "\n";
      return 1;
    }
    std::cout << "created " << profile->name << " machine in " << std::filesystem::absolute(args[1]).string() << "\n";
    return 0;
  }
  if (command == "registry") {
    std::wstring prefix = args.size() > 1 ? platform::Utf8ToWide(args[1]) : std::wstring();
    std::cout << Narrow(platform::FormatRegistry(platform::ReadRegistry(), prefix));
    return 0;
  }
  if (command == "files") return ListFiles(args.size() > 1 ? platform::Utf8ToWide(args[1]) : L"C:\\");
  if (command == "processes") {
    for (const auto& p : platform::ListProcesses()) {
      std::cout << p.id << "\tparent " << p.parentId << "\t" << p.user << "\t" << Narrow(p.imagePath) << "\n";
    }
    return 0;
  }
  if (command == "debuglog") {
    for (const auto& line : platform::ReadDebugLog()) {
      std::string text = Narrow(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      std::cout << text << "\n";
    }
    return 0;
  }
  if (command == "lock") {
    if (args.size() < 2) return Usage();
    return platform::LockFile(platform::Utf8ToWide(args[1])) ? 0 : 1;
  }
  if (command == "trust") {
    if (args.size() < 2) return Usage();
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      std::cerr << "winsim: cannot read " << args[1] << "\n";
      return 1;
    }
    std::ofstream out(platform::Machine::Current().TrustedRootsFile(), std::ios::binary | std::ios::app);
    out << in.rdbuf() << "\n";
    return out ? 0 : 1;
  }
  if (command == "reboot") {
    std::cout << platform::RebootMachine() << " scheduled operations run\n";
    return 0;
  }
  if (command == "run") {
    if (args.size() < 2) return Usage();
    std::wstring image = platform::Utf8ToWide(args[1]);
    std::wstring commandLine = L"\"" + image + L"\"";
    for (std::size_t i = 2; i < args.size(); ++i) commandLine += L" " + platform::Utf8ToWide(args[i]);
    win::DWORD id = platform::StartProcess(image, commandLine);
    if (!id) {
      std::cerr << "winsim: cannot start " << args[1] << " (error " << win::GetLastError() << ")\n";
      return 1;
    }
    auto code = platform::WaitForProcess(id, 24 * 3600 * 1000);
    return code ? static_cast<int>(*code) : 1;
  }
  return Usage();
}
