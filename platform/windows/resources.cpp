// Module resources through kernel32: the program's own (linked in by
// windres) and those of modules opened as data files.
#include "platform/resources.h"

#include <cstdint>

#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;

::HRSRC NativeResource(win::HRSRC resource) {
  return reinterpret_cast<::HRSRC>(const_cast<win::ResourceEntry*>(resource));
}

// The system marks the handle of a module opened as a data file in its low
// bits (1: as a data file, 2: as an image resource); a loaded module's
// handle is its page-aligned base.
bool IsDataModule(win::HMODULE module) { return (reinterpret_cast<std::uintptr_t>(module) & 3) != 0; }

}  // namespace

namespace win {

HMODULE GetModuleHandleW(const wchar_t* name) { return Wrapped(::GetModuleHandleW(name)); }

HMODULE LoadLibraryExW(const wchar_t* path, HANDLE, DWORD flags) {
  return Wrapped(::LoadLibraryExW(path, nullptr, flags));
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  if (!type || !name) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(::FindResourceExW(Native(module), type, name, language));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (!resource) {
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return ::LoadResource(Native(module), NativeResource(resource));
}

const void* LockResource(HGLOBAL data) { return ::LockResource(const_cast<void*>(data)); }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (!resource) {
    ::SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return ::SizeofResource(Native(module), NativeResource(resource));
}

}  // namespace win

namespace platform {

bool FreeResourceModule(win::HMODULE module) {
  if (!module || !IsDataModule(module)) return false;
  return ::FreeLibrary(Native(module)) != FALSE;
}

}  // namespace platform
