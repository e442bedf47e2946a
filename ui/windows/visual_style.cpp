// uxtheme.dll is not one of the libraries Windows always takes from its own
// folder, so it is loaded from there by its full path rather than imported.
#include "ui/windows/visual_style.h"

#include <uxtheme.h>

#include "platform/windows/system_library.h"

namespace bvlui {

bool RemoveVisualStyle(HWND window) {
  static const auto setWindowTheme =
      platform_windows::SystemFunction<decltype(&::SetWindowTheme)>(L"uxtheme.dll", "SetWindowTheme");
  if (setWindowTheme == nullptr) return false;
  return SUCCEEDED(setWindowTheme(window, L"", L""));
}

}  // namespace bvlui
