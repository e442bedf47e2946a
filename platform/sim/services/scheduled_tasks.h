// The task scheduler's store of the simulated machine: one task file per task
// under C:\Windows\System32\Tasks, as Windows keeps them (task_file.h). The
// schtasks.exe stand-in creates, deletes and lists them; inspection and tests
// read them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/services/task_file.h"

namespace platform {

std::vector<ScheduledTask> ListScheduledTasks();
std::optional<ScheduledTask> FindScheduledTask(const std::wstring& name);  // ignoring case
// False when a task of that name exists and `replace` is false, the name is
// not a valid file name (empty, longer than 238, a character of \/:*?"<>|),
// the schedule is not ONSTART or MINUTE, or the file cannot be written.
bool SaveScheduledTask(const ScheduledTask& task, bool replace);
bool DeleteScheduledTask(const std::wstring& name);  // false when there is none

}  // namespace platform
