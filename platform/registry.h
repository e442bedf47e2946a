// Registry API of the simulated machine, by the Windows names. REG_SZ data is
// kept as exactly the bytes written; a 32-bit process on a 64-bit machine sees
// HKLM\Software through Wow6432Node unless it asks for the 64-bit view.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win {

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LSTATUS RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD reserved, const wchar_t* keyClass,
                        DWORD options, REGSAM access, const void* security, HKEY* result, DWORD* disposition);
LSTATUS RegCreateKeyW(HKEY root, const std::wstring& subKey, HKEY* result);
LSTATUS RegOpenKeyExW(HKEY root, const std::wstring& subKey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegOpenKeyW(HKEY root, const std::wstring& subKey, HKEY* result);
// With null data: the size in `size`. With data: copies when *size suffices,
// else ERROR_MORE_DATA and the size needed.
LSTATUS RegQueryValueExW(HKEY key, const std::wstring& name, DWORD* reserved, DWORD* type, BYTE* data,
                         DWORD* size);
LSTATUS RegSetValueExW(HKEY key, const std::wstring& name, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD size);
LSTATUS RegDeleteValueW(HKEY key, const std::wstring& name);
// Deletes a key that has no subkeys.
LSTATUS RegDeleteKeyW(HKEY root, const std::wstring& subKey);
// Deletes a key with its whole subtree (shlwapi).
LSTATUS SHDeleteKeyW(HKEY root, const std::wstring& subKey);
LSTATUS RegCloseKey(HKEY key);

}  // namespace win

namespace platform {

// The full stored path ("HKLM\...", "HKU\<user>\...") that a root and subkey
// reach for the calling thread with the given access (WOW64 view included).
// Empty for an invalid root.
std::wstring ResolveRegistryPath(win::HKEY root, const std::wstring& subKey, win::REGSAM access);

}  // namespace platform
