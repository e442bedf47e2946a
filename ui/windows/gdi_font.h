// GDI fonts for the controls that draw their own text with GDI (the
// agreement box, the progress list, the check box).
#pragma once

#include "ui/windows/windows_headers.h"

#include <string>

namespace bvlui {

// A font of `tenthsOfPoint` tenths of a point in `family`, its height worked
// out for the screen's vertical resolution; the caller deletes it.
HFONT CreatePointFont(int tenthsOfPoint, const std::wstring& family);

// A font of `height` logical units (negative: the character height in
// pixels), weight `weight`, in `family`; the caller deletes it.
HFONT CreatePixelFont(int height, int weight, const std::wstring& family);

}  // namespace bvlui
