// Processes of the simulated machine. Every process has a record in the
// machine's process table: its id, Windows image path, parent, user and, for
// a real program, the host process behind it. The installer registers itself
// on first use; the desktop user's explorer.exe is a resident record.
#pragma once

#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace win {

constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
constexpr DWORD PROCESS_ALL_ACCESS = 0x1FFFFF;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD TOKEN_IMPERSONATE = 0x0004;
constexpr DWORD TOKEN_DUPLICATE = 0x0002;
constexpr DWORD TOKEN_ALL_ACCESS = 0xF01FF;
constexpr DWORD TH32CS_SNAPPROCESS = 0x2;

DWORD GetCurrentProcessId();
HANDLE GetCurrentProcess();  // the pseudo handle
HANDLE GetCurrentThread();   // the pseudo handle

BOOL IsWow64Process(HANDLE process, BOOL* wow64);

// Fills `ids` with up to `capacity` ids of running processes; `*returned`
// gets the count (not the bytes, unlike the platform's call).
BOOL K32EnumProcesses(DWORD* ids, DWORD capacity, DWORD* returned);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
// The id of the process a handle names (the pseudo handle too); 0 with
// ERROR_INVALID_HANDLE for anything else.
DWORD GetProcessId(HANDLE process);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
// Image path of the main module (drive-letter form); `size` in characters,
// truncation as GetModuleFileNameW does it. Returns characters copied.
DWORD K32GetModuleFileNameExW(HANDLE process, HMODULE module, wchar_t* buffer, DWORD size);
// Image path in device form ("\Device\HarddiskVolume2\...").
DWORD K32GetProcessImageFileNameW(HANDLE process, wchar_t* buffer, DWORD size);
// The running program's own path: the Windows form of its host executable.
// Truncates to size-1 characters plus NUL and sets ERROR_INSUFFICIENT_BUFFER
// when the buffer is too small (the result is then `size`).
DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD size);

struct PROCESSENTRY32W {
  DWORD dwSize = 0;
  DWORD th32ProcessID = 0;
  DWORD th32ParentProcessID = 0;
  DWORD cntThreads = 1;
  std::wstring szExeFile;  // file name only
};
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry);

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token);
BOOL ImpersonateLoggedOnUser(HANDLE token);
BOOL RevertToSelf();

}  // namespace win

namespace platform {

struct ProcessRecord {
  win::DWORD id = 0;
  win::DWORD parentId = 0;
  std::wstring imagePath;  // Windows path
  std::string user;
  int hostPid = 0;         // 0 for a resident record (no host process)
  long long hostStart = 0; // host start time, guards against pid reuse
  bool is64Bit = false;
  bool running = true;
  win::DWORD exitCode = win::STILL_ACTIVE;
};

// This process's own record, registered on first use.
const ProcessRecord& CurrentProcessRecord();

// Running processes of the machine, in id order.
std::vector<ProcessRecord> ListProcesses();
std::optional<ProcessRecord> FindProcess(win::DWORD id);

// Adds a resident process (explorer.exe of a user, a system process) with a
// chosen id, or the next free one when `id` is 0. Returns its id.
win::DWORD AddResidentProcess(const std::wstring& imagePath, const std::string& user, win::DWORD parentId,
                              win::DWORD id = 0);

// Adds `count` resident processes of one image at once (a crowded machine).
// Both are the simulated machine's: on Windows only the system makes
// processes, and they add nothing (AddResidentProcess returns 0 with
// ERROR_NOT_SUPPORTED).
void AddResidentProcesses(const std::wstring& imagePath, const std::string& user, int count);

// Starts a real program from the host file behind `imagePath` with the
// Windows command line `commandLine` (split into arguments as the MSVC runtime
// does). Its standard output goes to `stdoutPath` (host path) when given.
// A stub PE file naming a built-in program (builtin_programs.h) runs that
// program; the record keeps the stub's path as its image. Returns the new
// process id, 0 on failure (GetLastError tells why: ERROR_FILE_NOT_FOUND,
// ERROR_BAD_FORMAT for a file that is no program, ERROR_BAD_EXE_FORMAT for a
// stub whose built-in program does not exist).
win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine,
                        const std::string& stdoutPath = std::string());

// How the shell, CreateProcessW and the service manager start a program.
struct ProcessStartOptions {
  std::string stdoutPath;       // host file for standard output (created, truncated)
  int stdinDescriptor = -1;     // host descriptors the program's standard
  int stdoutDescriptor = -1;    // streams are duplicated from (inherited
  int stderrDescriptor = -1;    // file handles)
  bool detachedConsole = false; // a console of its own: streams not given go nowhere
  std::string user;             // the account it runs as; empty: the caller's
  win::DWORD parentId = 0;      // the parent in the process table; 0: the caller
  // (On Windows a program starts as the caller's child under the caller's
  // account: another user or parent fails with ERROR_NOT_SUPPORTED.)
  // Variables of the stand-in OS the program needs (the service it runs for).
  std::vector<std::pair<std::string, std::string>> environment;
};
win::DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine,
                        const ProcessStartOptions& options);
// Waits for a process started here to end; returns its exit code.
std::optional<win::DWORD> WaitForProcess(win::DWORD id, int timeoutMilliseconds);

// Splits a Windows command line as the MSVC runtime does.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

}  // namespace platform
