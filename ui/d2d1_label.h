// bvlui::D2D1Label: a static text that paints its text on a solid background
// with the font, alignments and colours its page gives it (the title bar's
// white on green, the pages' texts).
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace bvlui {

// DirectWrite's alignment numbers, which the pages set.
constexpr int kTextAlignmentLeading = 0;
constexpr int kTextAlignmentTrailing = 1;
constexpr int kTextAlignmentCenter = 2;
constexpr int kTextAlignmentJustified = 3;
constexpr int kParagraphAlignmentNear = 0;
constexpr int kParagraphAlignmentFar = 1;
constexpr int kParagraphAlignmentCenter = 2;

// A colour as four floats in 0..1.
struct ColorF {
  float r = 0, g = 0, b = 0, a = 1;
  QColor ToQColor() const { return QColor::fromRgbF(r, g, b, a); }
};

class D2D1Label : public QWidget {
  Q_OBJECT

 public:
  explicit D2D1Label(QWidget* parent = nullptr);

  // The label's window text; "\r\n" breaks a line.
  void setText(const QString& text);
  QString text() const { return m_text; }

  bool m_trimWithEllipsis = false;  // one line, cut with an ellipsis (the installer leaves it off)
  QString m_fontFamily;
  float m_fontSize = 14.0f;  // DIPs: pixels at 96 dpi
  int m_fontWeight = 400;
  int m_textAlignment = kTextAlignmentCenter;
  int m_paragraphAlignment = kParagraphAlignmentCenter;
  ColorF m_backgroundColor{1, 1, 1, 1};
  ColorF m_textColor{0.2f, 0.2f, 0.2f, 1};

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_text;
};

// The font of a family, size in DIPs and DirectWrite weight.
QFont MakeFont(const QString& family, float sizeDips, int weight);

}  // namespace bvlui
