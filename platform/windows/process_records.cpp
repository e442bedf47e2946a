// The process records of platform/process.h read from the system: the
// process list of a snapshot, each process's image path, account, bitness
// and creation time, and programs started with their handles kept, so that
// their exit codes can still be read after they ended.
#include "platform/process.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>

#include "platform/windows/windows_api.h"

#include <io.h>
#include <tlhelp32.h>

namespace platform {

namespace {

// Closes a system handle when it goes out of scope.
struct HandleCloser {
  void operator()(void* handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
  return text;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The account a process runs as, as its token names it ("SYSTEM", a user
// name); empty when the process may not be asked.
std::string AccountOf(::HANDLE process) {
  ::HANDLE token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return std::string();
  OwnedHandle owned(token);
  ::DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return std::string();
  const auto* user = reinterpret_cast<const ::TOKEN_USER*>(buffer.data());
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  ::DWORD nameSize = 256;
  ::DWORD domainSize = 256;
  ::SID_NAME_USE use;
  if (!::LookupAccountSidW(nullptr, user->User.Sid, name, &nameSize, domain, &domainSize, &use)) return std::string();
  return Utf8(name);
}

std::wstring ImagePathOf(::HANDLE process) {
  std::wstring path(32768, L'\0');
  ::DWORD size = static_cast<::DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(process, 0, path.data(), &size)) return std::wstring();
  path.resize(size);
  return path;
}

long long CreationTimeOf(::HANDLE process) {
  ::FILETIME created{}, ended{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  return static_cast<long long>((static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
}

bool SystemIs64Bit() {
  if (sizeof(void*) == 8) return true;
  ::BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// What the system tells of one process; `process` may be null (a process
// this one may not open), then only the snapshot's facts are known.
ProcessRecord RecordOf(::HANDLE process, win::DWORD id, win::DWORD parentId, const std::wstring& exeFile) {
  ProcessRecord r;
  r.id = id;
  r.parentId = parentId;
  r.imagePath = exeFile;
  // Windows runs every program itself: each process is its own host.
  r.hostPid = static_cast<int>(id);
  if (!process) return r;
  std::wstring path = ImagePathOf(process);
  if (!path.empty()) r.imagePath = path;
  r.user = AccountOf(process);
  r.hostStart = CreationTimeOf(process);
  ::BOOL wow64 = FALSE;
  r.is64Bit = SystemIs64Bit() && ::IsWow64Process(process, &wow64) && !wow64;
  ::DWORD code = STILL_ACTIVE;
  if (::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) {
    r.running = false;
    r.exitCode = code;
  }
  return r;
}

struct SnapshotEntry {
  win::DWORD id = 0;
  win::DWORD parentId = 0;
  std::wstring exeFile;
};

std::vector<SnapshotEntry> SnapshotProcesses() {
  std::vector<SnapshotEntry> entries;
  OwnedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return entries;
  ::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (::BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    entries.push_back(SnapshotEntry{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  }
  return entries;
}

OwnedHandle OpenForQuery(win::DWORD id) {
  return OwnedHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
}

// Programs started by StartProcess, by id: their handles stay open so that an
// ended program's exit code can be read and its id is not reused meanwhile.
std::mutex g_startedMutex;
std::map<win::DWORD, ::HANDLE>& Started() {
  static std::map<win::DWORD, ::HANDLE> started;
  return started;
}

::HANDLE StartedHandle(win::DWORD id) {
  std::lock_guard<std::mutex> guard(g_startedMutex);
  auto it = Started().find(id);
  return it == Started().end() ? nullptr : it->second;
}

}  // namespace

const ProcessRecord& CurrentProcessRecord() {
  static const ProcessRecord self = [] {
    const win::DWORD id = ::GetCurrentProcessId();
    win::DWORD parentId = 0;
    for (const SnapshotEntry& entry : SnapshotProcesses()) {
      if (entry.id == id) parentId = entry.parentId;
    }
    return RecordOf(::GetCurrentProcess(), id, parentId, std::wstring());
  }();
  return self;
}

std::vector<ProcessRecord> ListProcesses() {
  std::vector<ProcessRecord> records;
  for (const SnapshotEntry& entry : SnapshotProcesses()) {
    OwnedHandle process = OpenForQuery(entry.id);
    ProcessRecord r = RecordOf(process.get(), entry.id, entry.parentId, entry.exeFile);
    if (r.running) records.push_back(r);
  }
  std::sort(records.begin(), records.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return records;
}

std::optional<ProcessRecord> FindProcess(win::DWORD id) {
  for (const SnapshotEntry& entry : SnapshotProcesses()) {
    if (entry.id != id) continue;
    OwnedHandle process = OpenForQuery(id);
    return RecordOf(process.get(), id, entry.parentId, entry.exeFile);
  }
  // An ended process is still known while a handle to it is open (ours from
  // StartProcess, or anyone's).
  OwnedHandle process = OpenForQuery(id);
  ::HANDLE handle = process ? process.get() : StartedHandle(id);
  if (!handle) return std::nullopt;
  return RecordOf(handle, id, 0, std::wstring());
}

// A process record cannot be made up on Windows: only the system starts
// processes. These seams of the simulated machine add nothing here.
win::DWORD AddResidentProcess(const std::wstring&, const std::string&, win::DWORD, win::DWORD) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

void AddResidentProcesses(const std::wstring&, const std::string&, int) {}

win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine, const std::string& stdoutPath) {
  ProcessStartOptions options;
  options.stdoutPath = stdoutPath;
  return StartProcess(imagePath, commandLine, options);
}

namespace {

// This process's environment block with `extra` variables set (names ignore
// case), for CREATE_UNICODE_ENVIRONMENT.
std::vector<wchar_t> EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* at = block; *at; at += wcslen(at) + 1) entries.emplace_back(at);
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : extra) {
    const std::wstring prefix = Folded(Wide(name) + L"=");
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const std::wstring& e) { return Folded(e.substr(0, prefix.size())) == prefix; }),
                  entries.end());
    entries.push_back(Wide(name) + L"=" + Wide(value));
  }
  std::vector<wchar_t> block;
  for (const std::wstring& e : entries) {
    block.insert(block.end(), e.begin(), e.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// An inheritable copy of the system handle behind a C runtime descriptor;
// null for -1 (the stream goes nowhere).
OwnedHandle InheritableStream(int descriptor) {
  if (descriptor < 0) return OwnedHandle();
  ::HANDLE source = reinterpret_cast<::HANDLE>(_get_osfhandle(descriptor));
  ::HANDLE copy = nullptr;
  if (source == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), source, ::GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return OwnedHandle();
  }
  return OwnedHandle(copy);
}

OwnedHandle InheritableOutputFile(const std::string& path) {
  ::SECURITY_ATTRIBUTES inherit{sizeof(::SECURITY_ATTRIBUTES), nullptr, TRUE};
  ::HANDLE file = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return OwnedHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine,
                        const ProcessStartOptions& options) {
  // The account and the parent are the system's to choose: a program starts
  // as a child of this one, under this one's account.
  const bool otherUser = !options.user.empty() && Folded(Wide(options.user)) != Folded(Wide(CurrentProcessRecord().user));
  if (otherUser || (options.parentId != 0 && options.parentId != ::GetCurrentProcessId())) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  OwnedHandle input = InheritableStream(options.stdinDescriptor);
  OwnedHandle output = options.stdoutPath.empty() ? InheritableStream(options.stdoutDescriptor)
                                                  : InheritableOutputFile(options.stdoutPath);
  OwnedHandle error = InheritableStream(options.stderrDescriptor);
  if (!options.stdoutPath.empty() && !output) return 0;
  ::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const bool redirected = input || output || error;
  if (redirected || options.detachedConsole) {
    // Streams not given go nowhere with a console of its own, else to ours.
    auto stream = [&](const OwnedHandle& given, ::DWORD own) {
      return given ? given.get() : options.detachedConsole ? nullptr : ::GetStdHandle(own);
    };
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stream(input, STD_INPUT_HANDLE);
    startup.hStdOutput = stream(output, STD_OUTPUT_HANDLE);
    startup.hStdError = stream(error, STD_ERROR_HANDLE);
  }
  std::wstring line = commandLine.empty() ? L"\"" + imagePath + L"\"" : commandLine;
  std::vector<wchar_t> writable(line.begin(), line.end());
  writable.push_back(L'\0');
  std::vector<wchar_t> environment = EnvironmentWith(options.environment);
  ::DWORD flags = CREATE_UNICODE_ENVIRONMENT | (options.detachedConsole ? CREATE_NO_WINDOW : 0);
  ::PROCESS_INFORMATION started{};
  if (!::CreateProcessW(imagePath.c_str(), writable.data(), nullptr, nullptr, redirected ? TRUE : FALSE, flags,
                        environment.data(), nullptr, &startup, &started)) {
    // A file that is no program, as the simulated machine reports it.
    if (::GetLastError() == ERROR_BAD_EXE_FORMAT) ::SetLastError(ERROR_BAD_FORMAT);
    return 0;
  }
  ::CloseHandle(started.hThread);
  std::lock_guard<std::mutex> guard(g_startedMutex);
  Started()[started.dwProcessId] = started.hProcess;
  return started.dwProcessId;
}

std::optional<win::DWORD> WaitForProcess(win::DWORD id, int timeoutMilliseconds) {
  OwnedHandle opened;
  ::HANDLE process = StartedHandle(id);
  if (!process) {
    opened = OpenForQuery(id);
    process = opened.get();
  }
  if (!process) return std::nullopt;
  const ::DWORD timeout = timeoutMilliseconds < 0 ? INFINITE : static_cast<::DWORD>(timeoutMilliseconds);
  if (::WaitForSingleObject(process, timeout) != WAIT_OBJECT_0) return std::nullopt;
  ::DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return std::nullopt;
  return code;
}

}  // namespace platform
