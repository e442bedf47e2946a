// bvlui::Button, the wizard's self-painting push button (hover after 1 ms,
// hand cursor, a double click acting as two clicks), and bvlui::ImageButton,
// which paints one bitmap per state with its caption centred over it.
#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QRect>
#include <QTimer>

#include <cstdint>

#include "ui/d2d1_label.h"
#include "ui/resbox.h"

namespace bvlui {

// Button states, for drawing and for choosing the bitmap.
constexpr int kStateNormal = 0;
constexpr int kStateHover = 1;
constexpr int kStatePressed = 2;
constexpr int kStateDisabled = 3;

// A colour as 0xRRGGBB with an alpha in 0..1.
struct ColorPair {
  std::uint32_t rgb = 0x000000;
  float alpha = 1.0f;
  QColor ToQColor() const { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, qRound(alpha * 255)); }
};

class Button : public QAbstractButton {
  Q_OBJECT

 public:
  explicit Button(QWidget* parent = nullptr);

  // The caption's font: family and size in DIPs, normal weight, centred.
  void SetTextFont(const QString& family, float sizeDips);

  // The state index drawn now.
  int CurrentState() const;
  bool Hovered() const { return m_hovered; }
  // The hover delay: the pointer must rest this long before the hover face.
  static constexpr int kHoverMilliseconds = 1;
  const QTimer& HoverTimer() const { return m_hoverTimer; }

  bool m_tracking = false;
  bool m_hovered = false;
  bool m_handCursor = true;
  bool m_fillBackground = false;
  ColorPair m_textColor{0x000000, 1.0f};
  ColorPair m_secondTextColor{0x000000, 1.0f};  // set by the pages; drawing never reads it
  ColorPair m_backgroundColor{0xFFFFFF, 1.0f};
  ColorPair m_hoverBackgroundColor{0xFFFFFF, 1.0f};
  int m_captionOffsetX = 0;
  int m_captionOffsetY = 0;
  QFont m_captionFont;
  bool m_hasCaptionFont = false;

 protected:
  // Paints the face for the state into the client rectangle.
  virtual void DrawButton(QPainter& painter, int state, const QRect& client) = 0;

  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void StartTracking();
  void OnHover();
  QTimer m_hoverTimer;
};

class ImageButton : public Button {
  Q_OBJECT

 public:
  explicit ImageButton(QWidget* parent = nullptr);

  ColorF m_clearColor{1, 1, 1, 1};
  ColorF m_disabledTextColor{1, 1, 1, 1};
  bool m_clear = false;
  bool m_useDisabledTextColor = false;
  QRect m_bitmapRect;  // where the bitmap goes; empty: the whole client rectangle
  bvlui::Bitmap m_bitmaps[4];  // by state; from the image table

  // The faces of the normal, hover and pressed states (a null bitmap: the
  // state draws nothing); the disabled state keeps its face. Repaints.
  void SetImages(const Bitmap& normal, const Bitmap& hover, const Bitmap& pressed = Bitmap());

 protected:
  void DrawButton(QPainter& painter, int state, const QRect& client) override;
  virtual void DrawButtonText(QPainter& painter, const QRect& client, const QString& caption, int state);
};

}  // namespace bvlui
