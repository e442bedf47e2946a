// The shared chrome of the installer's borderless windows.
#include "app/dialog_chrome.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

#include "ui/resbox.h"

namespace {
const QColor kTitleBar(0, 165, 81);
const QColor kButtonBand(240, 240, 240);
const QColor kFrame(209, 209, 209);
constexpr int kTitleBarHeight = 40;
const QRectF kLogo(18, 11, 14, 19);

// The frame: a stroke of 2 along the client rectangle's edges, of which the
// inner half, one logical pixel, lies inside the window. It is painted in
// whole device pixels, as many on every side: the most that fit in that
// logical pixel (one at a scale of 1.5, two at 2), so that a page placed one
// logical pixel inside the window never paints over part of it.
void PaintFrame(QPainter& painter, QSize size) {
  const QTransform toDevice = painter.deviceTransform();
  const QRectF outer = toDevice.mapRect(QRectF(QPointF(0, 0), QSizeF(size)));
  const int left = qRound(outer.left()), top = qRound(outer.top());
  const int right = qRound(outer.right()), bottom = qRound(outer.bottom());
  const int width = std::max(1, int(std::floor(toDevice.m11() + 1e-6)));
  const int height = std::max(1, int(std::floor(toDevice.m22() + 1e-6)));

  painter.save();
  // Paint in device pixels: undo everything between the world and the device.
  painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
  painter.fillRect(QRect(left, top, right - left, height), kFrame);
  painter.fillRect(QRect(left, bottom - height, right - left, height), kFrame);
  painter.fillRect(QRect(left, top, width, bottom - top), kFrame);
  painter.fillRect(QRect(right - width, top, width, bottom - top), kFrame);
  painter.restore();
}

}  // namespace

void PaintDialogChrome(QPainter& painter, QSize size, int bandTop) {
  const int w = size.width(), h = size.height();
  painter.fillRect(QRect(0, 0, w, h), Qt::white);
  painter.fillRect(QRect(0, 0, w, kTitleBarHeight), kTitleBar);
  painter.fillRect(QRect(0, bandTop, w, h - bandTop), kButtonBand);
  PaintFrame(painter, size);
  const bvlui::Bitmap logo = RESBOX::GetImage(1101);
  if (!logo.IsNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(kLogo, logo.ForRatio(painter.deviceTransform().m11()));
  }
}
