// The shared chrome of the installer's borderless windows.
#include "app/dialog_chrome.h"

#include "app/resource.h"
#include "ui/device_pixel_border.h"
#include "ui/resbox.h"

namespace {
const QColor kTitleBar(0, 165, 81);
const QColor kButtonBand(240, 240, 240);
const QColor kFrame(209, 209, 209);
const QRectF kLogo(18, 11, 14, 19);
}  // namespace

void PaintDialogChrome(QPainter& painter, QSize size, int bandTop) {
  const int w = size.width(), h = size.height();
  painter.fillRect(QRect(0, 0, w, h), Qt::white);
  painter.fillRect(QRect(0, 0, w, kTitleBarHeight), kTitleBar);
  painter.fillRect(QRect(0, bandTop, w, h - bandTop), kButtonBand);
  // The frame: a stroke of 2 along the client rectangle's edges, of which
  // the inner half, one logical pixel, lies inside the window; the pages
  // placed one logical pixel inside never paint over it.
  bvlui::PaintDevicePixelBorder(painter, QRectF(QPointF(0, 0), QSizeF(size)), kFrame);
  const bvlui::Bitmap logo = RESBOX::GetImage(IDB_LOGO);
  if (!logo.IsNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(kLogo, logo.ForRatio(painter.deviceTransform().m11()));
  }
}
