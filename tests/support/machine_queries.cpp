// Queries of a machine's debug log, processes and services for tests.
#include "support/machine_queries.h"

#include <chrono>
#include <thread>

#include "platform/debug_output.h"
#include "platform/process.h"

namespace testing_support {

bool DebugLogHas(const std::wstring& line) {
  for (const std::wstring& logged : platform::ReadDebugLog()) {
    if (logged == line) return true;
  }
  return false;
}

bool DebugLogMentions(const std::wstring& part) {
  for (const std::wstring& logged : platform::ReadDebugLog()) {
    if (logged.find(part) != std::wstring::npos) return true;
  }
  return false;
}

bool ProgramRunning(const std::wstring& program) {
  for (const platform::ProcessRecord& record : platform::ListProcesses()) {
    if (record.imagePath.substr(record.imagePath.rfind(L'\\') + 1) == program) return true;
  }
  return false;
}

std::optional<platform::ServiceSummary> ServiceNamed(const std::wstring& name) {
  for (const platform::ServiceSummary& service : platform::ListServices()) {
    if (service.name == name) return service;
  }
  return std::nullopt;
}

bool Eventually(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace testing_support
