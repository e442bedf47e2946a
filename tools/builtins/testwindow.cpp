// bvlsim-testwindow: a test-only program with a top-level window. It
// creates the window titled by its first argument, sets the event named by
// its second, and answers messages: 0x401 with wParam + lParam; 0x446 (the
// agent's close message) with 0, then destroys the window and ends; 0x402
// ends it at once, without an answer.
#include <string>

#include "platform/codepage.h"
#include "platform/sync.h"
#include "platform/top_level_windows.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  win::HWND window = platform::CreateTopLevelWindow(platform::Utf8ToWide(argv[1]));
  win::HANDLE ready = win::CreateEventW(nullptr, win::TRUE, win::FALSE, platform::Utf8ToWide(argv[2]).c_str());
  win::SetEvent(ready);
  platform::WindowMessage message;
  while (platform::NextWindowMessage(&message, -1)) {
    if (message.message == 0x401) {
      platform::ReplyToMessage(message, static_cast<win::LRESULT>(message.wParam) + message.lParam);
    } else if (message.message == 0x446) {
      platform::ReplyToMessage(message, 0);
      platform::DestroyTopLevelWindow(window);
      return 0;
    } else if (message.message == 0x402) {
      return 4;
    } else {
      platform::ReplyToMessage(message, 0);
    }
  }
  return 1;
}
