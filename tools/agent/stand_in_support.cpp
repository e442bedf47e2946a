// Shared helpers of the agent's stand-in programs.
#include "stand_in_support.h"

#include <strings.h>

#include <filesystem>

#include "platform/debug_output.h"
#include "platform/sim/machine/machine.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace stand_in {

void Log(const std::string& tag, const std::wstring& text) {
  win::OutputDebugStringW(L"[Brimvale] " + std::wstring(tag.begin(), tag.end()) + L" : " + text);
}

std::wstring OwnPath() {
  wchar_t buffer[win::MAX_PATH] = {};
  win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  return buffer;
}

std::wstring OwnFolder() {
  const std::wstring path = OwnPath();
  return path.substr(0, path.rfind(L'\\'));
}

bool MachineExists() {
  std::error_code error;
  return std::filesystem::exists(platform::Machine::Current().Root() / "profile.json", error);
}

bool WaitWhileMachineExists(win::HANDLE handle) {
  while (MachineExists()) {
    const win::DWORD result = win::WaitForSingleObject(handle, 500);
    if (result == win::WAIT_OBJECT_0) return true;
    if (result == win::WAIT_FAILED) return false;
  }
  return false;
}

bool IsSwitch(const char* argument, const char* name) { return ::strcasecmp(argument, name) == 0; }

}  // namespace stand_in
