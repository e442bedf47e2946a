// Environment variables, special folders and drives of the machine.
#include "platform/environment.h"

#include <cwctype>

#include "platform/codepage.h"
#include "platform/sim/machine/faults.h"
#include "platform/sim/machine/identity.h"
#include "platform/sim/machine/machine.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sim/registry/registry_store.h"

namespace win {

namespace {

bool ReadValue(const std::wstring& path, const std::wstring& name, std::wstring* value) {
  std::shared_ptr<const platform::RegistryTree> shared = platform::ShareRegistry();
  const platform::RegistryTree& tree = *shared;
  auto key = tree.find(platform::RegistryFold(path));
  if (key == tree.end()) return false;
  auto it = key->second.values.find(platform::RegistryFold(name));
  if (it == key->second.values.end()) return false;
  std::wstring text = platform::Utf16LeToWide(it->second.data);
  std::size_t nul = text.find(L'\0');
  *value = nul == std::wstring::npos ? text : text.substr(0, nul);
  return true;
}

bool Under32BitOn64() { return platform::Machine::Current().GetProfile().x64 && !platform::ProcessIs64Bit(); }

std::wstring UserName() { return platform::Utf8ToWide(platform::ThreadUser()); }

DWORD CopyWithNul(const std::wstring& text, wchar_t* buffer, DWORD size) {
  if (!buffer || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = L'\0';
  return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD GetEnvironmentVariableW(const std::wstring& name, wchar_t* buffer, DWORD size) {
  std::wstring folded = platform::RegistryFold(name);
  std::wstring value;
  bool found = false;
  if (folded == L"programfiles" && Under32BitOn64()) {
    found = ReadValue(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", L"ProgramFiles(x86)", &value);
  } else if (folded == L"username") {
    value = UserName();
    found = true;
  } else if (folded == L"userprofile") {
    value = L"C:\\Users\\" + UserName();
    found = true;
  } else {
    found = ReadValue(L"HKU\\" + UserName() + L"\\Environment", name, &value) ||
            ReadValue(L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", name, &value);
  }
  if (!found || platform::ShouldFail("GetEnvironmentVariable", name)) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return CopyWithNul(value, buffer, size);
}

BOOL SHGetSpecialFolderPathW(void*, wchar_t* path, int csidl, BOOL) {
  if (!path) return FALSE;
  if (platform::ShouldFail("SHGetSpecialFolderPath", std::to_wstring(csidl))) return FALSE;
  const platform::Profile& profile = platform::Machine::Current().GetProfile();
  std::wstring folder;
  switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: folder = L"C:\\Users\\" + UserName() + L"\\Desktop"; break;
    case CSIDL_COMMON_DESKTOPDIRECTORY: folder = L"C:\\Users\\Public\\Desktop"; break;
    case CSIDL_COMMON_PROGRAMS: folder = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"; break;
    case CSIDL_COMMON_APPDATA: folder = L"C:\\ProgramData"; break;
    case CSIDL_LOCAL_APPDATA: folder = L"C:\\Users\\" + UserName() + L"\\AppData\\Local"; break;
    case CSIDL_WINDOWS: folder = L"C:\\Windows"; break;
    case CSIDL_SYSTEM: folder = L"C:\\Windows\\system32"; break;
    case CSIDL_PROGRAM_FILES: folder = Under32BitOn64() ? L"C:\\Program Files (x86)" : L"C:\\Program Files"; break;
    case CSIDL_PROGRAM_FILESX86:
      if (!profile.x64) return FALSE;
      folder = L"C:\\Program Files (x86)";
      break;
    default: return FALSE;
  }
  if (folder.size() >= MAX_PATH) return FALSE;
  std::copy(folder.begin(), folder.end(), path);
  path[folder.size()] = L'\0';
  return TRUE;
}

UINT GetSystemDirectoryW(wchar_t* buffer, UINT size) {
  if (platform::ShouldFail("GetSystemDirectory")) return 0;
  return CopyWithNul(L"C:\\Windows\\system32", buffer, size);
}

DWORD GetTempPathW(DWORD size, wchar_t* buffer) {
  std::wstring temp;
  wchar_t value[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"TEMP", value, MAX_PATH);
  temp = n > 0 && n < MAX_PATH ? std::wstring(value, n) : L"C:\\Windows\\Temp";
  if (temp.back() != L'\\') temp.push_back(L'\\');
  return CopyWithNul(temp, buffer, size);
}

DWORD GetLogicalDriveStringsW(DWORD size, wchar_t* buffer) {
  const std::wstring drives(L"C:\\\0Z:\\\0", 8);
  if (!buffer || size < drives.size() + 1) return static_cast<DWORD>(drives.size() + 1);
  std::copy(drives.begin(), drives.end(), buffer);
  buffer[drives.size()] = L'\0';
  return static_cast<DWORD>(drives.size());
}

UINT GetDriveTypeW(const std::wstring& rootPath) {
  const bool root = (rootPath.size() == 2 || (rootPath.size() == 3 && (rootPath[2] == L'\\' || rootPath[2] == L'/'))) &&
                    rootPath[1] == L':';
  if (!root) return DRIVE_NO_ROOT_DIR;
  const wchar_t drive = static_cast<wchar_t>(std::towupper(rootPath[0]));
  return drive == L'C' || drive == L'Z' ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

DWORD QueryDosDeviceW(const std::wstring& deviceName, wchar_t* buffer, DWORD size) {
  std::wstring name = platform::RegistryFold(deviceName);
  std::wstring device;
  if (name == L"c:") device = L"\\Device\\HarddiskVolume2";
  else if (name == L"z:") device = L"\\Device\\HarddiskVolume1";
  else {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  // The result is a list: the name, NUL, and a final NUL.
  if (!buffer || size < device.size() + 2) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(device.begin(), device.end(), buffer);
  buffer[device.size()] = L'\0';
  buffer[device.size() + 1] = L'\0';
  return static_cast<DWORD>(device.size() + 2);
}

}  // namespace win
