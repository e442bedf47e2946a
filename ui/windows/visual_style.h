// Turning a control's visual style off, so that it is drawn in the classic
// style and honours the colours its page gives it.
#pragma once

#include "ui/windows/windows_headers.h"

namespace bvlui {

// SetWindowTheme(window, "", ""); false when the theme library is missing.
bool RemoveVisualStyle(HWND window);

}  // namespace bvlui
