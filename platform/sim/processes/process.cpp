// The machine's process table (processes.json) and the process API over it.
#include "platform/process.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <map>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

#include "platform/sim/processes/builtin_programs.h"
#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/processes/host_process.h"
#include "platform/sim/files/file_lock.h"
#include "platform/files.h"
#include "platform/sim/machine/identity.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/machine/last_error.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/shell_execute.h"
#include "platform/sim/machine/state_file.h"

namespace platform {

namespace {

std::filesystem::path TableFile() { return Machine::Current().Root() / "processes.json"; }

// The start time (not the pid alone) identifies a host process: pids are
// reused. The table holds no negative times: a process already gone when its
// record is written is recorded with start 0, which no process that could
// reuse its pid has, so the next refresh finds it ended.
long long RecordedStartTime(int pid) {
  const long long start = HostProcessStartTime(pid);
  return start == kNoHostProcess ? 0 : start;
}

// Host processes this process started, with their exit codes once reaped.
std::mutex g_childrenMutex;
std::map<int, int>& ChildExitCodes() {
  static std::map<int, int> codes;  // host pid → exit code, -1 while running
  return codes;
}

void ReapChildren() {
  std::lock_guard<std::mutex> guard(g_childrenMutex);
  for (auto& [pid, code] : ChildExitCodes()) {
    if (code != -1) continue;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
  }
}

// Waits for one child of ours that is known to have ended.
void ReapChild(int pid) {
  std::lock_guard<std::mutex> guard(g_childrenMutex);
  auto it = ChildExitCodes().find(pid);
  if (it == ChildExitCodes().end() || it->second != -1) return;
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid) it->second = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

std::optional<int> ChildExitCode(int pid) {
  std::lock_guard<std::mutex> guard(g_childrenMutex);
  auto it = ChildExitCodes().find(pid);
  if (it == ChildExitCodes().end() || it->second == -1) return std::nullopt;
  return it->second;
}

struct Table {
  win::DWORD nextId = 1000;
  std::vector<ProcessRecord> records;
};

// processes.json: {"nextId": n, "processes": [{"id", "parent", "image", ...}]}.
// A host process id is checked to be a real one (positive) or 0 for a
// resident record: a negative one would make terminate signal a whole
// process group.
void Decode(const StateValue& doc, Table* table) {
  table->nextId = doc.Optional("nextId").Whole(table->nextId);
  for (const StateValue& p : doc.Optional("processes").Elements()) {
    ProcessRecord r;
    r.id = p.Optional("id").Whole(r.id);
    r.parentId = p.Optional("parent").Whole(r.parentId);
    r.imagePath = Utf8ToWide(p.Optional("image").Text());
    r.user = p.Optional("user").Text();
    r.hostPid = p.Optional("hostPid").Whole(0, 0, std::numeric_limits<int>::max());
    r.hostStart = p.Optional("hostStart").Whole(0LL, 0LL, std::numeric_limits<long long>::max());
    r.is64Bit = p.Optional("is64Bit").Flag(false);
    r.running = p.Optional("running").Flag(true);
    r.exitCode = p.Optional("exitCode").Whole(win::STILL_ACTIVE);
    table->records.push_back(r);
  }
}

std::string Serialise(const Table& table) {
  nlohmann::json list = nlohmann::json::array();
  for (const ProcessRecord& r : table.records) {
    list.push_back({{"id", r.id}, {"parent", r.parentId}, {"image", WideToUtf8(r.imagePath)}, {"user", r.user},
                    {"hostPid", r.hostPid}, {"hostStart", r.hostStart}, {"is64Bit", r.is64Bit},
                    {"running", r.running}, {"exitCode", r.exitCode}});
  }
  return nlohmann::json{{"nextId", table.nextId}, {"processes", list}}.dump(1);
}

// Brings host-backed records up to date: a host process that is gone has
// ended (with its exit code when this process reaped it).
void Refresh(Table& table) {
  ReapChildren();
  for (ProcessRecord& r : table.records) {
    if (!r.running || r.hostPid == 0) continue;
    if (!HostProcessRunning(HostProcess{r.hostPid, r.hostStart})) {
      r.running = false;
      // A child of ours that ended after ReapChildren looked is reaped now,
      // so that its exit code is not mistaken for 0.
      if (r.exitCode == win::STILL_ACTIVE && !ChildExitCode(r.hostPid)) ReapChild(r.hostPid);
      if (r.exitCode == win::STILL_ACTIVE) r.exitCode = static_cast<win::DWORD>(ChildExitCode(r.hostPid).value_or(0));
    }
  }
}

// The table this process parsed last, reused while the file is unchanged
// (every write replaces the file, so its identity changes). A damaged table
// stops the program before it could be written over.
struct TableCache {
  std::mutex mutex;
  std::string file;
  StateFileIdentity identity;
  Table table;
};

Table LoadParsed() {
  static TableCache cache;
  std::filesystem::path file = TableFile();
  std::optional<StateFileIdentity> now = IdentifyStateFile(file);
  if (!now) return Table();
  std::lock_guard<std::mutex> guard(cache.mutex);
  if (cache.file != file.string() || cache.identity != *now) {
    Table table;
    StateFileIdentity read;
    if (!ReadStateFile(file, [&](const StateValue& doc) { Decode(doc, &table); }, &read)) return Table();
    cache.table = table;
    cache.file = file.string();
    cache.identity = read;
  }
  return cache.table;
}

Table Load() {
  Table table = LoadParsed();
  Refresh(table);
  return table;
}

template <typename F>
auto Change(F change) {
  FileLock lock(TableFile(), true);
  Table table = Load();
  auto result = change(table);
  WriteFileAtomically(TableFile(), Serialise(table));
  return result;
}

win::DWORD Allocate(Table& table) {
  win::DWORD id = table.nextId;
  table.nextId += 4;
  return id;
}

std::wstring SelfImagePath() {
  std::error_code error;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::wstring() : ToWindowsPath(exe);
}

// This process's record, created on first use. Cached: a process's own id
// and account never change.
struct SelfCache {
  std::mutex mutex;
  std::string machine;
  int hostPid = 0;
  ProcessRecord record;
};

SelfCache& Self() {
  static SelfCache cache;
  return cache;
}

}  // namespace

const ProcessRecord& CurrentProcessRecord() {
  SelfCache& self = Self();
  std::lock_guard<std::mutex> guard(self.mutex);
  std::string machine = Machine::Current().Root().string();
  if (self.machine == machine && self.hostPid == ::getpid()) return self.record;
  int pid = ::getpid();
  long long start = RecordedStartTime(pid);
  self.record = Change([&](Table& table) {
    for (const ProcessRecord& r : table.records) {
      // A record the starting process wrote: a built-in program takes the
      // bitness of its stub image from it.
      if (r.hostPid == pid && r.hostStart == start && r.running) {
        if (r.is64Bit) SetProcessIs64Bit(true);
        return r;
      }
    }
    ProcessRecord r;
    r.id = Allocate(table);
    r.imagePath = SelfImagePath();
    r.user = Machine::Current().GetProfile().installerUser;
    r.hostPid = pid;
    r.hostStart = start;
    r.is64Bit = ProcessIs64Bit();
    int parentPid = ::getppid();
    for (const ProcessRecord& parent : table.records) {
      if (parent.hostPid == parentPid && parent.running) r.parentId = parent.id;
    }
    table.records.push_back(r);
    return r;
  });
  self.machine = machine;
  self.hostPid = pid;
  return self.record;
}

std::vector<ProcessRecord> ListProcesses() {
  CurrentProcessRecord();
  FileLock lock(TableFile(), false);
  std::vector<ProcessRecord> running;
  for (const ProcessRecord& r : Load().records) {
    if (r.running) running.push_back(r);
  }
  std::sort(running.begin(), running.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return running;
}

std::optional<ProcessRecord> FindProcess(win::DWORD id) {
  FileLock lock(TableFile(), false);
  for (const ProcessRecord& r : Load().records) {
    if (r.id == id) return r;
  }
  return std::nullopt;
}

win::DWORD AddResidentProcess(const std::wstring& imagePath, const std::string& user, win::DWORD parentId,
                              win::DWORD id) {
  return Change([&](Table& table) {
    ProcessRecord r;
    r.id = id ? id : Allocate(table);
    if (table.nextId <= r.id) table.nextId = (r.id + 4) & ~3u;
    r.parentId = parentId;
    r.imagePath = imagePath;
    r.user = user;
    r.is64Bit = Machine::Current().GetProfile().x64;
    table.records.push_back(r);
    return r.id;
  });
}

void AddResidentProcesses(const std::wstring& imagePath, const std::string& user, int count) {
  Change([&](Table& table) {
    for (int i = 0; i < count; ++i) {
      ProcessRecord r;
      r.id = Allocate(table);
      r.imagePath = imagePath;
      r.user = user;
      table.records.push_back(r);
    }
    return true;
  });
}

win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine, const std::string& stdoutPath) {
  ProcessStartOptions options;
  options.stdoutPath = stdoutPath;
  return StartProcess(imagePath, commandLine, options);
}

namespace {

// The environment of a new program: ours, its machine, and what the stand-in
// OS passes (a service's name). Built before fork: the child may only make
// async-signal-safe calls.
std::vector<std::string> ChildEnvironment(const std::string& machine, const ProcessStartOptions& options) {
  std::vector<std::pair<std::string, std::string>> extra = options.environment;
  extra.emplace_back(kMachineVariable, machine);
  std::vector<std::string> result;
  for (char** variable = environ; *variable; ++variable) {
    std::string entry(*variable);
    bool replaced = false;
    for (const auto& [name, value] : extra) {
      if (entry.compare(0, name.size() + 1, name + "=") == 0) replaced = true;
    }
    if (!replaced) result.push_back(entry);
  }
  for (const auto& [name, value] : extra) result.push_back(name + "=" + value);
  return result;
}

// The program an image path runs: its host file, or for a stub naming a
// built-in program that program, and whether it runs as a 64-bit process.
// False with the last error set when there is nothing to run.
struct Program {
  std::filesystem::path host;  // the image file on the machine's drive
  std::filesystem::path run;   // what is executed
  bool is64Bit = false;
};

bool ResolveProgram(const std::wstring& imagePath, Program* program) {
  auto host = ToHostPath(imagePath);
  std::error_code error;
  if (!host || !std::filesystem::is_regular_file(*host, error)) {
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    return false;
  }
  program->host = *host;
  program->run = *host;
  if (auto builtin = BuiltinProgramName(*host)) {
    auto path = BuiltinProgramPath(*builtin);
    if (!path) {
      win::SetLastError(win::ERROR_BAD_EXE_FORMAT);
      return false;
    }
    program->run = *path;
    program->is64Bit = BuiltinProgramIs64Bit(*host);
  } else if (::access(host->c_str(), X_OK) != 0) {
    win::SetLastError(win::ERROR_BAD_FORMAT);
    return false;
  }
  return true;
}

// The argument and environment vectors of a new program, built before fork:
// the child may only make async-signal-safe calls.
struct ChildLaunch {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

void PrepareLaunch(const Program& program, const std::wstring& imagePath, const std::wstring& commandLine,
                   const ProcessStartOptions& options, ChildLaunch* launch) {
  std::vector<std::wstring> args = SplitCommandLine(commandLine);
  if (args.empty()) args.push_back(imagePath);
  launch->arguments.push_back(program.run.string());
  for (std::size_t k = 1; k < args.size(); ++k) launch->arguments.push_back(WideToUtf8(args[k]));
  launch->environment = ChildEnvironment(Machine::Current().Root().string(), options);
  for (auto& a : launch->arguments) launch->argv.push_back(a.data());
  launch->argv.push_back(nullptr);
  for (auto& e : launch->environment) launch->envp.push_back(e.data());
  launch->envp.push_back(nullptr);
}

// The child's side of the fork: waits until the parent has written its
// record (the gate's write end closes), sets up its standard streams and
// runs the program.
[[noreturn]] void RunChild(int gate, const ChildLaunch& launch, const ProcessStartOptions& options) {
  char byte;
  while (::read(gate, &byte, 1) < 0 && errno == EINTR) {
  }
  // Standard streams first (their sources may be any descriptor), then
  // nothing else of ours.
  auto attach = [&](int source, int target) {
    if (source >= 0) ::dup2(source, target);
  };
  if (options.detachedConsole) {
    int null = ::open("/dev/null", O_RDWR);
    for (int target = 0; target <= 2; ++target) attach(null, target);
  }
  attach(options.stdinDescriptor, 0);
  attach(options.stdoutDescriptor, 1);
  attach(options.stderrDescriptor, 2);
  if (!options.stdoutPath.empty()) attach(::open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != gate) ::close(fd);
  }
  ::execve(launch.argv[0], launch.argv.data(), launch.envp.data());
  ::_exit(127);
}

// The parent's side: the new process's record in the machine's process
// table, as a child of `parent` running as `user`; returns its id.
win::DWORD RecordChild(pid_t pid, const Program& program, win::DWORD parent, const std::string& user) {
  {
    std::lock_guard<std::mutex> guard(g_childrenMutex);
    ChildExitCodes()[pid] = -1;
  }
  const long long start = RecordedStartTime(pid);
  const std::wstring image = ToWindowsPath(program.host);
  return Change([&](Table& table) {
    ProcessRecord r;
    r.id = Allocate(table);
    r.parentId = parent;
    r.imagePath = image;
    r.user = user;
    r.hostPid = pid;
    r.hostStart = start;
    r.is64Bit = program.is64Bit;
    table.records.push_back(r);
    return r.id;
  });
}

}  // namespace

win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine,
                        const ProcessStartOptions& options) {
  if (ShouldFail("CreateProcess", imagePath)) return 0;
  Program program;
  if (!ResolveProgram(imagePath, &program)) return 0;
  ChildLaunch launch;
  PrepareLaunch(program, imagePath, commandLine, options, &launch);
  const win::DWORD parent = options.parentId ? options.parentId : CurrentProcessRecord().id;
  const std::string user = options.user.empty() ? ProcessUser() : options.user;
  // The child waits at this gate until its record exists, so that whatever
  // it does first finds itself in the process table.
  int gate[2];
  if (::pipe2(gate, O_CLOEXEC) != 0) {
    win::SetLastError(win::ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(gate[0]);
    ::close(gate[1]);
    win::SetLastError(win::ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (pid == 0) {
    ::close(gate[1]);
    RunChild(gate[0], launch, options);
  }
  ::close(gate[0]);
  const win::DWORD id = RecordChild(pid, program, parent, user);
  ::close(gate[1]);
  return id;
}

std::optional<win::DWORD> WaitForProcess(win::DWORD id, int timeoutMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (true) {
    auto record = FindProcess(id);
    if (!record) return std::nullopt;
    if (!record->running) return record->exitCode;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace platform

namespace win {

namespace {

struct ProcessObject : KernelObject {
  DWORD id = 0;
  DWORD access = 0;
};

struct TokenObject : KernelObject {
  std::string user;
};

struct SnapshotObject : KernelObject {
  std::vector<platform::ProcessRecord> records;
  std::size_t next = 0;
};

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(~std::uintptr_t{1});

using platform::FailWith;

// The process a handle names (the pseudo handle included).
std::optional<platform::ProcessRecord> ProcessOf(HANDLE handle) {
  if (handle == kCurrentProcess) return platform::CurrentProcessRecord();
  auto* object = platform::HandleAs<ProcessObject>(handle);
  if (!object) return std::nullopt;
  return platform::FindProcess(object->id);
}

DWORD CopyOut(const std::wstring& text, wchar_t* buffer, DWORD size) {
  if (!buffer || size == 0) return FailWith(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  if (text.size() >= size) {
    std::copy(text.begin(), text.begin() + (size - 1), buffer);
    buffer[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = L'\0';
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD GetCurrentProcessId() { return platform::CurrentProcessRecord().id; }
HANDLE GetCurrentProcess() { return kCurrentProcess; }
HANDLE GetCurrentThread() { return kCurrentThread; }

BOOL IsWow64Process(HANDLE process, BOOL* wow64) {
  if (platform::ShouldFail("IsWow64Process")) return FALSE;
  auto record = ProcessOf(process);
  if (!record || !wow64) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  *wow64 = platform::Machine::Current().GetProfile().x64 && !record->is64Bit ? TRUE : FALSE;
  return TRUE;
}

BOOL K32EnumProcesses(DWORD* ids, DWORD capacity, DWORD* returned) {
  if (platform::ShouldFail("K32EnumProcesses")) return FALSE;
  if (!ids || !returned) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
  auto records = platform::ListProcesses();
  DWORD count = 0;
  for (const auto& r : records) {
    if (count >= capacity) break;
    ids[count++] = r.id;
  }
  *returned = count;
  return TRUE;
}

HANDLE OpenProcess(DWORD access, BOOL, DWORD processId) {
  if (platform::ShouldFail("OpenProcess", std::to_wstring(processId))) return nullptr;
  auto record = platform::FindProcess(processId);
  if (!record || processId == 0) return FailWith(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  auto* object = new ProcessObject();
  object->id = processId;
  object->access = access;
  return platform::RegisterHandle(object);
}

DWORD GetProcessId(HANDLE process) {
  auto record = ProcessOf(process);
  if (!record) return FailWith(ERROR_INVALID_HANDLE, DWORD{0});
  return record->id;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  auto record = ProcessOf(process);
  if (!record || !exitCode) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  *exitCode = record->running ? STILL_ACTIVE : record->exitCode;
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  auto record = ProcessOf(process);
  if (!record) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (platform::ShouldFail("TerminateProcess", PathFindFileNameW(record->imagePath))) return FALSE;
  if (!record->running) return FailWith(ERROR_ACCESS_DENIED, FALSE);
  if (record->hostPid != 0) {
    if (::kill(record->hostPid, SIGKILL) != 0) return FailWith(ERROR_ACCESS_DENIED, FALSE);
    // Reap our own child so that it does not linger as a zombie.
    bool ours = false;
    {
      std::lock_guard<std::mutex> guard(platform::g_childrenMutex);
      ours = platform::ChildExitCodes().count(record->hostPid) > 0;
    }
    if (ours) {
      int status = 0;
      ::waitpid(record->hostPid, &status, 0);
      std::lock_guard<std::mutex> guard(platform::g_childrenMutex);
      platform::ChildExitCodes()[record->hostPid] = static_cast<int>(exitCode);
    }
  }
  DWORD id = record->id;
  platform::Change([&](platform::Table& table) {
    for (auto& r : table.records) {
      if (r.id == id) {
        r.running = false;
        r.exitCode = exitCode;
      }
    }
    return true;
  });
  return TRUE;
}

DWORD K32GetModuleFileNameExW(HANDLE process, HMODULE, wchar_t* buffer, DWORD size) {
  auto record = ProcessOf(process);
  if (!record) return FailWith(ERROR_INVALID_HANDLE, DWORD{0});
  if (platform::ShouldFail("K32GetModuleFileNameEx", PathFindFileNameW(record->imagePath))) return 0;
  // A path without a drive is no module file (the System process).
  if (record->imagePath.size() < 3 || record->imagePath[1] != L':') return FailWith(ERROR_ACCESS_DENIED, DWORD{0});
  return CopyOut(record->imagePath, buffer, size);
}

DWORD K32GetProcessImageFileNameW(HANDLE process, wchar_t* buffer, DWORD size) {
  auto record = ProcessOf(process);
  if (!record) return FailWith(ERROR_INVALID_HANDLE, DWORD{0});
  if (platform::ShouldFail("K32GetProcessImageFileName", PathFindFileNameW(record->imagePath))) return 0;
  const std::wstring& path = record->imagePath;
  if (path.size() < 3 || path[1] != L':') return FailWith(ERROR_INVALID_HANDLE, DWORD{0});
  wchar_t drive = static_cast<wchar_t>(std::towupper(path[0]));
  std::wstring device = drive == L'C' ? L"\\Device\\HarddiskVolume2" : L"\\Device\\HarddiskVolume1";
  return CopyOut(device + path.substr(2), buffer, size);
}

DWORD GetModuleFileNameW(HMODULE, wchar_t* buffer, DWORD size) {
  if (platform::ShouldFail("GetModuleFileName")) return 0;
  return CopyOut(platform::CurrentProcessRecord().imagePath, buffer, size);
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
  if (platform::ShouldFail("CreateToolhelp32Snapshot")) return INVALID_HANDLE_VALUE;
  if (!(flags & TH32CS_SNAPPROCESS)) return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  auto* snapshot = new SnapshotObject();
  snapshot->records = platform::ListProcesses();
  return platform::RegisterHandle(snapshot);
}

namespace {
BOOL SnapshotEntry(HANDLE handle, PROCESSENTRY32W* entry, bool first) {
  auto* snapshot = platform::HandleAs<SnapshotObject>(handle);
  if (!snapshot || !entry) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (first) snapshot->next = 0;
  if (snapshot->next >= snapshot->records.size()) return FailWith(ERROR_NO_MORE_FILES, FALSE);
  const auto& r = snapshot->records[snapshot->next++];
  entry->th32ProcessID = r.id;
  entry->th32ParentProcessID = r.parentId;
  entry->szExeFile = PathFindFileNameW(r.imagePath);
  return TRUE;
}
}  // namespace

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) { return SnapshotEntry(snapshot, entry, true); }
BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) { return SnapshotEntry(snapshot, entry, false); }

BOOL OpenProcessToken(HANDLE process, DWORD, HANDLE* token) {
  if (platform::ShouldFail("OpenProcessToken")) return FALSE;
  auto record = ProcessOf(process);
  if (!record || !token) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  auto* object = new TokenObject();
  object->user = record->user;
  *token = platform::RegisterHandle(object);
  return TRUE;
}

BOOL OpenThreadToken(HANDLE thread, DWORD, BOOL, HANDLE* token) {
  if (thread != kCurrentThread || !token) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  if (!platform::ThreadImpersonates()) return FailWith(ERROR_NO_TOKEN, FALSE);
  auto* object = new TokenObject();
  object->user = platform::ThreadUser();
  *token = platform::RegisterHandle(object);
  return TRUE;
}

BOOL ImpersonateLoggedOnUser(HANDLE token) {
  if (platform::ShouldFail("ImpersonateLoggedOnUser")) return FALSE;
  auto* object = platform::HandleAs<TokenObject>(token);
  if (!object) return FailWith(ERROR_INVALID_HANDLE, FALSE);
  platform::SetThreadImpersonation(object->user);
  return TRUE;
}

BOOL RevertToSelf() {
  platform::SetThreadImpersonation(std::string());
  return TRUE;
}

}  // namespace win
