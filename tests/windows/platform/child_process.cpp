// The child process, started with the system's own calls.
#include "windows/platform/child_process.h"

#include <windows.h>

namespace testing_windows {

long RunThisProgram(const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  wchar_t program[MAX_PATH];
  if (GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) return -1;
  for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), value.c_str());
  std::wstring command = L"\"" + std::wstring(program) + L"\" --gtest_filter=-*";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  for (const auto& variable : environment) SetEnvironmentVariableW(variable.first.c_str(), nullptr);
  if (!started) return -1;
  DWORD exitCode = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    TerminateProcess(process.hProcess, exitCode);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(exitCode);
}

ReportFile::ReportFile(const char* path)
    : file_(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr)) {}

void ReportFile::Write(const char* text) {
  DWORD written = 0;
  if (file_ != INVALID_HANDLE_VALUE) WriteFile(file_, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testing_windows
