// System colours of the simulated machine, as GetSysColor gives them on
// Windows 10 with its default theme.
#pragma once

#include "platform/win_types.h"

namespace win {

using COLORREF = DWORD;  // 0x00BBGGRR
inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return r | (g << 8) | (static_cast<DWORD>(b) << 16); }
inline constexpr BYTE GetRValue(COLORREF c) { return c & 0xFF; }
inline constexpr BYTE GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
inline constexpr BYTE GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }

constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNTEXT = 18;

// The colour of a display element; 0 (black) for an index the machine does
// not know.
COLORREF GetSysColor(int index);

}  // namespace win
