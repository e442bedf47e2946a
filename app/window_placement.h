// Placing a wizard window from a layout table entry: moved to (left, top),
// sized right - left by bottom - top, repainted.
#pragma once

#include <QRect>

#include "app/layout_table.h"

class QWidget;

inline QRect ToQRect(const LayoutRect& rect) { return QRect(rect.left, rect.top, rect.Width(), rect.Height()); }

void PlaceWindow(QWidget* window, const LayoutRect& rect);
