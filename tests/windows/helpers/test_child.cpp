// The program that the tests of the Windows platform start as a child, built
// on the interface it tests. Its first argument names what it does:
//   exit N             ends with exit code N
//   print TEXT         writes TEXT to standard output, ends with 0
//   sleep              sleeps until it is terminated
//   set-event NAME     sets the existing named event NAME, ends with 0 (1 when it does not exist)
//   window TITLE       shows a top-level window titled TITLE; answers WM_USER + n with n + 1 and
//                      ends with 0 on WM_CLOSE
//   service            runs as an own-process service until it is asked to stop
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/process.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"

namespace {

int Window(const std::wstring& title) {
  win::HWND window = platform::CreateTopLevelWindow(title);
  if (!window) return 2;
  while (true) {
    platform::WindowMessage message;
    if (!platform::NextWindowMessage(&message, -1)) continue;
    if (message.message == win::WM_CLOSE) {
      platform::ReplyToMessage(message, 0);
      break;
    }
    platform::ReplyToMessage(message, static_cast<win::LRESULT>(message.message - win::WM_USER + 1));
  }
  platform::DestroyTopLevelWindow(window);
  return 0;
}

win::SERVICE_STATUS_HANDLE g_status = nullptr;
win::HANDLE g_stop = nullptr;

void Report(win::DWORD state) {
  win::SERVICE_STATUS status;
  status.dwServiceType = win::SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == win::SERVICE_RUNNING ? win::SERVICE_ACCEPT_STOP : 0;
  win::SetServiceStatus(g_status, &status);
}

void Handler(win::DWORD control) {
  if (control == win::SERVICE_CONTROL_STOP) {
    Report(win::SERVICE_STOP_PENDING);
    win::SetEvent(g_stop);
  }
}

void ServiceMain(win::DWORD, wchar_t** argv) {
  g_status = win::RegisterServiceCtrlHandlerW(argv[0], Handler);
  g_stop = win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr);
  if (!g_status || !g_stop) return;
  Report(win::SERVICE_RUNNING);
  win::WaitForSingleObject(g_stop, win::INFINITE);
  Report(win::SERVICE_STOPPED);
}

int Service() {
  const win::SERVICE_TABLE_ENTRYW table[] = {{L"", ServiceMain}, {nullptr, nullptr}};
  return win::StartServiceCtrlDispatcherW(table) ? 0 : 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  const std::wstring argument = argc > 2 ? argv[2] : L"";
  if (mode == L"exit") return std::wcstol(argument.c_str(), nullptr, 10);
  if (mode == L"print") {
    std::fputws(argument.c_str(), stdout);
    return 0;
  }
  if (mode == L"sleep") {
    while (true) win::Sleep(1000);
  }
  if (mode == L"set-event") {
    win::HANDLE event = win::OpenEventW(win::EVENT_MODIFY_STATE, win::FALSE, argument);
    return event && win::SetEvent(event) ? 0 : 1;
  }
  if (mode == L"window") return Window(argument);
  if (mode == L"service") return Service();
  return 100;
}
