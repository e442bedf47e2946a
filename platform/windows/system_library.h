// Functions of the system's libraries that Windows does not always take from
// its own folder. A program resolves its imports through the DLL search
// order, which begins with the program's own folder; the installer runs from
// the user's Downloads folder, where a file named winhttp.dll, wintrust.dll,
// crypt32.dll or dbghelp.dll may lie that nobody chose. These libraries are
// therefore not imported: each is loaded on first use from the system folder
// by its full path (its own dependencies are then looked for there first),
// and its functions are found by name.
#pragma once

#include <windows.h>

namespace platform_windows {

// The system folder's `library` ("winhttp.dll"), loaded once and kept for
// the life of the process; null, with the last error, when it cannot be.
::HMODULE SystemLibrary(const wchar_t* library);

// The function `name` of the system folder's `library` as the type
// `Function` (the declared type of the system's function, such as
// decltype(&::WinHttpOpen)), or null with the last error set.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  const ::HMODULE module = SystemLibrary(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// The failure value of a call whose function could not be found, with the
// last error set (ERROR_PROC_NOT_FOUND).
template <typename Value>
Value MissingFunction(Value failure) {
  ::SetLastError(ERROR_PROC_NOT_FOUND);
  return failure;
}

}  // namespace platform_windows
