// The system folder's libraries, loaded by their full paths.
#include "platform/windows/system_library.h"

#include <string>

namespace platform_windows {

::HMODULE SystemLibrary(const wchar_t* library) {
  wchar_t folder[MAX_PATH] = {};
  const ::UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + library;
  // A module already loaded is found again and its count raised; the count
  // is never lowered, so the library stays for the process's life.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace platform_windows
