// What the main window and the stop dialog paint alike: the white client,
// the green title bar, the grey button band, the frame (one logical pixel, in
// whole device pixels) and the logo.
#pragma once

#include <QPainter>
#include <QSize>

#include "app/wizard_look.h"


// Paints the chrome of a borderless window of `size` whose button band
// begins at `bandTop`.
void PaintDialogChrome(QPainter& painter, QSize size, int bandTop);
