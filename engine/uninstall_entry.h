// The agent's entry in the system's list of installed programs.
#pragma once

// The entry's key below HKEY_LOCAL_MACHINE, written in the 64-bit view on
// 64-bit Windows.
inline const wchar_t* const kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";
// Where a 32-bit program sees the same entry on 64-bit Windows.
inline const wchar_t* const kUninstallKeyWow64 =
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{5C2E9B71-3D48-4F06-A1E7-9B0D24C6F835}";
