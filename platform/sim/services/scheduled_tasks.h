// The task scheduler's store of the simulated machine: one task file per task
// under C:\Windows\System32\Tasks, as Windows keeps them. The schtasks.exe
// stand-in creates, deletes and lists them; inspection and tests read them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ScheduledTask {
  std::wstring name;        // as given to /tn, without a leading "\"
  std::wstring action;      // the /tr text exactly as received
  std::wstring schedule;    // "ONSTART" or "MINUTE" (upper case)
  int modifier = 0;         // MINUTE: the interval in minutes (/mo, 1 when not given); ONSTART: 0
  std::wstring runAs;       // the /ru account: "System" for the system account, else as given
  // When a MINUTE task first runs, local time "YYYY-MM-DDTHH:MM:SS"; saving
  // one without it takes the current minute.
  std::wstring startBoundary;
};

std::vector<ScheduledTask> ListScheduledTasks();
std::optional<ScheduledTask> FindScheduledTask(const std::wstring& name);  // ignoring case
// False when a task of that name exists and `replace` is false, the name is
// not a valid file name (empty, longer than 238, a character of \/:*?"<>|),
// the schedule is not ONSTART or MINUTE, or the file cannot be written.
bool SaveScheduledTask(const ScheduledTask& task, bool replace);
bool DeleteScheduledTask(const std::wstring& name);  // false when there is none
// Task names that can be task files.
bool ValidTaskName(const std::wstring& name);

}  // namespace platform
