// Version queries through kernel32 and ntdll, and run-time linking.
#include "platform/version.h"

#include "platform/resources.h"
#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;

constexpr win::NTSTATUS kInvalidParameter = static_cast<win::NTSTATUS>(0xC000000D);

::OSVERSIONINFOEXW ToSystem(const win::OSVERSIONINFOEXW& info) {
  ::OSVERSIONINFOEXW system{};
  system.dwOSVersionInfoSize = sizeof system;
  system.dwMajorVersion = info.dwMajorVersion;
  system.dwMinorVersion = info.dwMinorVersion;
  system.dwBuildNumber = info.dwBuildNumber;
  system.dwPlatformId = info.dwPlatformId;
  for (std::size_t i = 0; i < 128; ++i) system.szCSDVersion[i] = info.szCSDVersion[i];
  system.wServicePackMajor = info.wServicePackMajor;
  system.wServicePackMinor = info.wServicePackMinor;
  system.wSuiteMask = info.wSuiteMask;
  system.wProductType = info.wProductType;
  return system;
}

void FromSystem(const ::OSVERSIONINFOEXW& system, win::OSVERSIONINFOEXW* info) {
  *info = win::OSVERSIONINFOEXW{};
  info->dwMajorVersion = system.dwMajorVersion;
  info->dwMinorVersion = system.dwMinorVersion;
  info->dwBuildNumber = system.dwBuildNumber;
  info->dwPlatformId = system.dwPlatformId;
  for (std::size_t i = 0; i < 128; ++i) info->szCSDVersion[i] = system.szCSDVersion[i];
  info->szCSDVersion[127] = L'\0';
  info->wServicePackMajor = system.wServicePackMajor;
  info->wServicePackMinor = system.wServicePackMinor;
  info->wSuiteMask = system.wSuiteMask;
  info->wProductType = system.wProductType;
}

}  // namespace

namespace win {

NTSTATUS RtlGetVersion(OSVERSIONINFOEXW* info) {
  if (!info) return kInvalidParameter;
  // ntdll's RtlGetVersion answers with the version the system runs, where
  // GetVersionExW answers with the one the program's manifest allows.
  using RtlGetVersionFunction = ::LONG(WINAPI*)(::OSVERSIONINFOEXW*);
  static const auto query = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (!query) return kInvalidParameter;
  ::OSVERSIONINFOEXW system{};
  system.dwOSVersionInfoSize = sizeof system;
  const ::LONG status = query(&system);
  if (status != 0) return status;
  FromSystem(system, info);
  return STATUS_SUCCESS;
}

DWORDLONG VerSetConditionMask(DWORDLONG mask, DWORD typeBit, BYTE condition) {
  return ::VerSetConditionMask(mask, typeBit, condition);
}

BOOL VerifyVersionInfoW(OSVERSIONINFOEXW* info, DWORD typeMask, DWORDLONG conditionMask) {
  if (!info) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::OSVERSIONINFOEXW system = ToSystem(*info);
  return ::VerifyVersionInfoW(&system, typeMask, conditionMask);
}

int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

void GetNativeSystemInfo(SYSTEM_INFO* info) {
  if (!info) return;
  ::SYSTEM_INFO system{};
  ::GetNativeSystemInfo(&system);
  info->wProcessorArchitecture = system.wProcessorArchitecture;
  info->dwNumberOfProcessors = system.dwNumberOfProcessors;
}

HMODULE LoadLibraryW(const wchar_t* name) { return Wrapped(::LoadLibraryW(name)); }

FARPROC GetProcAddress(HMODULE module, const char* name) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(::GetProcAddress(Native(module), name)));
}

BOOL FreeLibrary(HMODULE module) {
  if (platform::FreeResourceModule(module)) return TRUE;
  return ::FreeLibrary(Native(module));
}

}  // namespace win
