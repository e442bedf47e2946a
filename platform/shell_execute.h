// Starting programs the way the installer does on Windows: ShellExecuteExW
// (verbs "open" and "runas") and CreateProcessW with inherited handles and
// redirected standard output, plus the security records they take. Programs
// start as real processes of the machine (see process.h): a PE file that
// names a built-in program runs that program, as a compatibility layer runs
// its built-in programs from stub PE files.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win {

constexpr unsigned long SEE_MASK_NOCLOSEPROCESS = 0x00000040;
constexpr unsigned long SEE_MASK_NOASYNC = 0x00000100;
constexpr unsigned long SEE_MASK_FLAG_NO_UI = 0x00000400;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_NO_ASSOCIATION = 1155;
constexpr DWORD ERROR_UNKNOWN_REVISION = 1305;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD SE_ERR_FNF = 2;
constexpr DWORD SE_ERR_PNF = 3;
constexpr DWORD SE_ERR_ACCESSDENIED = 5;
constexpr DWORD SE_ERR_NOASSOC = 31;

// What cbSize must hold: the size of the system's SHELLEXECUTEINFOW for the
// target the program is built for. That structure has fifteen members, eleven
// of them pointers or handles: 60 bytes on a 32-bit target, 112 (with padding)
// on a 64-bit one.
constexpr DWORD kShellExecuteInfoSize = sizeof(void*) == 4 ? 60 : 112;

struct SHELLEXECUTEINFOW {
  DWORD cbSize = 0;
  unsigned long fMask = 0;
  void* hwnd = nullptr;
  const wchar_t* lpVerb = nullptr;
  const wchar_t* lpFile = nullptr;
  const wchar_t* lpParameters = nullptr;
  const wchar_t* lpDirectory = nullptr;
  int nShow = 0;
  void* hInstApp = nullptr;  // > 32 on success, an SE_ERR_* value on failure
  HANDLE hProcess = nullptr; // with SEE_MASK_NOCLOSEPROCESS; closed by the caller
};
// Verbs null, "open" and "runas" start the file (the installer already runs
// elevated, so "runas" asks nothing). A bare file name is looked for in the
// directory given, then in the system directory and the Windows directory.
// The command line is the quoted file path, a space and the parameters.
// cbSize must be kShellExecuteInfoSize, else ERROR_INVALID_PARAMETER (the
// simulated machine also takes the other width's size, 60 or 112). Fails with
// ERROR_FILE_NOT_FOUND (hInstApp SE_ERR_FNF), ERROR_BAD_EXE_FORMAT for a file
// that is no program, ERROR_NO_ASSOCIATION (SE_ERR_NOASSOC) for another verb
// or a file that is not an .exe or .com. A fault "ShellExecuteEx" for the
// file as given or as found fails the call with its error. The program gets a
// console of its own (its output goes nowhere).
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
struct SECURITY_DESCRIPTOR {
  BYTE revision = 0;
  bool daclPresent = false;
  const void* dacl = nullptr;  // null with daclPresent: everyone has access
  bool daclDefaulted = false;
};
BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, const void* dacl, BOOL defaulted);

struct SECURITY_ATTRIBUTES {
  DWORD nLength = 0;
  void* lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = FALSE;
};

constexpr DWORD CREATE_NEW_CONSOLE = 0x00000010;
constexpr DWORD CREATE_NO_WINDOW = 0x08000000;
constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;
constexpr DWORD STARTF_USESTDHANDLES = 0x00000100;

struct STARTUPINFOW {
  DWORD cb = 0;
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
  HANDLE hStdInput = nullptr;
  HANDLE hStdOutput = nullptr;
  HANDLE hStdError = nullptr;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess = nullptr;
  HANDLE hThread = nullptr;
  DWORD dwProcessId = 0;
  DWORD dwThreadId = 0;
};

// With a null `applicationName` the program is the command line's first
// token, looked for as written, then in the system directory and the Windows
// directory (".exe" appended when it has no extension). With
// STARTF_USESTDHANDLES and `inheritHandles`, a file handle opened as
// inheritable (CreateFileW with bInheritHandle) becomes the program's standard
// output or error; a handle that is not inheritable fails with
// ERROR_INVALID_HANDLE; with `inheritHandles` false the streams go nowhere.
// Without STARTF_USESTDHANDLES a program with CREATE_NEW_CONSOLE or
// CREATE_NO_WINDOW writes nowhere, else to the caller's console. hThread is
// a handle on the program's main thread (it ends with the process). A fault
// "CreateProcess" for the program as written or as found fails the call.
// hProcess and hThread are closed by the caller.
BOOL CreateProcessW(const wchar_t* applicationName, const std::wstring& commandLine,
                    const SECURITY_ATTRIBUTES* processAttributes, const SECURITY_ATTRIBUTES* threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, const void* environment,
                    const wchar_t* currentDirectory, const STARTUPINFOW* startup, PROCESS_INFORMATION* information);

}  // namespace win
