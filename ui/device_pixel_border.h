// Borders in whole device pixels. At a fractional scale (1.25, 1.5, 1.75) a
// one-pixel line lands between device pixels: the framework then covers two
// pixels on one side and one on the other, or blends the line away. These
// borders are instead as many device pixels wide on every side.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

class QFrame;

namespace bvlui {

// Paints a border of `colour` along the inside of the logical rectangle
// `rect`, one logical pixel wide, from its edges rounded to device pixels
// inwards: as many device pixels on every side, the most that fit in one logical pixel
// (one at a scale of 1.5, two at 2, never fewer than one). So a window placed
// one logical pixel inside the rectangle never paints over part of it.
void PaintDevicePixelBorder(QPainter& painter, const QRectF& rect, const QColor& colour);

// Draws the border of `frame`, a plain box one pixel wide (the agreement
// box, the progress list), with PaintDevicePixelBorder in the frame's text
// colour; everything else keeps the application's style.
void UseDevicePixelBoxFrame(QFrame* frame);

}  // namespace bvlui
