// The system's own answers through <windows.h>, for the checks of the
// product's answers on the real system.
#include "windows/product/system_facts.h"

#include <windows.h>

#include <vector>

namespace testing_windows {
namespace {

HKEY Root(Hive hive) { return hive == Hive::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
REGSAM ViewFlag(View view) { return view == View::Native64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// An open key, closed at the end of the scope.
struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle) RegCloseKey(handle);
  }
};

}  // namespace

bool KeyExists(Hive hive, View view, const std::wstring& key) {
  Key opened;
  return RegOpenKeyExW(Root(hive), key.c_str(), 0, KEY_READ | ViewFlag(view), &opened.handle) == ERROR_SUCCESS;
}

std::optional<RegistryValue> ReadValue(Hive hive, View view, const std::wstring& key, const std::wstring& name) {
  Key opened;
  if (RegOpenKeyExW(Root(hive), key.c_str(), 0, KEY_READ | ViewFlag(view), &opened.handle) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(opened.handle, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> data(size + 1);
  if (RegQueryValueExW(opened.handle, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RegistryValue value;
  value.type = type;
  value.bytes.assign(reinterpret_cast<const char*>(data.data()), size);
  return value;
}

bool WriteValue(Hive hive, View view, const std::wstring& key, const std::wstring& name, unsigned long type,
                const std::string& bytes) {
  Key opened;
  if (RegCreateKeyExW(Root(hive), key.c_str(), 0, nullptr, 0, KEY_WRITE | ViewFlag(view), nullptr, &opened.handle,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(opened.handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

void DeleteTree(Hive hive, View view, const std::wstring& key) {
  Key opened;
  if (RegOpenKeyExW(Root(hive), key.c_str(), 0, KEY_ALL_ACCESS | ViewFlag(view), &opened.handle) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(opened.handle, nullptr);
  RegDeleteKeyExW(Root(hive), key.c_str(), ViewFlag(view), 0);
}

void DeleteValue(Hive hive, View view, const std::wstring& key, const std::wstring& name) {
  Key opened;
  if (RegOpenKeyExW(Root(hive), key.c_str(), 0, KEY_SET_VALUE | ViewFlag(view), &opened.handle) == ERROR_SUCCESS) {
    RegDeleteValueW(opened.handle, name.c_str());
  }
}

SystemFacts ReadSystemFacts() {
  SystemFacts facts;
  BOOL wow64 = FALSE;
  facts.wow64Process = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  SYSTEM_INFO native = {};
  GetNativeSystemInfo(&native);
  facts.nativeX64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;

  // RtlGetVersion answers with the system's version whatever the program's
  // manifest declares.
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion && rtlGetVersion(&version) == 0) {
      facts.major = version.dwMajorVersion;
      facts.minor = version.dwMinorVersion;
      facts.servicePackMajor = version.wServicePackMajor;
      facts.servicePackMinor = version.wServicePackMinor;
      facts.workstation = version.wProductType == VER_NT_WORKSTATION;
    }
  }
  facts.hasCurrentMajorVersionNumber =
      ReadValue(Hive::Machine, View::Wow32, kCurrentVersionKey, L"CurrentMajorVersionNumber").has_value();
  return facts;
}

unsigned long ProductType(unsigned long major, unsigned long minor, unsigned spMajor, unsigned spMinor) {
  DWORD product = 0;
  return GetProductInfo(major, minor, spMajor, spMinor, &product) ? product : 0;
}

std::wstring OwnModulePath() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  return std::wstring(path, length);
}

}  // namespace testing_windows
