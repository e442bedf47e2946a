// The checker's two scheduled tasks, registered and deleted through the
// system's schtasks.exe.
#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "engine/engine_texts.h"
#include "engine/install_engine.h"
#include "platform/codepage.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell_execute.h"
#include "platform/sync.h"
#include "system/debug_log.h"
#include "system/kv_system.h"
#include "system/path_text.h"

namespace {

const wchar_t* const kOnStartTask = L"bvlchk_onstart";
const wchar_t* const kMinuteTask = L"bvlchk_minute";

// How long the listing may take, and how long the deletion commands are given
// to finish before the tasks are listed.
constexpr win::DWORD kListingWait = 5000;
constexpr win::DWORD kDeletionWait = 5000;

std::wstring SystemDirectory() {
  wchar_t buffer[win::MAX_PATH] = {};
  win::GetSystemDirectoryW(buffer, win::MAX_PATH);
  return BufferText(buffer, win::MAX_PATH);
}

bool SchtasksPresent() {
  win::WIN32_FIND_DATAW data;
  win::HANDLE find = win::FindFirstFileW(SystemDirectory() + L"\\schtasks.exe", &data);
  if (find == win::INVALID_HANDLE_VALUE) return false;
  win::FindClose(find);
  return true;
}

// Starts schtasks.exe hidden with `parameters`, not waiting for it. The
// process handle is returned (or closed when `process` is null).
bool StartSchtasks(const std::wstring& parameters, win::HANDLE* process = nullptr) {
  win::SHELLEXECUTEINFOW info;
  info.cbSize = win::kShellExecuteInfoSize;
  info.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_NOASYNC | win::SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = L"schtasks.exe";
  info.lpParameters = parameters.c_str();
  info.nShow = win::SW_HIDE;
  if (!win::ShellExecuteExW(&info)) return false;
  if (process) {
    *process = info.hProcess;
  } else if (info.hProcess) {
    win::CloseHandle(info.hProcess);
  }
  return true;
}

// Starts the deletion of both tasks; the processes are handed back.
std::vector<win::HANDLE> StartTaskDeletion() {
  std::vector<win::HANDLE> processes;
  for (const wchar_t* task : {kOnStartTask, kMinuteTask}) {
    win::HANDLE process = nullptr;
    if (StartSchtasks(std::wstring(L"/f /delete /tn ") + task, &process) && process) processes.push_back(process);
  }
  return processes;
}

// Waits, within one shared bound, for the processes to end, and closes them.
void WaitAndClose(std::vector<win::HANDLE>& processes, win::DWORD bound) {
  for (win::HANDLE process : processes) {
    win::WaitForSingleObject(process, bound);
    win::CloseHandle(process);
  }
  processes.clear();
}

// The task-creation parameters: the action is the checker's path in double
// quotes, escaped for the command line; both tasks run as the system account.
std::wstring CreationParameters(const std::wstring& task, const std::wstring& schedule, const std::wstring& checker) {
  return L"/create /tn \"" + task + L"\" /tr \\\"\"" + checker + L"\"\\\" /sc " + schedule + L" /ru System";
}

// Ends the schtasks.exe processes that the installer started and that still
// run (a listing that did not finish in time).
void EndLeftoverSchtasks() {
  std::vector<win::DWORD> ids(1024);
  win::DWORD count = 0;
  if (!win::K32EnumProcesses(ids.data(), static_cast<win::DWORD>(ids.size()), &count)) return;
  const win::DWORD self = win::GetCurrentProcessId();
  for (win::DWORD i = 0; i < count; ++i) {
    std::wstring path;
    if (!kvutil::KVSystem::GetProcessImagePath(ids[i], &path)) continue;
    std::wstring name = win::PathFindFileNameW(path);
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
    if (name != L"schtasks.exe") continue;
    win::DWORD parent = 0;
    std::wstring parentPath;
    if (!kvutil::KVSystem::GetParentProcess(ids[i], &parent, &parentPath) || parent != self) continue;
    win::HANDLE process = win::OpenProcess(win::PROCESS_ALL_ACCESS, win::FALSE, ids[i]);
    if (!process) continue;
    win::DWORD exitCode = 0;
    win::GetExitCodeProcess(process, &exitCode);
    win::TerminateProcess(process, exitCode);
    win::CloseHandle(process);
  }
}

// Runs schtasks.exe hidden with its output in `listPath` (replaced), and
// waits for it within kListingWait. False when it cannot be started.
bool ListTasksInto(const std::wstring& listPath) {
  win::SECURITY_DESCRIPTOR descriptor;
  win::InitializeSecurityDescriptor(&descriptor, win::SECURITY_DESCRIPTOR_REVISION);
  win::SetSecurityDescriptorDacl(&descriptor, win::TRUE, nullptr, win::FALSE);
  win::SECURITY_ATTRIBUTES security;
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = &descriptor;
  security.bInheritHandle = win::TRUE;

  win::HANDLE list = win::CreateFileW(listPath, win::GENERIC_WRITE, 0, &security, win::CREATE_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  win::STARTUPINFOW startup;
  startup.cb = sizeof startup;
  startup.dwFlags = win::STARTF_USESHOWWINDOW | win::STARTF_USESTDHANDLES;
  startup.wShowWindow = win::SW_HIDE;
  startup.hStdOutput = list;
  win::PROCESS_INFORMATION listing;
  const bool started = win::CreateProcessW(nullptr, L"schtasks.exe", &security, nullptr, win::TRUE,
                                           win::CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &listing) != win::FALSE;
  if (started) win::WaitForSingleObject(listing.hProcess, kListingWait);
  if (list != win::INVALID_HANDLE_VALUE) win::CloseHandle(list);
  if (!started) return false;
  win::CloseHandle(listing.hProcess);
  if (listing.hThread) win::CloseHandle(listing.hThread);
  return true;
}

// The whole list file as 8-bit text; false with the reason when it cannot be
// opened or read.
bool ReadListFile(const std::wstring& path, std::string* text, std::wstring* reason) {
  win::HANDLE file = win::CreateFileW(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) {
    *reason = engine_texts::ListFileOpenFail(path, win::GetLastError());
    return false;
  }
  char buffer[4096];
  win::DWORD read = 0;
  bool ok = true;
  while ((ok = win::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != win::FALSE) && read > 0) {
    text->append(buffer, read);
  }
  if (!ok) *reason = engine_texts::ListFileReadFail(path, win::GetLastError());
  win::CloseHandle(file);
  return ok;
}

}  // namespace

win::BOOL InstallEngine::DeleteScheduledTasks() {
  if (!SchtasksPresent()) {
    LogDebugLine(engine_texts::kSchtasksMissing);
    return win::FALSE;
  }
  // Waited for (within a bound): the listing that follows in
  // RegisterReservationJob must see their outcome, and the rollback has done
  // its work when the failure is shown.
  std::vector<win::HANDLE> deletions = StartTaskDeletion();
  WaitAndClose(deletions, kDeletionWait);
  return win::TRUE;
}

win::BOOL InstallEngine::RegisterReservationJob() {
  // DeleteScheduledTasks waits for its two commands: the listing must see
  // their outcome, or a task being deleted while it is listed would be
  // skipped here and then be missing.
  DeleteScheduledTasks();
  if (!SchtasksPresent()) {
    LogDebugLine(engine_texts::kSchtasksMissing);
    return win::FALSE;
  }

  wchar_t appData[win::MAX_PATH] = {};
  win::SHGetSpecialFolderPathW(nullptr, appData, win::CSIDL_COMMON_APPDATA, win::FALSE);
  const std::wstring folder = BufferText(appData, win::MAX_PATH) + L"\\Brimvale";
  win::CreateDirectoryW(folder, nullptr);
  const std::wstring listPath = folder + L"\\schtasks_list.txt";
  if (!ListTasksInto(listPath)) {
    LogDebugLine(engine_texts::kSchtasksListFail);
    return win::FALSE;
  }

  EndLeftoverSchtasks();

  std::string bytes;
  std::wstring reason;
  if (!ReadListFile(listPath, &bytes, &reason)) {
    LogDebugLine(engine_texts::SchtasksFileError(reason));
    return win::FALSE;
  }
  std::wstring listed = kvutil::KVSystem::ConvertToWide(bytes, win::CP_ACP);
  std::transform(listed.begin(), listed.end(), listed.begin(), [](wchar_t c) { return std::towlower(c); });

  const std::wstring checker = ProgramFilesFolder() + L"\\brimvale\\bvlchk.exe";
  struct Task {
    const wchar_t* name;
    const wchar_t* schedule;
  };
  for (const Task& task : {Task{kOnStartTask, L"onstart"}, Task{kMinuteTask, L"minute /mo 30"}}) {
    if (listed.find(task.name) != std::wstring::npos) continue;
    const bool started = StartSchtasks(CreationParameters(task.name, task.schedule, checker));
    LogDebugLine(engine_texts::TaskEnrolment(task.name, started));
  }
  return win::TRUE;
}
