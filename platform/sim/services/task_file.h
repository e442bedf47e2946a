// The task scheduler's task files: one per task, named as the task, in the
// task scheduler's XML (UTF-16 with a byte-order mark, as Windows writes
// them). Only the standard library: the schtasks.exe stand-in built for
// Windows keeps its tasks in the same files.
#pragma once

#include <optional>
#include <string>

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

// Task names that can be task files.
bool ValidTaskName(const std::wstring& name);
// The name without a leading "\".
std::wstring BareTaskName(const std::wstring& name);
// The task as it is stored: its bare name, the modifier of its schedule (0
// for ONSTART, 1 for a MINUTE task without one) and, for a MINUTE task
// without a start, `currentMinute`. None when the name cannot be a task file
// or the schedule is not ONSTART or MINUTE.
std::optional<ScheduledTask> StorableTask(const ScheduledTask& task, const std::wstring& currentMinute);
// A task file's bytes and the task a file of that name holds (none when the
// bytes are no task file of this form).
std::string TaskFileBytes(const ScheduledTask& task);
std::optional<ScheduledTask> ParseTaskFile(const std::wstring& name, const std::string& bytes);

}  // namespace platform
