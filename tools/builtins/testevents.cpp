// bvlsim-testevents: a test-only program for named objects across processes.
//   wait NAME MILLISECONDS      exits 0 when the event is set in time, 1 if not
//   set NAME                    opens the event and sets it (2 when there is none)
//   hold NAME READY             creates NAME, sets READY, and waits for ever
//   hold-service NAME READY     opens the service NAME, sets READY, waits for ever
//   hold-mutex NAME READY       creates the mutex NAME owned, sets READY, waits for ever
//   wait-mutex NAME MILLISECONDS  exits 0 when it took the mutex in time, 3 when
//                               it took it abandoned, 1 if not; ends owning it
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "platform/services.h"
#include "platform/sync.h"

namespace {

std::wstring Wide(const char* text) { return platform::Utf8ToWide(text); }

int Ready(const char* name) {
  win::HANDLE ready = win::OpenEventW(win::EVENT_MODIFY_STATE, win::FALSE, Wide(name));
  if (!ready) return 2;
  win::SetEvent(ready);
  win::Sleep(win::INFINITE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string command = argv[1];
  std::wstring name = Wide(argv[2]);
  if (command == "wait" && argc >= 4) {
    win::HANDLE event = win::CreateEventW(nullptr, win::FALSE, win::FALSE, name.c_str());
    return win::WaitForSingleObject(event, static_cast<win::DWORD>(std::atoi(argv[3]))) == win::WAIT_OBJECT_0 ? 0 : 1;
  }
  if (command == "set") {
    win::HANDLE event = win::OpenEventW(win::EVENT_ALL_ACCESS, win::FALSE, name);
    if (!event) return 2;
    return win::SetEvent(event) ? 0 : 1;
  }
  if (command == "hold" && argc >= 4) {
    win::CreateEventW(nullptr, win::TRUE, win::FALSE, name.c_str());
    return Ready(argv[3]);
  }
  if (command == "hold-mutex" && argc >= 4) {
    if (!win::CreateMutexW(nullptr, win::TRUE, name.c_str())) return 2;
    return Ready(argv[3]);
  }
  if (command == "wait-mutex" && argc >= 4) {
    win::HANDLE mutex = win::CreateMutexW(nullptr, win::FALSE, name.c_str());
    const win::DWORD result = win::WaitForSingleObject(mutex, static_cast<win::DWORD>(std::atoi(argv[3])));
    return result == win::WAIT_OBJECT_0 ? 0 : result == win::WAIT_ABANDONED ? 3 : 1;
  }
  if (command == "hold-service" && argc >= 4) {
    win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    if (!win::OpenServiceW(manager, name, win::SERVICE_QUERY_STATUS)) return 3;
    return Ready(argv[3]);
  }
  return 2;
}
