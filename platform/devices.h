// Control devices of the simulated machine's drivers. CreateFileW on
// "\\.\<name>" opens the device of the kernel-driver service <name> while that
// driver runs (ERROR_FILE_NOT_FOUND otherwise). The protection driver's device
// "\\.\kvppob" accepts two control codes without buffers and records the
// registry-protection state in the machine; anything else is refused with
// ERROR_INVALID_FUNCTION.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace win {

constexpr DWORD ERROR_BAD_COMMAND = 22;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;

// The device's driver must still run (ERROR_DEVICE_NOT_CONNECTED once it
// stopped). `returned` receives the output byte count (0 here).
BOOL DeviceIoControl(HANDLE device, DWORD controlCode, void* input, DWORD inputSize, void* output,
                     DWORD outputSize, DWORD* returned, void* overlapped);

}  // namespace win

namespace platform {

// CreateFileW's way to a device: `name` is what follows "\\.\". Fails with
// ERROR_FILE_NOT_FOUND unless a kernel-driver service of that name runs.
win::HANDLE OpenDevice(const std::wstring& name, win::DWORD access);

// The protection driver's registry protection as its device last set it:
// true on, false off, empty when no request has reached it. On Windows the
// driver has no request that reports it: always empty.
std::optional<bool> RegistryProtectionState();

}  // namespace platform
