// The protection driver's service entry and control device.
#include "system/kvppob_controller.h"

#include <cstdio>
#include <string>

#include "platform/devices.h"
#include "platform/files.h"
#include "system/registry_helpers.h"
#include "system/service_control.h"
#include "system/system_texts.h"

namespace {

const wchar_t* const kServiceName = L"kvppob";
const wchar_t* const kDisplayName = L"kvppob monitor";
const wchar_t* const kDriverFile = L"kvppob.sys";
const wchar_t* const kDriverFolder = L"%SystemRoot%\\System32\\drivers\\";
const wchar_t* const kDevicePath = L"\\\\.\\kvppob";

const wchar_t* const kInstancesKey = L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances";
const wchar_t* const kAltitudeKey = L"SYSTEM\\CurrentControlSet\\Services\\kvppob\\Instances\\AltitudeAndFlags";

// The driver's requests, built as CTL_CODE(0x821B, function, METHOD_BUFFERED,
// FILE_READ_ACCESS | FILE_WRITE_ACCESS).
constexpr win::DWORD ControlCode(win::DWORD function) { return (0x821Bu << 16) | (3u << 14) | (function << 2); }
constexpr win::DWORD kSetRegProtectOn = ControlCode(0x809);
constexpr win::DWORD kSetRegProtectOff = ControlCode(0x80A);
static_assert(kSetRegProtectOn == 0x821BE024 && kSetRegProtectOff == 0x821BE028, "control codes");

struct InstanceValue {
  const wchar_t* key;
  const wchar_t* name;
  const wchar_t* text;  // null for the DWORD Flags, which is 0
};

// The minifilter instance values, in the order they are written; the filter
// manager loads the driver only when they are there.
const InstanceValue kInstanceValues[] = {
    {kInstancesKey, L"DefaultInstance", L"AltitudeAndFlags"},
    {kAltitudeKey, L"Altitude", L"386241"},
    {kAltitudeKey, L"Flags", nullptr},
};

void WriteInstanceValue(const InstanceValue& value) {
  if (value.text) {
    RegWriteString(win::HKEY_LOCAL_MACHINE, value.key, value.name, value.text);
  } else {
    RegWriteDword(0, value.key, value.name);
  }
}

// A service entry that exists already may be one that an installation killed
// half-way left behind: created, but without its instance values and never
// started, so that the driver stays unloaded at every boot. The values that
// are missing are written (those there are kept) and the driver is started
// when it is stopped.
void CompleteExistingDriver(CServiceControlManager& scm) {
  for (const InstanceValue& value : kInstanceValues) {
    std::wstring present;  // any type: only whether the value exists counts
    if (!RegReadString(value.key, value.name, &present)) WriteInstanceValue(value);
  }
  scm.m_service = win::OpenServiceW(scm.m_manager, kServiceName, win::SERVICE_ALL_ACCESS);
  if (!scm.m_service) return;
  scm.Start();
  win::CloseServiceHandle(scm.m_service);
  scm.m_service = nullptr;
}

// Opens the service control manager into `scm`; logs `failureLine` when it
// cannot be opened.
bool OpenManager(CServiceControlManager& scm, const wchar_t* failureLine) {
  scm.m_manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
  if (!scm.m_manager) LogDebugLine(failureLine);
  return scm.m_manager != nullptr;
}

}  // namespace

KvppobController::KvppobController() {
  if (!Open()) LogDebugLine(system_texts::kCannotOpenDriver);
}

KvppobController::~KvppobController() {
  if (IsOpen()) win::CloseHandle(m_device);
}

bool KvppobController::Open() {
  m_device = win::CreateFileW(kDevicePath, win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::OPEN_EXISTING,
                              win::FILE_ATTRIBUTE_NORMAL, nullptr);
  return IsOpen();
}

bool KvppobController::Send(win::DWORD controlCode, FailureLine failureLine) {
  if (!IsOpen() && !Open()) return false;
  win::DWORD returned = 0;
  if (win::DeviceIoControl(m_device, controlCode, nullptr, 0, nullptr, 0, &returned, nullptr)) return true;
  LogDebugLine(failureLine(win::GetLastError()));
  return false;
}

bool KvppobController::SetRegProtectON() { return Send(kSetRegProtectOn, system_texts::SetRegProtectOnFail); }

bool KvppobController::SetRegProtectOFF() { return Send(kSetRegProtectOff, system_texts::SetRegProtectOffFail); }

bool DriverInstall(const Pause& pause) {
  const std::wstring binaryPath = std::wstring(kDriverFolder) + kDriverFile;
  CServiceControlManager scm(pause);
  if (!OpenManager(scm, system_texts::kDriverInstallManagerFail)) return false;
  win::SC_HANDLE created = scm.Create(kServiceName, kDisplayName, binaryPath);
  if (!created) {
    const win::DWORD error = win::GetLastError();
    LogDebugLine(system_texts::DriverInstallFail(error));
    if (error == win::ERROR_SERVICE_EXISTS) CompleteExistingDriver(scm);
    win::CloseServiceHandle(scm.m_manager);
    return false;
  }
  for (const InstanceValue& value : kInstanceValues) WriteInstanceValue(value);

  scm.m_service = win::OpenServiceW(scm.m_manager, kServiceName, win::SERVICE_ALL_ACCESS);
  scm.Start();
  if (scm.m_service) win::CloseServiceHandle(scm.m_service);
  win::CloseServiceHandle(created);
  win::CloseServiceHandle(scm.m_manager);
  LogDebugLine(system_texts::kDriverInstalled);
  return true;
}

bool DriverDelete(const Pause& pause) {
  CServiceControlManager scm(pause);
  if (!OpenManager(scm, system_texts::kDriverDeleteManagerFail)) return false;
  scm.m_service = win::OpenServiceW(scm.m_manager, kServiceName, win::SERVICE_ALL_ACCESS);
  scm.Stop();
  win::DeleteService(scm.m_service);
  if (scm.m_service) win::CloseServiceHandle(scm.m_service);
  win::CloseServiceHandle(scm.m_manager);
  return true;
}
