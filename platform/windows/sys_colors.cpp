// System colours through user32: those of the user's theme.
#include "platform/sys_colors.h"

#include "platform/windows/windows_api.h"

namespace win {

COLORREF GetSysColor(int index) { return ::GetSysColor(index); }

}  // namespace win
