// What tests ask of a simulated machine after a run: whether the debug log
// holds a line, which programs run, a service by name, the file operations
// left for the next restart, and a wait for a condition that other programs
// of the machine bring about.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/services.h"

namespace testing_support {

bool DebugLogHas(const std::wstring& line);
// True when some line of the debug log holds `part`.
bool DebugLogMentions(const std::wstring& part);
// True while a process whose image file is named `program` runs.
bool ProgramRunning(const std::wstring& program);
std::optional<platform::ServiceSummary> ServiceNamed(const std::wstring& name);
// The machine's PendingFileRenameOperations value as written (NUL-separated
// sources and targets); empty when the value is absent, nullopt when the
// Session Manager key is.
std::optional<std::wstring> PendingFileRenameText();
// Polls until `done` holds; false when `seconds` passed first.
bool Eventually(const std::function<bool()>& done, int seconds = 10);

}  // namespace testing_support
