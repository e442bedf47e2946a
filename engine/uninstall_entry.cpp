// Writing and removing the uninstall entry.
#include "engine/uninstall_entry.h"

#include "engine/install_engine.h"
#include "platform/registry.h"
#include "settings/registry_helpers.h"

namespace {

const wchar_t* const kUninstallParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const kProductId = L"{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";

std::wstring BufferText(const wchar_t* buffer, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && buffer[length] != L'\0') ++length;
  return std::wstring(buffer, length);
}

// Deletes the entry in the process's own view and in the 64-bit view, where
// RegWriteString keeps it on 64-bit Windows: deleting only the own view of a
// 32-bit installer would leave the entry in place there.
void DeleteEntry() {
  win::RegDeleteKeyW(win::HKEY_LOCAL_MACHINE, kUninstallKey);
  win::HKEY parent = nullptr;
  if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kUninstallParent, 0, win::KEY_ALL_ACCESS | win::KEY_WOW64_64KEY,
                         &parent) == win::ERROR_SUCCESS) {
    win::RegDeleteKeyW(parent, kProductId);
    win::RegCloseKey(parent);
  }
}

}  // namespace

win::BOOL InstallEngine::RegisterUninstallReg() {
  DeleteEntry();
  const std::wstring agentFolder = BufferText(m_programFilesDir, 260) + L"\\brimvale\\";
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", agentFolder + L"BrimvaleAgent.exe");
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", L"\ube0c\ub9bc\ubca0\uc77c");
  // Quoted: Windows runs an unquoted path with spaces as "C:\Program.exe".
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString",
                 L"\"" + agentFolder + L"bvlUninstaller.exe\" -u");
  RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", L"Korvanta., ltd.");
  return win::TRUE;
}

win::BOOL InstallEngine::DeleteUninstallReg() {
  DeleteEntry();
  return win::TRUE;
}
