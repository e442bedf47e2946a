// Painting of the gradient progress bar.
#include "ui/gradient_progress.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QColor FromColorRef(win::COLORREF colour) {
  return QColor(win::GetRValue(colour), win::GetGValue(colour), win::GetBValue(colour));
}

}  // namespace

void PaintGradient(QPainter& painter, int width, int height, bool vertical, int filled, win::COLORREF start,
                   win::COLORREF end, win::COLORREF background) {
  const int length = vertical ? height : width;
  const int r0 = win::GetRValue(start), g0 = win::GetGValue(start), b0 = win::GetBValue(start);
  const int dR = win::GetRValue(end) - r0, dG = win::GetGValue(end) - g0, dB = win::GetBValue(end) - b0;
  const int bands = std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
  if (bands == 0) {
    // Nothing to run towards: the filled part in the start colour alone.
    const QRect bar = vertical ? QRect(0, 0, width, filled) : QRect(0, 0, filled, height);
    painter.fillRect(QRect(0, 0, width, height), FromColorRef(background));
    painter.fillRect(bar, FromColorRef(start));
    return;
  }
  const float thickness = static_cast<float>(length) / static_cast<float>(bands);
  const float sR = static_cast<float>(dR) / bands, sG = static_cast<float>(dG) / bands, sB = static_cast<float>(dB) / bands;
  for (int i = 0; i < bands; ++i) {
    const int near = static_cast<int>(static_cast<float>(i) * thickness);
    const int far = static_cast<int>(static_cast<float>(i + 1) * thickness);
    const QColor colour(static_cast<int>(static_cast<float>(r0) + i * sR) & 0xFF,
                        static_cast<int>(static_cast<float>(g0) + i * sG) & 0xFF,
                        static_cast<int>(static_cast<float>(b0) + i * sB) & 0xFF);
    // Rectangles as left, top, right, bottom: across the bar one pixel more
    // than its size.
    if (vertical) {
      painter.fillRect(QRect(QPoint(0, near), QPoint(width, far - 1)), colour);
    } else {
      painter.fillRect(QRect(QPoint(near, 0), QPoint(far - 1, height)), colour);
    }
    if (far > filled) {
      const QColor rest = FromColorRef(background);
      if (vertical) {
        painter.fillRect(QRect(0, far, width, height - far), rest);
      } else {
        painter.fillRect(QRect(far, 0, width - far, height), rest);
      }
      return;
    }
  }
}

GradientProgress::GradientProgress(QWidget* parent)
    : QProgressBar(parent), m_backgroundColor(win::GetSysColor(win::COLOR_BTNFACE)) {
  setRange(0, 100);
  setTextVisible(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientProgress::Paint(QPainter& painter) const {
  const QRect client = rect();
  if (m_position <= m_lower || m_position > m_upper) {
    painter.fillRect(client, FromColorRef(win::GetSysColor(win::COLOR_BTNFACE)));
    return;
  }
  const bool vertical = orientation() == Qt::Vertical;
  const int length = vertical ? client.height() : client.width();
  const int filled = static_cast<int>(static_cast<float>(m_position) / static_cast<float>(m_upper) * static_cast<float>(length));
  PaintGradient(painter, client.width(), client.height(), vertical, filled, m_startColor, m_endColor, m_backgroundColor);
  if (m_showPercent && m_upper != m_lower) {
    const double percent = static_cast<double>(m_position - m_lower) * 100.0 / (m_upper - m_lower);
    painter.setPen(FromColorRef(m_textColor));
    painter.drawText(client, Qt::AlignCenter, QString::asprintf("%3.0f %%", percent));
  }
}

QImage GradientProgress::Render() const {
  const qreal ratio = devicePixelRatioF();
  QImage buffer(size() * ratio, QImage::Format_RGB32);
  buffer.setDevicePixelRatio(ratio);
  QPainter painter(&buffer);
  Paint(painter);
  return buffer;
}

void GradientProgress::paintEvent(QPaintEvent*) {
  // Painted off screen and copied in one go, so the bar never flickers.
  const QImage buffer = Render();
  QPainter(this).drawImage(0, 0, buffer);
}
