// Writing and removing the uninstall entry.
#include "engine/uninstall_entry.h"

#include <string>
#include <utility>

#include "engine/engine_texts.h"
#include "engine/install_engine.h"
#include "platform/registry.h"
#include "system/debug_log.h"
#include "system/registry_helpers.h"

namespace {

const wchar_t* const kUninstallParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const kProductId = L"{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";

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
  const std::wstring agentFolder = ProgramFilesFolder() + L"\\brimvale\\";
  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"DisplayIcon", agentFolder + L"BrimvaleAgent.exe"},
      {L"DisplayName", L"\ube0c\ub9bc\ubca0\uc77c"},
      // Quoted: Windows runs an unquoted path with spaces as "C:\Program.exe".
      {L"UninstallString", L"\"" + agentFolder + L"bvlUninstaller.exe\" -u"},
      {L"Publisher", L"Korvanta., ltd."},
  };
  bool complete = true;
  for (const auto& [name, data] : values) {
    // RegWriteString tells only whether the key could be created; a value
    // that did not reach the registry (a full disk) is found by reading it
    // back. The entry was deleted above; an old value that outlived a failed
    // deletion passes only when it holds the very text to write.
    std::wstring stored;
    if (!RegWriteString(win::HKEY_LOCAL_MACHINE, kUninstallKey, name, data) ||
        !RegReadString(kUninstallKey, name, &stored) || stored != data) {
      LogDebugLine(engine_texts::UninstallValueFail(name));
      complete = false;
    }
  }
  return complete ? win::TRUE : win::FALSE;
}

win::BOOL InstallEngine::DeleteUninstallReg() {
  DeleteEntry();
  return win::TRUE;
}
