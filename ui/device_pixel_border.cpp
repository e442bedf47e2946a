// Borders in whole device pixels, and the style that gives them to plain
// box frames.
#include "ui/device_pixel_border.h"

#include <QApplication>
#include <QFrame>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace bvlui {

namespace {

// The application's style, except for plain box frames one pixel wide.
class DevicePixelBoxFrameStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    const bool plainBox = element == CE_ShapedFrame && frame && frame->frameShape == QFrame::Box &&
                          !(frame->state & (State_Sunken | State_Raised)) && frame->lineWidth == 1;
    if (plainBox) {
      PaintDevicePixelBorder(*painter, frame->rect, frame->palette.windowText().color());
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

// Whole device pixels that fit in one logical pixel along a scale factor.
int DevicePixelsInOne(qreal scale) { return std::max(1, int(std::floor(std::abs(scale) + 1e-6))); }

}  // namespace

void PaintDevicePixelBorder(QPainter& painter, const QRectF& rect, const QColor& colour) {
  const QTransform toDevice = painter.deviceTransform();
  // The rectangle's edges on the nearest device pixel boundaries, as the
  // window system rounds a window's size.
  const QRectF outer = toDevice.mapRect(rect);
  const int left = qRound(outer.left()), top = qRound(outer.top());
  const int right = qRound(outer.right()), bottom = qRound(outer.bottom());
  const int across = DevicePixelsInOne(toDevice.m11()), down = DevicePixelsInOne(toDevice.m22());

  painter.save();
  // Paint in device pixels: undo everything between the world and the device.
  painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
  painter.fillRect(QRect(left, top, right - left, down), colour);
  painter.fillRect(QRect(left, bottom - down, right - left, down), colour);
  painter.fillRect(QRect(left, top, across, bottom - top), colour);
  painter.fillRect(QRect(right - across, top, across, bottom - top), colour);
  painter.restore();
}

void UseDevicePixelBoxFrame(QFrame* frame) {
  // One style for every such frame, deleted with the application.
  static QPointer<QStyle> style;
  if (!style) {
    style = new DevicePixelBoxFrameStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(QCoreApplication::instance());
  }
  frame->setStyle(style);
}

}  // namespace bvlui
