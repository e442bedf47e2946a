// Centring a window on the machine's primary screen. The screen's size comes
// from the simulated machine in device pixels; on a high-DPI display the
// window's logical pixels are larger, so the centre is worked out in them.
#pragma once

#include <QRect>

class QWidget;

// (screen width - width) / 2, (screen height - height) / 2, integer division,
// in the window's logical pixels.
QRect CentredOnScreen(const QWidget* window, int width, int height);
