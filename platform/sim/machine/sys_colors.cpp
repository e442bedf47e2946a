// The machine's system colours: the Windows 10 defaults.
#include "platform/sys_colors.h"

namespace win {

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    default: return 0;
  }
}

}  // namespace win
