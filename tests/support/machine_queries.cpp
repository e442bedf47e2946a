// Queries of a machine's debug log, processes and services for tests.
#include "support/machine_queries.h"

#include <chrono>
#include <thread>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/registry.h"

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

std::optional<std::wstring> PendingFileRenameText() {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                         win::KEY_READ | win::KEY_WOW64_64KEY, &key) != win::ERROR_SUCCESS) {
    return std::nullopt;
  }
  win::DWORD size = 0;
  std::string bytes;
  if (win::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == 0) {
    bytes.resize(size);
    win::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                          reinterpret_cast<win::BYTE*>(bytes.data()), &size);
  }
  win::RegCloseKey(key);
  return platform::Utf16LeToWide(bytes);
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
