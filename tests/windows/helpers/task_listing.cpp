// Lists the scheduled tasks the way the installer does, a number of times:
// schtasks.exe started with a console of its own and its standard output in
// an inheritable file that nobody else may open, waited for, and the file
// opened for reading at once. Prints how many of the openings failed and
// their errors; the exit code is that count.
//
//   task_listing.exe <schtasks.exe> <list file> <runs>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: task_listing.exe <schtasks.exe> <list file> <runs>\n");
    return 255;
  }
  const std::wstring program = argv[1];
  const wchar_t* list = argv[2];
  const int runs = std::wcstol(argv[3], nullptr, 10);
  int failures = 0;
  for (int run = 0; run < runs; ++run) {
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
    HANDLE output = ::CreateFileW(list, GENERIC_WRITE, 0, &security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = output;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + program + L"\"";
    if (!::CreateProcessW(nullptr, command.data(), &security, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                          &startup, &process)) {
      std::printf("run %d: the program did not start (error %lu)\n", run, ::GetLastError());
      return 255;
    }
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(output);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    HANDLE read = ::CreateFileW(list, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (read == INVALID_HANDLE_VALUE) {
      std::printf("run %d: the list file cannot be opened (error %lu)\n", run, ::GetLastError());
      ++failures;
    } else {
      ::CloseHandle(read);
    }
  }
  std::printf("%d of %d openings failed\n", failures, runs);
  return failures;
}
