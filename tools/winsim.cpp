// winsim: creates and inspects simulated Windows machines — registry, files,
// processes, services, scheduled tasks, windows, events and mutexes, the
// protection driver, debug log, snapshots — and changes them the way a test
// or a person at the machine would (lock a file, trust a root, reboot, run a
// program, start or stop a service).
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
#include "platform/devices.h"
#include "platform/sim/files/file_marks.h"
#include "platform/files.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_snapshot.h"
#include "platform/sim/machine/paths.h"
#include "platform/process.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/services/scheduled_tasks.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"

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
               "  shutdown                      end every program running on the machine\n"
               "  reboot                        shut down, run the moves scheduled for restart, then start\n"
               "                                the automatic services and the tasks run at system start\n"
               "  run WINDOWS-PATH [ARGS...]    start a program on the machine and wait for it\n"
               "  services                      the services: state, start type, image, account, recovery\n"
               "  start SERVICE | stop SERVICE  start or stop a service through the service manager\n"
               "  tasks                         the scheduled tasks\n"
               "  windows                       the top-level windows and their programs\n"
               "  events                        the named events and whether each is set\n"
               "  mutexes                       the named mutexes and which process owns each\n"
               "  driver                        the protection driver's registry protection\n"
               "  snapshot FILE                 write a snapshot of the machine to FILE\n"
               "  compare BEFORE AFTER          the differences between two snapshot files\n";
  return 2;
}

std::string Narrow(const std::wstring& text) { return platform::WideToUtf8(text); }

// Ends every program of the machine that has a host process; returns how many.
int EndAllPrograms() {
  int ended = 0;
  for (const platform::ProcessRecord& record : platform::ListProcesses()) {
    if (record.hostPid == 0 || record.id == platform::CurrentProcessRecord().id) continue;
    if (win::HANDLE process = win::OpenProcess(win::PROCESS_TERMINATE, win::FALSE, record.id)) {
      if (win::TerminateProcess(process, 0)) ++ended;
      win::CloseHandle(process);
    }
  }
  return ended;
}

// What Windows starts at boot: services of automatic start.
void StartAutomaticServices() {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!manager) return;
  for (const platform::ServiceSummary& summary : platform::ListServices()) {
    if (summary.startType != win::SERVICE_AUTO_START) continue;
    if (win::SC_HANDLE service = win::OpenServiceW(manager, summary.name, win::SERVICE_START)) {
      std::cout << "start service " << Narrow(summary.name)
                << (win::StartServiceW(service, 0, nullptr) ? "" : " failed") << "\n";
      win::CloseServiceHandle(service);
    }
  }
  win::CloseServiceHandle(manager);
}

// The scheduled tasks that run at system start, each started from its action.
void RunStartupTasks() {
  for (const platform::ScheduledTask& task : platform::ListScheduledTasks()) {
    if (task.schedule != L"ONSTART") continue;
    std::vector<std::wstring> words = platform::SplitCommandLine(task.action);
    if (words.empty()) continue;
    const bool started = platform::StartProcess(words[0], task.action) != 0;
    std::cout << "run task " << Narrow(task.name) << (started ? "" : " failed") << "\n";
  }
}

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

// An argument as a Windows command line carries it: quoted when it holds a
// blank or a quote, backslashes before a quote doubled (the MSVC rules).
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out.push_back(c);
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

const char* StateName(win::DWORD state) {
  switch (state) {
    case win::SERVICE_STOPPED: return "STOPPED";
    case win::SERVICE_START_PENDING: return "START_PENDING";
    case win::SERVICE_STOP_PENDING: return "STOP_PENDING";
    case win::SERVICE_RUNNING: return "RUNNING";
    default: return "OTHER";
  }
}

const char* StartName(win::DWORD start) {
  static const char* const names[] = {"BOOT_START", "SYSTEM_START", "AUTO_START", "DEMAND_START", "DISABLED"};
  return start < 5 ? names[start] : "OTHER";
}

int ListServices() {
  for (const auto& s : platform::ListServices()) {
    std::cout << Narrow(s.name) << "\t" << StateName(s.state) << "\t" << StartName(s.startType) << "\ttype 0x"
              << std::hex << s.type << std::dec << "\t" << Narrow(s.imagePath);
    if (!s.account.empty()) std::cout << "\t" << Narrow(s.account);
    if (s.processId) std::cout << "\tprocess " << s.processId;
    if (s.markedForDelete) std::cout << "\tmarked for deletion";
    std::cout << "\n";
    if (s.hasFailureActions) {
      std::cout << "  recovery: reset " << s.resetPeriod << " s";
      for (const auto& a : s.actions) {
        static const char* const types[] = {"none", "restart", "reboot", "run command"};
        std::cout << ", " << (a.Type < 4 ? types[a.Type] : "other") << " after " << a.Delay << " ms";
      }
      std::cout << "\n";
    }
  }
  return 0;
}

// Starts or stops a service and reports the state it reached.
int ControlServiceCommand(const std::string& name, bool start) {
  win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  win::SC_HANDLE service = manager ? win::OpenServiceW(manager, platform::Utf8ToWide(name), win::SERVICE_ALL_ACCESS) : nullptr;
  if (!service) {
    std::cerr << "winsim: cannot open service " << name << " (error " << win::GetLastError() << ")\n";
    if (manager) win::CloseServiceHandle(manager);
    return 1;
  }
  win::SERVICE_STATUS status;
  bool ok = start ? win::StartServiceW(service, 0, nullptr) : win::ControlService(service, win::SERVICE_CONTROL_STOP, &status);
  if (!ok) std::cerr << "winsim: " << (start ? "start" : "stop") << " failed (error " << win::GetLastError() << ")\n";
  win::QueryServiceStatus(service, &status);
  std::cout << name << " " << StateName(status.dwCurrentState) << "\n";
  win::CloseServiceHandle(service);
  win::CloseServiceHandle(manager);
  return ok ? 0 : 1;
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
  if (command == "shutdown") {
    std::cout << EndAllPrograms() << " programs ended\n";
    return 0;
  }
  if (command == "reboot") {
    EndAllPrograms();
    std::cout << platform::RebootMachine() << " scheduled operations run\n";
    StartAutomaticServices();
    RunStartupTasks();
    return 0;
  }
  if (command == "run") {
    if (args.size() < 2) return Usage();
    std::wstring image = platform::Utf8ToWide(args[1]);
    std::wstring commandLine = L"\"" + image + L"\"";
    for (std::size_t i = 2; i < args.size(); ++i) commandLine += L" " + QuoteArgument(platform::Utf8ToWide(args[i]));
    win::DWORD id = platform::StartProcess(image, commandLine);
    if (!id) {
      std::cerr << "winsim: cannot start " << args[1] << " (error " << win::GetLastError() << ")\n";
      return 1;
    }
    auto code = platform::WaitForProcess(id, 24 * 3600 * 1000);
    return code ? static_cast<int>(*code) : 1;
  }
  if (command == "services") return ListServices();
  if (command == "start" || command == "stop") {
    if (args.size() < 2) return Usage();
    return ControlServiceCommand(args[1], command == "start");
  }
  if (command == "tasks") {
    for (const auto& t : platform::ListScheduledTasks()) {
      std::cout << Narrow(t.name) << "\t" << Narrow(t.schedule);
      if (t.schedule == L"MINUTE") std::cout << " every " << t.modifier << " min from " << Narrow(t.startBoundary);
      std::cout << "\tas " << Narrow(t.runAs) << "\t" << Narrow(t.action) << "\n";
    }
    return 0;
  }
  if (command == "windows") {
    for (const auto& w : platform::ListWindows()) {
      std::cout << "0x" << std::hex << reinterpret_cast<std::uintptr_t>(w.window) << std::dec << "\tprocess " << w.processId
                << "\t\"" << Narrow(w.title) << "\"\n";
    }
    return 0;
  }
  if (command == "events") {
    for (const auto& e : platform::ListEvents()) {
      std::cout << Narrow(e.name) << "\t" << (e.set ? "set" : "not set") << "\t"
                << (e.manualReset ? "manual reset" : "auto reset") << "\n";
    }
    return 0;
  }
  if (command == "mutexes") {
    for (const auto& m : platform::ListMutexes()) {
      std::cout << Narrow(m.name) << "\t"
                << (m.owned ? "owned by process " + std::to_string(m.ownerProcessId)
                            : m.abandoned ? std::string("abandoned") : std::string("free"))
                << "\n";
    }
    return 0;
  }
  if (command == "driver") {
    auto state = platform::RegistryProtectionState();
    std::cout << "kvppob registry protection: " << (!state ? "never set" : *state ? "ON" : "OFF") << "\n";
    return 0;
  }
  if (command == "snapshot") {
    if (args.size() < 2) return Usage();
    if (!platform::SaveMachineSnapshot(platform::TakeMachineSnapshot(), args[1])) {
      std::cerr << "winsim: cannot write " << args[1] << "\n";
      return 1;
    }
    return 0;
  }
  if (command == "compare") {
    if (args.size() < 3) return Usage();
    platform::MachineSnapshot before, after;
    for (const auto& [file, snapshot] : {std::pair{args[1], &before}, std::pair{args[2], &after}}) {
      if (!platform::LoadMachineSnapshot(file, snapshot)) {
        std::cerr << "winsim: " << file << " is not a snapshot file\n";
        return 1;
      }
    }
    auto differences = platform::CompareMachineSnapshots(before, after);
    for (const auto& line : differences) std::cout << Narrow(line) << "\n";
    return differences.empty() ? 0 : 3;
  }
  return Usage();
}
