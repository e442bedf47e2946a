// The contents of a new machine: drive C:'s folders, the registry keys and
// environment Windows always has, and the desktop user's shell.
#include "platform/sim/machine/machine_setup.h"

#include <fstream>

#include "platform/sim/processes/builtin_programs.h"
#include "platform/codepage.h"
#include "platform/sim/files/file_lock.h"
#include "platform/sim/machine/identity.h"
#include "platform/process.h"
#include "platform/registry.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

void SetString(win::HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  win::HKEY handle = nullptr;
  if (win::RegCreateKeyExW(root, key, 0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, &handle,
                           nullptr) != 0) {
    return;
  }
  std::string bytes = WideToUtf16Le(value) + std::string(2, '\0');
  win::RegSetValueExW(handle, name, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(bytes.data()),
                      static_cast<win::DWORD>(bytes.size()));
  win::RegCloseKey(handle);
}

void SetDword(win::HKEY root, const std::wstring& key, const std::wstring& name, win::DWORD value) {
  win::HKEY handle = nullptr;
  if (win::RegCreateKeyExW(root, key, 0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY, nullptr, &handle,
                           nullptr) != 0) {
    return;
  }
  win::RegSetValueExW(handle, name, 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&value), 4);
  win::RegCloseKey(handle);
}

void CreateKey(const std::wstring& key) {
  win::HKEY handle = nullptr;
  if (win::RegCreateKeyExW(win::HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                           nullptr, &handle, nullptr) == 0) {
    win::RegCloseKey(handle);
  }
}

std::wstring Wide(const std::string& text) { return Utf8ToWide(text); }

std::wstring ProductName(const Profile& p) {
  if (p.hasCurrentMajorVersionNumber) return L"Windows 10 Pro";
  if (p.major == 5 && p.minor == 1) return L"Microsoft Windows XP";
  if (p.major == 6 && p.minor == 1) return L"Windows 7 Professional";
  if (p.major == 6 && p.minor == 3) return L"Windows 8.1 Pro";
  return L"Microsoft Windows";
}

}  // namespace

bool CreateMachineFiles(const fs::path& folder, const Profile& profile, std::string* error) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    if (error) *error = "cannot write the machine folder " + folder.string();
    return false;
  }
  fs::path c = folder / "drive_c";
  std::vector<fs::path> folders = {
      c / "Windows" / "System32" / "drivers",
      c / "Windows" / "Temp",
      c / "Program Files",
      c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs",
      c / "Users" / "Public" / "Desktop",
  };
  if (profile.x64) {
    folders.push_back(c / "Windows" / "SysWOW64");
    folders.push_back(c / "Program Files (x86)");
  }
  for (const std::string& user : {profile.desktopUser, profile.installerUser}) {
    folders.push_back(c / "Users" / user / "Desktop");
    folders.push_back(c / "Users" / user / "Downloads");
    folders.push_back(c / "Users" / user / "AppData" / "Local" / "Temp");
    folders.push_back(c / "Users" / user / "AppData" / "Roaming");
  }
  folders.push_back(folder / "state");
  for (const fs::path& f : folders) fs::create_directories(f, ec);
  std::ofstream(c / "Windows" / "explorer.exe").put('\0');
  // The task scheduler's tool runs the built-in schtasks stand-in; its task
  // files live in System32\Tasks.
  fs::create_directories(c / "Windows" / "System32" / "Tasks", ec);
  std::ofstream(c / "Windows" / "System32" / "schtasks.exe", std::ios::binary)
      << BuiltinStubImage(profile.x64 ? "amd64" : "i386", "schtasks", "Task Scheduler Configuration Tool");
  if (profile.x64) {
    std::ofstream(c / "Windows" / "SysWOW64" / "schtasks.exe", std::ios::binary)
        << BuiltinStubImage("i386", "schtasks", "Task Scheduler Configuration Tool");
  }
  std::ofstream(folder / "trusted_roots.pem");
  if (ec) {
    if (error) *error = "cannot create the folders of drive C: in " + folder.string();
    return false;
  }
  return true;
}

void PopulateMachine(const Machine& machine) {
  const Profile& p = machine.GetProfile();
  const std::wstring currentVersion = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  std::vector<std::wstring> softwareRoots = {L"SOFTWARE"};
  if (p.x64) softwareRoots.push_back(L"SOFTWARE\\Wow6432Node");
  for (const std::wstring& software : softwareRoots) {
    std::wstring key = software + L"\\Microsoft\\Windows NT\\CurrentVersion";
    SetString(win::HKEY_LOCAL_MACHINE, key, L"ProductName", ProductName(p));
    SetString(win::HKEY_LOCAL_MACHINE, key, L"CurrentBuild", std::to_wstring(p.build));
    SetString(win::HKEY_LOCAL_MACHINE, key, L"CurrentVersion",
              std::to_wstring(p.major) + L"." + std::to_wstring(p.minor));
    if (p.hasCurrentMajorVersionNumber) {
      SetDword(win::HKEY_LOCAL_MACHINE, key, L"CurrentMajorVersionNumber", 10);
      SetDword(win::HKEY_LOCAL_MACHINE, key, L"CurrentMinorVersionNumber", 0);
    }
    CreateKey(software + L"\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  }
  CreateKey(L"SYSTEM\\CurrentControlSet\\Services");
  const std::wstring environment = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"SystemRoot", L"C:\\Windows");
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"windir", L"C:\\Windows");
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"ProgramFiles", L"C:\\Program Files");
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"ProgramData", L"C:\\ProgramData");
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"TEMP", L"C:\\Windows\\Temp");
  SetString(win::HKEY_LOCAL_MACHINE, environment, L"PROCESSOR_ARCHITECTURE", p.x64 ? L"AMD64" : L"x86");
  if (p.x64) {
    SetString(win::HKEY_LOCAL_MACHINE, environment, L"ProgramW6432", L"C:\\Program Files");
    SetString(win::HKEY_LOCAL_MACHINE, environment, L"ProgramFiles(x86)", L"C:\\Program Files (x86)");
  }
  for (const std::string& user : {p.desktopUser, p.installerUser}) {
    std::wstring hive = L"HKU\\" + Wide(user);
    SetString(win::HKEY_USERS, Wide(user) + L"\\Environment", L"TEMP",
              L"C:\\Users\\" + Wide(user) + L"\\AppData\\Local\\Temp");
    SetString(win::HKEY_USERS, Wide(user) + L"\\Volatile Environment", L"USERNAME", Wide(user));
    (void)hive;
  }
  AddResidentProcess(L"System", "SYSTEM", 0, 4);
  AddResidentProcess(L"C:\\Windows\\System32\\services.exe", "SYSTEM", 0);
  if (p.explorerRunning) AddResidentProcess(L"C:\\Windows\\explorer.exe", p.desktopUser, 0);
}

}  // namespace platform
