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
  std::wstring schedule;    // "ONSTART", "MINUTE", ... (upper case)
  int modifier = 0;         // /mo; 0 when not given
  std::wstring runAs;       // the /ru account as given ("System")
};

std::vector<ScheduledTask> ListScheduledTasks();
std::optional<ScheduledTask> FindScheduledTask(const std::wstring& name);  // ignoring case
// False when a task of that name exists and `replace` is false, or the file
// cannot be written.
bool SaveScheduledTask(const ScheduledTask& task, bool replace);
bool DeleteScheduledTask(const std::wstring& name);

}  // namespace platform
