// The shared chrome of the installer's borderless windows.
#include "app/dialog_chrome.h"

#include "app/resource.h"
#include "ui/device_pixel_border.h"
#include "ui/resbox.h"

namespace {
QColor ToQColor(WizardRgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }
const QColor kTitleBar = ToQColor(kTitleBarGreen);
const QColor kButtonBand = ToQColor(kButtonBandGrey);
const QColor kFrame = ToQColor(kFrameGrey);
const QRectF kLogo(QPointF(kLogoLeft, kLogoTop), QPointF(kLogoRight, kLogoBottom));
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
