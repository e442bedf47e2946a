// The task store of the schtasks stand-in on Windows: task files in the Tasks
// folder of the system directory, in the task scheduler's own form
// (platform/sim/services/task_file.h), through the system's file calls.
#include "platform/sim/services/scheduled_tasks.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cwctype>

#include "platform/environment.h"
#include "platform/files.h"

namespace platform {

namespace {

std::wstring Fold(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

std::wstring TasksFolder() {
  wchar_t system[win::MAX_PATH] = {};
  win::GetSystemDirectoryW(system, win::MAX_PATH);
  return std::wstring(system) + L"\\Tasks";
}

std::wstring CurrentMinute() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (!local) return std::wstring();
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d-%02d-%02dT%02d:%02d:00", local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                local->tm_hour, local->tm_min);
  return text;
}

// The names of the files in the Tasks folder.
std::vector<std::wstring> TaskFileNames() {
  std::vector<std::wstring> names;
  win::WIN32_FIND_DATAW found;
  win::HANDLE search = win::FindFirstFileW(TasksFolder() + L"\\*", &found);
  if (search == win::INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & win::FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (win::FindNextFileW(search, &found));
  win::FindClose(search);
  return names;
}

// The file name of the task, found ignoring case; empty when there is none.
std::wstring TaskFileName(const std::wstring& name) {
  const std::wstring wanted = Fold(BareTaskName(name));
  if (!ValidTaskName(BareTaskName(name))) return std::wstring();
  for (const std::wstring& file : TaskFileNames()) {
    if (Fold(file) == wanted) return file;
  }
  return std::wstring();
}

bool ReadTaskFile(const std::wstring& name, std::string* bytes) {
  win::HANDLE file = win::CreateFileW(TasksFolder() + L"\\" + name, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr,
                                      win::OPEN_EXISTING, win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  win::DWORD read = 0;
  bool ok = true;
  while ((ok = win::ReadFile(file, buffer, sizeof buffer, &read, nullptr) != win::FALSE) && read > 0) bytes->append(buffer, read);
  win::CloseHandle(file);
  return ok;
}

bool WriteTaskFile(const std::wstring& name, const std::string& bytes) {
  win::CreateDirectoryW(TasksFolder(), nullptr);
  win::HANDLE file = win::CreateFileW(TasksFolder() + L"\\" + name, win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) return false;
  win::DWORD written = 0;
  const bool ok = win::WriteFile(file, bytes.data(), static_cast<win::DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  win::CloseHandle(file);
  return ok;
}

}  // namespace

std::vector<ScheduledTask> ListScheduledTasks() {
  std::vector<ScheduledTask> tasks;
  for (const std::wstring& name : TaskFileNames()) {
    std::string bytes;
    if (!ReadTaskFile(name, &bytes)) continue;
    if (auto task = ParseTaskFile(name, bytes)) tasks.push_back(*task);
  }
  std::sort(tasks.begin(), tasks.end(),
            [](const ScheduledTask& a, const ScheduledTask& b) { return Fold(a.name) < Fold(b.name); });
  return tasks;
}

std::optional<ScheduledTask> FindScheduledTask(const std::wstring& name) {
  const std::wstring file = TaskFileName(name);
  std::string bytes;
  if (file.empty() || !ReadTaskFile(file, &bytes)) return std::nullopt;
  return ParseTaskFile(file, bytes);
}

bool SaveScheduledTask(const ScheduledTask& task, bool replace) {
  std::optional<ScheduledTask> stored = StorableTask(task, CurrentMinute());
  if (!stored) return false;
  const std::wstring existing = TaskFileName(stored->name);
  if (!existing.empty()) {
    if (!replace) return false;
    stored->name = existing;  // the task keeps its name's spelling
  }
  return WriteTaskFile(stored->name, TaskFileBytes(*stored));
}

bool DeleteScheduledTask(const std::wstring& name) {
  const std::wstring file = TaskFileName(name);
  return !file.empty() && win::DeleteFileW(TasksFolder() + L"\\" + file) != win::FALSE;
}

}  // namespace platform
