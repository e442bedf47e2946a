// bvlsim-testservice: a test-only service program. Started by the service
// manager it connects, reports RUNNING (accepting stop unless --no-stop),
// and ends on a stop request or when the event after --stop-event is set;
// --exit-early ends it before it connects. It writes what happens to the
// debug output ("testservice main <args>", "testservice stop request",
// "testservice stop event") and, when run outside the service manager,
// prints the dispatcher's error and exits with 2.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/debug_output.h"
#include "platform/services.h"
#include "platform/sync.h"

namespace {

win::SERVICE_STATUS_HANDLE g_status = nullptr;
win::HANDLE g_stop = nullptr;
bool g_acceptStop = true;
std::wstring g_stopEventName;
std::atomic<bool> g_stopRequested{false};

void Report(win::DWORD state) {
  win::SERVICE_STATUS status;
  status.dwServiceType = win::SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == win::SERVICE_RUNNING && g_acceptStop ? win::SERVICE_ACCEPT_STOP : 0;
  win::SetServiceStatus(g_status, &status);
}

void Handler(win::DWORD control) {
  if (control == win::SERVICE_CONTROL_STOP) {
    win::OutputDebugStringW(L"testservice stop request");
    g_stopRequested = true;
    Report(win::SERVICE_STOP_PENDING);
    win::SetEvent(g_stop);
  }
}

void ServiceMain(win::DWORD argc, wchar_t** argv) {
  std::wstring line = L"testservice main";
  for (win::DWORD i = 0; i < argc; ++i) line += L" " + std::wstring(argv[i]);
  win::OutputDebugStringW(line);
  g_status = win::RegisterServiceCtrlHandlerW(argv[0], Handler);
  // One event ends it: the named one when given (the handler sets it too),
  // else one of its own.
  g_stop = win::CreateEventW(nullptr, win::TRUE, win::FALSE, g_stopEventName.empty() ? nullptr : g_stopEventName.c_str());
  Report(win::SERVICE_START_PENDING);
  Report(win::SERVICE_RUNNING);
  win::WaitForSingleObject(g_stop, win::INFINITE);
  if (!g_stopRequested) win::OutputDebugStringW(L"testservice stop event");
  Report(win::SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--exit-early") == 0) return 3;
    if (std::strcmp(argv[i], "--no-stop") == 0) g_acceptStop = false;
    if (std::strcmp(argv[i], "--stop-event") == 0 && i + 1 < argc) g_stopEventName = platform::Utf8ToWide(argv[++i]);
  }
  win::SERVICE_TABLE_ENTRYW table[] = {{L"testservice", ServiceMain}, {nullptr, nullptr}};
  if (!win::StartServiceCtrlDispatcherW(table)) {
    std::printf("dispatcher error %u\n", static_cast<unsigned>(win::GetLastError()));
    return 2;
  }
  return 0;
}
