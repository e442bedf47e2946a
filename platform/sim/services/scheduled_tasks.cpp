// Task files under C:\Windows\System32\Tasks (their form is task_file.h's),
// written under the machine's task lock.
#include "platform/sim/services/scheduled_tasks.h"

#include <algorithm>
#include <ctime>
#include <fstream>

#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/paths.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/machine/state_json.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kTasksFolder = L"C:\\Windows\\System32\\Tasks";

std::optional<fs::path> TasksFolder() { return ToHostPath(kTasksFolder); }

std::wstring CurrentMinute() {
  std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d-%02d-%02dT%02d:%02d:00", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min);
  return text;
}

// The task file of a name, found ignoring case.
std::optional<fs::path> TaskFile(const std::wstring& name) {
  auto folder = TasksFolder();
  if (!folder || !ValidTaskName(BareTaskName(name))) return std::nullopt;
  std::error_code error;
  for (auto it = fs::directory_iterator(*folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    if (it->is_regular_file() && RegistryFold(Utf8ToWide(it->path().filename().string())) == RegistryFold(BareTaskName(name))) {
      return it->path();
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<ScheduledTask> ListScheduledTasks() {
  std::vector<ScheduledTask> tasks;
  auto folder = TasksFolder();
  if (!folder) return tasks;
  std::error_code error;
  for (auto it = fs::directory_iterator(*folder, error); !error && it != fs::directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file()) continue;
    std::wstring name = Utf8ToWide(it->path().filename().string());
    if (name.find(L".tmp.") != std::wstring::npos) continue;  // a task file being written
    auto bytes = ReadWholeFile(it->path());
    if (!bytes) continue;
    if (auto task = ParseTaskFile(name, *bytes)) tasks.push_back(*task);
  }
  std::sort(tasks.begin(), tasks.end(),
            [](const ScheduledTask& a, const ScheduledTask& b) { return RegistryFold(a.name) < RegistryFold(b.name); });
  return tasks;
}

std::optional<ScheduledTask> FindScheduledTask(const std::wstring& name) {
  auto file = TaskFile(name);
  if (!file) return std::nullopt;
  auto bytes = ReadWholeFile(*file);
  if (!bytes) return std::nullopt;
  return ParseTaskFile(Utf8ToWide(file->filename().string()), *bytes);
}

bool SaveScheduledTask(const ScheduledTask& task, bool replace) {
  std::optional<ScheduledTask> storable = StorableTask(task, CurrentMinute());
  if (!storable) return false;
  ScheduledTask& stored = *storable;
  auto folder = TasksFolder();
  if (!folder) return false;
  std::error_code error;
  fs::create_directories(*folder, error);
  FileLock lock(StateFile("tasks"), true);
  fs::path target = *folder / WideToUtf8(stored.name);
  if (auto existing = TaskFile(stored.name)) {
    if (!replace) return false;
    target = *existing;  // the task keeps its name's spelling
    stored.name = Utf8ToWide(existing->filename().string());
  }
  return WriteFileAtomically(target, TaskFileBytes(stored));
}

bool DeleteScheduledTask(const std::wstring& name) {
  auto folder = TasksFolder();
  if (!folder) return false;
  FileLock lock(StateFile("tasks"), true);
  auto file = TaskFile(name);
  std::error_code error;
  return file && fs::remove(*file, error);
}

}  // namespace platform
