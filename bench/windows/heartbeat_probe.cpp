// heartbeat_probe.exe: how long the native wizard's user-interface thread
// goes without pumping its messages while the install worker runs. Every
// 5 ms it sends the wizard a message that does nothing (WM_NULL) and times
// the answer, which can come only when that thread reads its queue; the
// longest wait is the longest stall a user would feel. The installation is
// timed from the moment the wizard's buttons hide (Agree) until the OK
// button shows (the completion page).
//   heartbeat_probe.exe     prints "install_ms N", "longest_gap_ms G",
//                           "median_gap_ms M" and "samples S"; exit code 1
//                           when the wizard did not appear or not finish
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// "브림베일 설치 프로그램": the wizard's window text.
const wchar_t kWizardTitle[] = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8";
constexpr int kOkButton = 1027;

double Milliseconds(LONGLONG ticks, LONGLONG frequency) { return 1000.0 * static_cast<double>(ticks) / frequency; }

}  // namespace

int main() {
  LARGE_INTEGER frequency, now;
  ::QueryPerformanceFrequency(&frequency);
  HWND wizard = nullptr;
  for (int i = 0; i < 1200 && wizard == nullptr; ++i) {
    wizard = ::FindWindowW(nullptr, kWizardTitle);
    if (wizard == nullptr) ::Sleep(100);
  }
  if (wizard == nullptr) {
    std::fprintf(stderr, "heartbeat_probe: no wizard\n");
    return 1;
  }
  HWND ok = ::GetDlgItem(wizard, kOkButton);
  // The heartbeat runs from the licence page on; the installation begins
  // when the button hides.
  LONGLONG start = 0;
  std::vector<double> gaps;
  while (::IsWindow(wizard)) {
    const bool installing = !::IsWindowVisible(ok);
    if (start != 0 && !installing) break;
    LARGE_INTEGER before, after;
    DWORD_PTR answer = 0;
    ::QueryPerformanceCounter(&before);
    if (start == 0 && installing) start = before.QuadPart;
    ::SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
    ::QueryPerformanceCounter(&after);
    const double gap = Milliseconds(after.QuadPart - before.QuadPart, frequency.QuadPart);
    if (start != 0) {
      gaps.push_back(gap);
      if (gap > 50.0) {
        std::printf("stall_ms %.1f at_ms %.0f\n", gap, Milliseconds(before.QuadPart - start, frequency.QuadPart));
      }
    }
    ::Sleep(5);
  }
  ::QueryPerformanceCounter(&now);
  if (!::IsWindow(wizard) || gaps.empty()) {
    std::fprintf(stderr, "heartbeat_probe: the wizard ended before its completion page\n");
    return 1;
  }
  std::vector<double> sorted = gaps;
  std::sort(sorted.begin(), sorted.end());
  std::printf("install_ms %.0f\nlongest_gap_ms %.1f\nmedian_gap_ms %.2f\nsamples %zu\n",
              Milliseconds(now.QuadPart - start, frequency.QuadPart), sorted.back(), sorted[sorted.size() / 2],
              sorted.size());
  return 0;
}
