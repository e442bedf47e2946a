// The agent's shortcuts: their target, folders and names.
#include "app/shortcuts.h"

#include <algorithm>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {
// "브림베일": the shortcuts' name and description.
const std::wstring kShortcutName = L"\ube0c\ub9bc\ubca0\uc77c";
const std::wstring kProgramsFolder = L"Brimvale";
}  // namespace

std::wstring AgentShortcutTarget() {
  wchar_t folder[win::MAX_PATH] = {};
  win::BOOL wow64 = win::FALSE;
  if (win::IsWow64Process(win::GetCurrentProcess(), &wow64) && wow64) {
    // A 32-bit installer on 64-bit Windows: the agent is in the 64-bit folder.
    win::GetEnvironmentVariableW(L"ProgramW6432", folder, win::MAX_PATH);
  } else {
    win::SHGetSpecialFolderPathW(nullptr, folder, win::CSIDL_PROGRAM_FILES, win::FALSE);
  }
  return std::wstring(folder) + L"\\brimvale\\BrimvaleAgent.exe";
}

void CreateAgentShortcuts() {
  const std::wstring target = AgentShortcutTarget();
  CreateDesktopShortcut(target, kShortcutName);
  CreateProgramsShortcut(target, kProgramsFolder, kShortcutName);
}

void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name) {
  wchar_t desktop[win::MAX_PATH] = {};
  if (!win::SHGetSpecialFolderPathW(nullptr, desktop, win::CSIDL_DESKTOP, win::FALSE)) return;
  win::CreateDirectoryW(desktop, nullptr);
  CreateShellLink(target, std::wstring(desktop) + L"\\" + name + L".lnk", name);
}

void CreateProgramsShortcut(const std::wstring& target, const std::wstring& folderPath, const std::wstring& name) {
  wchar_t programs[win::MAX_PATH] = {};
  if (!win::SHGetSpecialFolderPathW(nullptr, programs, win::CSIDL_COMMON_PROGRAMS, win::FALSE)) return;
  std::wstring folder = programs;
  win::CreateDirectoryW(folder, nullptr);
  std::size_t start = 0;
  while (start <= folderPath.size()) {
    const std::size_t end = std::min(folderPath.find(L'\\', start), folderPath.size());
    const std::wstring component = folderPath.substr(start, end - start);
    if (!component.empty()) {
      folder += L"\\" + component;
      win::CreateDirectoryW(folder, nullptr);
    }
    start = end + 1;
  }
  CreateShellLink(target, folder + L"\\" + name + L".lnk", name);
}
