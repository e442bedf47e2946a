// The wizard's buttons: state tracking and painting.
#include "ui/button.h"

#include <QEnterEvent>
#include <QPainter>

namespace bvlui {

Button::Button(QWidget* parent) : QAbstractButton(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::TabFocus);
  m_hoverTimer.setSingleShot(true);
  m_hoverTimer.setInterval(kHoverMilliseconds);
  connect(&m_hoverTimer, &QTimer::timeout, this, &Button::OnHover);
  // Every pixel of a face comes from its bitmap; where a state has none the
  // button shows what is behind it.
  setAttribute(Qt::WA_NoSystemBackground);
}

void Button::SetTextFont(const QString& family, float sizeDips) {
  m_captionFont = MakeFont(family, sizeDips, 400);
  m_hasCaptionFont = true;
  update();
}

int Button::CurrentState() const {
  if (isDown()) return kStatePressed;
  if (!isEnabled()) return kStateDisabled;
  return m_hovered ? kStateHover : kStateNormal;
}

void Button::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::TextAntialiasing);
  DrawButton(painter, CurrentState(), rect());
}

void Button::StartTracking() {
  if (m_tracking) return;
  m_tracking = true;
  m_hoverTimer.start();
}

void Button::enterEvent(QEnterEvent* event) {
  StartTracking();
  QAbstractButton::enterEvent(event);
}

void Button::mouseMoveEvent(QMouseEvent* event) {
  StartTracking();
  QAbstractButton::mouseMoveEvent(event);
}

void Button::OnHover() {
  m_hovered = true;
  if (m_handCursor) setCursor(Qt::PointingHandCursor);
  update();
}

void Button::leaveEvent(QEvent* event) {
  m_hoverTimer.stop();
  m_tracking = false;
  m_hovered = false;
  if (m_handCursor) setCursor(Qt::ArrowCursor);
  update();
  QAbstractButton::leaveEvent(event);
}

void Button::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a double click is a click of its own.
  mousePressEvent(event);
}

void Button::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QAbstractButton::changeEvent(event);
}

ImageButton::ImageButton(QWidget* parent) : Button(parent) {}

void ImageButton::SetImages(const Bitmap& normal, const Bitmap& hover, const Bitmap& pressed) {
  m_bitmaps[kStateNormal] = normal;
  m_bitmaps[kStateHover] = hover;
  m_bitmaps[kStatePressed] = pressed;
  update();
}

void ImageButton::DrawButton(QPainter& painter, int state, const QRect& client) {
  if (m_clear) painter.fillRect(client, m_clearColor.ToQColor());
  if (m_fillBackground) {
    painter.fillRect(client, (state == kStateHover ? m_hoverBackgroundColor : m_backgroundColor).ToQColor());
  }
  const Bitmap& bitmap = m_bitmaps[state];
  // A state without a bitmap draws nothing more, not even the caption.
  if (bitmap.IsNull()) return;
  const QRect target = m_bitmapRect.isNull() ? client : m_bitmapRect;
  // The device's scale (a high-DPI screen, or a picture taken at 2x) picks
  // the bitmap's resolution.
  painter.drawImage(QRectF(target), bitmap.ForRatio(painter.deviceTransform().m11()));
  DrawButtonText(painter, client, text(), state);
}

void ImageButton::DrawButtonText(QPainter& painter, const QRect& client, const QString& caption, int state) {
  if (caption.isEmpty()) return;
  const QColor colour = state == kStateDisabled && m_useDisabledTextColor ? m_disabledTextColor.ToQColor()
                                                                           : m_textColor.ToQColor();
  QRect area = client;
  area.setLeft(area.left() + m_captionOffsetX);
  area.setTop(area.top() + m_captionOffsetY);
  painter.setPen(colour);
  painter.setFont(m_hasCaptionFont ? m_captionFont : font());
  painter.drawText(area, Qt::AlignCenter, caption);
}

}  // namespace bvlui
