// Module resources through kernel32: the program's own (linked in by
// windres) and those of modules opened as data files.
#include "platform/resources.h"

#include <mutex>
#include <set>

#include "platform/windows/windows_api.h"

namespace {

using platform_windows::Native;
using platform_windows::Wrapped;

::HRSRC NativeResource(win::HRSRC resource) {
  return reinterpret_cast<::HRSRC>(const_cast<win::ResourceEntry*>(resource));
}

// The handles LoadLibraryExW gave out for data files, once per opening. The
// system's handle alone does not tell: for a module the program has loaded
// already, it hands back the loaded module's own handle.
struct DataModules {
  std::mutex mutex;
  std::multiset<::HMODULE> handles;
};

DataModules& OpenedDataModules() {
  static DataModules opened;
  return opened;
}

}  // namespace

namespace win {

HMODULE GetModuleHandleW(const wchar_t* name) { return Wrapped(::GetModuleHandleW(name)); }

HMODULE LoadLibraryExW(const wchar_t* path, HANDLE, DWORD flags) {
  const ::HMODULE module = ::LoadLibraryExW(path, nullptr, flags);
  if (module && (flags & LOAD_LIBRARY_AS_DATAFILE)) {
    DataModules& opened = OpenedDataModules();
    std::lock_guard<std::mutex> guard(opened.mutex);
    opened.handles.insert(module);
  }
  return Wrapped(module);
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
  {
    DataModules& opened = OpenedDataModules();
    std::lock_guard<std::mutex> guard(opened.mutex);
    const auto found = opened.handles.find(Native(module));
    if (found == opened.handles.end()) return false;
    opened.handles.erase(found);
  }
  return ::FreeLibrary(Native(module)) != FALSE;
}

}  // namespace platform
