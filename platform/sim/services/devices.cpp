// Control devices of running kernel-driver services; the protection
// driver's device keeps its registry-protection state in state/devices.json.
#include "platform/devices.h"

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/kernel_object.h"
#include "platform/sim/registry/registry_store.h"
#include "platform/sim/services/service_store.h"
#include "platform/sim/machine/state_json.h"

namespace platform {

namespace {

constexpr const wchar_t* kProtectionDevice = L"kvppob";
constexpr win::DWORD kProtectionOn = 0x821BE024;
constexpr win::DWORD kProtectionOff = 0x821BE028;

std::filesystem::path DevicesFile() { return StateFile("devices.json"); }

struct DeviceObject : win::KernelObject {
  std::wstring name;  // the driver service's name
};

// Whether the kernel-driver service behind a device runs now.
bool DriverRuns(const std::wstring& name) {
  auto config = ReadServiceConfig(name);
  if (!config || !IsDriverType(config->type)) return false;
  ServiceState state = ReadServiceState();
  auto it = state.services.find(FoldServiceName(name));
  return it != state.services.end() && it->second.state == win::SERVICE_RUNNING;
}

}  // namespace

win::HANDLE OpenDevice(const std::wstring& name, win::DWORD) {
  if (name.empty() || name.find(L'\\') != std::wstring::npos || !DriverRuns(name)) {
    win::SetLastError(win::ERROR_FILE_NOT_FOUND);
    return win::INVALID_HANDLE_VALUE;
  }
  auto* device = new DeviceObject();
  device->name = name;
  return RegisterHandle(device);
}

std::optional<bool> RegistryProtectionState() {
  nlohmann::json doc = ReadStateJson(DevicesFile());
  const std::string key = WideToUtf8(kProtectionDevice);
  if (!doc.contains(key) || !doc[key].is_object() || !doc[key].contains("registryProtection")) return std::nullopt;
  const auto& value = doc[key]["registryProtection"];
  if (!value.is_boolean()) return std::nullopt;
  return value.get<bool>();
}

}  // namespace platform

namespace win {

BOOL DeviceIoControl(HANDLE device, DWORD controlCode, void*, DWORD, void*, DWORD, DWORD* returned, void*) {
  auto* object = platform::HandleAs<platform::DeviceObject>(device);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (platform::ShouldFail("DeviceIoControl", L"\\\\.\\" + object->name)) return FALSE;
  if (!platform::DriverRuns(object->name)) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  if (returned) *returned = 0;
  bool protection = platform::RegistryFold(object->name) == platform::kProtectionDevice;
  if (!protection || (controlCode != platform::kProtectionOn && controlCode != platform::kProtectionOff)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  bool on = controlCode == platform::kProtectionOn;
  platform::ChangeStateJson(platform::DevicesFile(), [&](nlohmann::json& doc) {
    doc[platform::WideToUtf8(platform::kProtectionDevice)]["registryProtection"] = on;
    return true;
  });
  return TRUE;
}

}  // namespace win
