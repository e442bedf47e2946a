// The agent's shortcuts, which the completion page's OK creates when the
// user asked for them: one on the current user's desktop and one in the
// "Brimvale" folder of the all-users programs menu, both named and
// described "브림베일". Failures leave a shortcut missing; nothing is logged.
#pragma once

#include <cstdint>
#include <string>

namespace win {
using HRESULT = std::int32_t;
}  // namespace win

// The target of both shortcuts: BrimvaleAgent.exe in the "brimvale" folder
// of the 64-bit program-files folder (ProgramW6432 for a 32-bit installer on
// 64-bit Windows).
std::wstring AgentShortcutTarget();

// Both shortcuts to the agent.
void CreateAgentShortcuts();

// `name`.lnk on the current user's desktop.
void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name);
// `name`.lnk in `folderPath` (components separated by "\", created as
// needed) of the all-users programs menu.
void CreateProgramsShortcut(const std::wstring& target, const std::wstring& folderPath, const std::wstring& name);

// Writes a shell link to `target` at `linkFile` with the description and no
// arguments, replacing a file of that name. Each build has its own: the
// shell's link object on Windows, the link file writer on the simulated
// machine.
win::HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkFile, const std::wstring& description);
