// heartbeat_hook.dll: the heartbeat inside the wizard's user-interface
// thread. heartbeat_probe.exe hooks that thread's message retrieval with
// this library; on its first call there the library starts a 5 ms timer on
// the thread and, at every tick, measures the time since the last one. A
// long gap means the thread did not pump its messages (it neither painted
// nor answered input) for that long. While the installation runs (from the
// moment the wizard's OK button hides until it shows again) the longest gap
// and the number of ticks are kept in the shared section below, which the
// probe reads through the library's Heartbeat function.
#include <windows.h>

namespace {

constexpr int kOkButton = 1027;

// Shared between the wizard's copy of the library and the probe's.
#define BVL_SHARED __attribute__((section(".beat"), shared))
volatile LONG g_longestGapMicroseconds BVL_SHARED = 0;
volatile LONG g_ticks BVL_SHARED = 0;
volatile LONG g_state BVL_SHARED = 0;  // 0 waiting, 1 installing, 2 finished

// "브림베일 설치 프로그램": the wizard's window text.
const wchar_t kWizardTitle[] = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8";

HWND g_wizard = nullptr;
LONGLONG g_lastTick = 0;
LONGLONG g_frequency = 0;
bool g_timerStarted = false;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  if (g_wizard == nullptr) g_wizard = ::FindWindowW(nullptr, kWizardTitle);
  const bool installing = g_wizard != nullptr && !::IsWindowVisible(::GetDlgItem(g_wizard, kOkButton));
  if (g_state == 0 && installing) g_state = 1;
  if (g_state == 1 && !installing) g_state = 2;
  if (g_state == 1 && g_lastTick != 0) {
    const LONG gap = static_cast<LONG>((now.QuadPart - g_lastTick) * 1000000 / g_frequency);
    if (gap > g_longestGapMicroseconds) g_longestGapMicroseconds = gap;
    ++g_ticks;
  }
  g_lastTick = now.QuadPart;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK HeartbeatHook(int code, WPARAM wParam, LPARAM lParam) {
  if (!g_timerStarted) {
    g_timerStarted = true;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    g_frequency = frequency.QuadPart;
    ::SetTimer(nullptr, 0, 5, &Tick);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The longest gap (microseconds) and the ticks during the installation, and
// whether it has finished.
extern "C" __declspec(dllexport) void Heartbeat(LONG* longestGapMicroseconds, LONG* ticks, LONG* state) {
  *longestGapMicroseconds = g_longestGapMicroseconds;
  *ticks = g_ticks;
  *state = g_state;
}
