// Windows' side of the schtasks stand-in: the wide command line, the account
// that runs the tool, and standard output in binary mode (the C runtime's
// text mode would turn each CR LF into CR CR LF).
#include "schtasks_machine.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

namespace schtasks_machine {

std::vector<std::wstring> Arguments(int, char**) {
  std::vector<std::wstring> arguments;
  int count = 0;
  wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!list) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(list[i]);
  ::LocalFree(list);
  return arguments;
}

std::vector<std::wstring> UserAccounts() {
  wchar_t name[257] = {};
  DWORD size = 257;
  if (!::GetUserNameW(name, &size)) return {};
  return {name};
}

void UseBinaryConsole() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace schtasks_machine
