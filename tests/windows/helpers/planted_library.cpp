// A library that someone placed beside the installer under the name of a
// system library (winhttp.dll, dbghelp.dll, ...): when a process loads it,
// it leaves the file "planted-library-loaded.txt" in its own folder, which
// the tests look for.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
  std::wstring marker(path, length);
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"planted-library-loaded.txt";
  const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
