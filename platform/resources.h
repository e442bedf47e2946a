// Module resources of the simulated machine: the program's own resource
// section (a .res image the build links into the program) and resource files
// opened as data modules, read with the platform's resource calls.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace win {

// A resource's type or name: a text, or a 16-bit id carried in the pointer.
using LPCWSTR = const wchar_t*;
inline LPCWSTR MAKEINTRESOURCEW(unsigned id) { return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id & 0xFFFF)); }
inline bool IS_INTRESOURCE(LPCWSTR name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }
inline LPCWSTR const RT_STRING = MAKEINTRESOURCEW(6);

struct ResourceEntry;
using HRSRC = const ResourceEntry*;
using HGLOBAL = const void*;

constexpr WORD LANG_NEUTRAL = 0;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;
constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;

// The running program's module when `name` is null (its resources are those
// the build linked in); null for any other name.
HMODULE GetModuleHandleW(const wchar_t* name);

// With LOAD_LIBRARY_AS_DATAFILE: opens the resource file at the Windows path
// `path` as a module whose only use is its resources; null with the last
// error when the file is missing or is not a resource file (ERROR_BAD_FORMAT).
// Without that flag it is LoadLibraryW.
HMODULE LoadLibraryExW(const wchar_t* path, HANDLE reserved, DWORD flags);

// The resource of that type, name and language; a resource of the neutral
// language stands in when the language is missing, as on Windows. A null
// module means the program's own. Null with ERROR_RESOURCE_*_NOT_FOUND.
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
// The resource's data block (read-only, lives as long as its module); null
// with the last error on failure.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL data);
// Size of the resource's data in bytes; 0 on failure.
DWORD SizeofResource(HMODULE module, HRSRC resource);

}  // namespace win

namespace platform {

// Releases a module opened by LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE;
// false for any other handle (FreeLibrary asks here first).
bool FreeResourceModule(win::HMODULE module);

}  // namespace platform
