// The system's verdict on a file's Authenticode signature: WinVerifyTrust
// with the generic verify action, no user interface, no revocation checks.
// Prints the result; the exit code is 0 when the file is trusted, else 1.
//
//   verify_trust.exe <file>
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fwprintf(stderr, L"usage: verify_trust.exe <file>\n");
    return 2;
  }
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = argv[1];
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = ::WinVerifyTrust(nullptr, &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(nullptr, &action, &data);
  std::printf("WinVerifyTrust: 0x%08lx\n", static_cast<unsigned long>(result));
  return result == 0 ? 0 : 1;
}
