// heartbeat_probe.exe: how long the native wizard's user-interface thread
// goes without pumping its messages while the install worker runs. It hooks
// that thread's message retrieval with heartbeat_hook.dll (beside it), which
// runs a 5 ms timer on the thread and keeps the longest gap between ticks
// from the moment the wizard's buttons hide (Agree) until the OK button
// shows (the completion page); the probe times the same span.
//   heartbeat_probe.exe     prints "install_ms N", "longest_gap_ms G" and
//                           "ticks T"; exit code 1 when the wizard did not
//                           appear or not finish
#include <windows.h>

#include <cstdio>

namespace {

// "브림베일 설치 프로그램": the wizard's window text.
const wchar_t kWizardTitle[] = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8";

using HeartbeatFunction = void (*)(LONG*, LONG*, LONG*);

double Milliseconds(LONGLONG ticks, LONGLONG frequency) { return 1000.0 * static_cast<double>(ticks) / frequency; }

}  // namespace

int main() {
  HMODULE library = ::LoadLibraryW(L"heartbeat_hook.dll");
  auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(library, "HeartbeatHook")));
  auto heartbeat = reinterpret_cast<HeartbeatFunction>(reinterpret_cast<void*>(::GetProcAddress(library, "Heartbeat")));
  if (hook == nullptr || heartbeat == nullptr) {
    std::fprintf(stderr, "heartbeat_probe: heartbeat_hook.dll is missing\n");
    return 1;
  }
  HWND wizard = nullptr;
  for (int i = 0; i < 1200 && wizard == nullptr; ++i) {
    wizard = ::FindWindowW(nullptr, kWizardTitle);
    if (wizard == nullptr) ::Sleep(100);
  }
  if (wizard == nullptr) {
    std::fprintf(stderr, "heartbeat_probe: no wizard\n");
    return 1;
  }
  HHOOK installed = ::SetWindowsHookExW(WH_GETMESSAGE, hook, library, ::GetWindowThreadProcessId(wizard, nullptr));
  if (installed == nullptr) {
    std::fprintf(stderr, "heartbeat_probe: cannot hook the wizard (error %lu)\n", ::GetLastError());
    return 1;
  }
  // Wakes the wizard's thread, so that the hook starts its timer.
  ::PostMessageW(wizard, WM_NULL, 0, 0);
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  LONGLONG start = 0;
  LONG gap = 0, ticks = 0, state = 0;
  while (::IsWindow(wizard)) {
    heartbeat(&gap, &ticks, &state);
    ::QueryPerformanceCounter(&now);
    if (state >= 1 && start == 0) start = now.QuadPart;
    if (state == 2) break;
    ::Sleep(5);
  }
  ::UnhookWindowsHookEx(installed);
  if (state != 2) {
    std::fprintf(stderr, "heartbeat_probe: the wizard ended before its completion page\n");
    return 1;
  }
  std::printf("install_ms %.0f\nlongest_gap_ms %.1f\nticks %ld\n", Milliseconds(now.QuadPart - start, frequency.QuadPart),
              gap / 1000.0, static_cast<long>(ticks));
  return 0;
}
