// The DirectWrite family of a window's GDI font: what a caption format that
// names no family of its own is drawn in.
#pragma once

#include "ui/windows/windows_headers.h"

#include <string>

namespace bvlui {

// The family that DirectWrite resolves the window's font to (a dialog's
// "MS Shell Dlg" becomes the system's dialog font for its language, Gulim on
// Korean Windows); failing that, the face of the system's message font.
std::wstring FamilyOfWindowFont(HWND window);

}  // namespace bvlui
