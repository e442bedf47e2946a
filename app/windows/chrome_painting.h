// What the main window and the message dialog paint alike through their
// render target: the white client, the green title bar, the grey button
// band from `bandTop`, the frame and the logo.
#pragma once

#include "ui/windows/windows_headers.h"

#include "ui/windows/render_target.h"

bool PaintDialogChrome(bvlui::DCRenderTarget* target, HWND window, HDC dc, int bandTop);

// A page's background: its client cleared to white.
bool PaintWhitePage(bvlui::DCRenderTarget* target, HWND window, HDC dc);
