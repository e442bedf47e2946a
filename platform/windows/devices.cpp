// Control devices of drivers on the system's calls: "\\.\<name>" opened with
// CreateFileW and DeviceIoControl on it.
#include "platform/devices.h"

#include "platform/windows/windows_api.h"

namespace platform {

win::HANDLE OpenDevice(const std::wstring& name, win::DWORD access) {
  // A name with a separator would reach another namespace of the system's.
  if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return platform_windows::Wrapped(INVALID_HANDLE_VALUE);
  }
  const std::wstring path = L"\\\\.\\" + name;
  return platform_windows::Wrapped(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The protection driver keeps its state to itself: it has no request that
// reports it, so nothing is known here (as before any request reached it).
std::optional<bool> RegistryProtectionState() { return std::nullopt; }

}  // namespace platform

namespace win {

BOOL DeviceIoControl(HANDLE device, DWORD controlCode, void* input, DWORD inputSize, void* output,
                     DWORD outputSize, DWORD* returned, void* overlapped) {
  ::DWORD bytes = 0;
  const ::BOOL done = ::DeviceIoControl(platform_windows::Native(device), controlCode, input, inputSize, output,
                                        outputSize, &bytes, static_cast<::OVERLAPPED*>(overlapped));
  if (returned) *returned = bytes;
  return done;
}

}  // namespace win
