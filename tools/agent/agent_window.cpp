// BrimvaleAgent.exe's stand-in: the agent's user process, a top-level window
// titled "BrimvaleAgent.exe" that closes and ends on message 0x446.
#include "platform/top_level_windows.h"
#include "stand_in_support.h"

int main() {
  constexpr win::UINT kCloseAgentMessage = win::WM_USER + 70;
  win::HWND window = platform::CreateTopLevelWindow(L"BrimvaleAgent.exe");
  if (!window) return 1;
  stand_in::Log("BrimvaleAgent", L"Agent window open");
  while (stand_in::MachineExists()) {
    platform::WindowMessage message;
    if (!platform::NextWindowMessage(&message, 500)) continue;
    platform::ReplyToMessage(message, 0);
    if (message.message == kCloseAgentMessage || message.message == win::WM_CLOSE) {
      stand_in::Log("BrimvaleAgent", L"Agent window closed");
      break;
    }
  }
  platform::DestroyTopLevelWindow(window);
  return 0;
}
