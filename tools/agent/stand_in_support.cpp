// Shared helpers of the agent's stand-in programs (MachineExists is the
// platform's: sim/ or windows/machine_presence.cpp).
#include "stand_in_support.h"

#include <cctype>
#include <cstring>

#include "platform/debug_output.h"
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

bool WaitWhileMachineExists(win::HANDLE handle) {
  while (MachineExists()) {
    const win::DWORD result = win::WaitForSingleObject(handle, 500);
    if (result == win::WAIT_OBJECT_0) return true;
    if (result == win::WAIT_FAILED) return false;
  }
  return false;
}

bool IsSwitch(const char* argument, const char* name) {
  const std::size_t length = std::strlen(name);
  if (std::strlen(argument) != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(argument[i])) != std::tolower(static_cast<unsigned char>(name[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace stand_in
