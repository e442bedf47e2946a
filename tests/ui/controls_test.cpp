// The bvlui controls read back from what they render: the gradient bar's
// bands, the label's background and wrapping, the image buttons' faces per
// state, hover, cursor, double clicks, caption offsets and 2x rendering.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <vector>

#include "app/resource.h"
#include "support/scoped_machine.h"
#include "ui/button.h"
#include "ui/d2d1_label.h"
#include "ui/gradient_progress.h"
#include "ui/resbox.h"

namespace {

const QRgb kMagenta = qRgb(255, 0, 255);

// What a widget paints by itself, on a magenta canvas so that pixels it
// leaves alone can be told apart.
QImage Render(QWidget& widget, qreal ratio = 1.0) {
  QImage image(widget.size() * ratio, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(kMagenta);
  widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image;
}

// The bounding box of pixels of `colour` (within a tolerance for the text's
// anti-aliased edges: pixels at least half way from white to it).
QRect InkBox(const QImage& image, QRgb background) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const int distance = std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                           std::abs(qBlue(p) - qBlue(background));
      if (distance > 120) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// --- GradientProgress ---------------------------------------------------

// The band rule, worked out here from the colours alone: band count, the
// colour of band i and the far edge of band i along a bar of `length`.
struct Bands {
  int r0, g0, b0, dR, dG, dB, count;
  double length;
  Bands(QRgb start, QRgb end, int barLength) {
    r0 = qRed(start); g0 = qGreen(start); b0 = qBlue(start);
    dR = qRed(end) - r0; dG = qGreen(end) - g0; dB = qBlue(end) - b0;
    count = std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
    length = barLength;
  }
  float Thickness() const { return static_cast<float>(length) / count; }
  int Edge(int i) const { return static_cast<int>(static_cast<float>(i) * Thickness()); }
  QRgb Colour(int i) const {
    auto channel = [&](int base, int delta) {
      return static_cast<int>(base + i * (static_cast<float>(delta) / count)) & 0xFF;
    };
    return qRgb(channel(r0, dR), channel(g0, dG), channel(b0, dB));
  }
};

class GradientProgressTest : public testing::Test {
 protected:
  void SetUp() override {
    // The progress page's colours: RGB (197, 197, 170) to (81, 165, 0) on
    // (240, 240, 240); a distinct background shows where it is painted.
    bar_.m_startColor = 0x00AAC5C5;
    bar_.m_endColor = 0x0000A551;
    bar_.m_backgroundColor = 0x00F0F0F0;
    bar_.resize(300, 20);
  }
  GradientProgress bar_;
};

TEST_F(GradientProgressTest, ThePageColoursGive170Bands) {
  // Two pixels a band: each band is a run of one colour. The blue channel
  // falls from 170 to 0, one step a band, so no two neighbours are alike.
  bar_.resize(340, 20);
  bar_.m_position = 100;
  const QImage image = Render(bar_);
  std::vector<QRgb> runs;
  for (int x = 0; x < image.width(); ++x) {
    if (runs.empty() || runs.back() != image.pixel(x, 10)) runs.push_back(image.pixel(x, 10));
  }
  EXPECT_EQ(runs.size(), 170u);
  EXPECT_EQ(runs.front(), qRgb(197, 197, 170));
  // Band 169: 197 - 169 * 116 / 170 = 81.7, 197 - 169 * 32 / 170 = 165.2,
  // 170 - 169 = 1, each cut to a whole number.
  EXPECT_EQ(runs.back(), qRgb(81, 165, 1));
}

TEST_F(GradientProgressTest, AtZeroTheWholeBarIsTheButtonFaceNotTheBackground) {
  bar_.m_backgroundColor = 0x000000FF;  // red, to tell the two apart
  bar_.m_position = 0;
  const QImage image = Render(bar_);
  for (int x : {0, 150, 299}) EXPECT_EQ(image.pixel(x, 10), qRgb(240, 240, 240)) << x;
}

TEST_F(GradientProgressTest, AboveTheUpperBoundTheBarIsEmpty) {
  bar_.m_backgroundColor = 0x000000FF;
  bar_.m_position = 101;
  const QImage image = Render(bar_);
  for (int x : {0, 150, 299}) EXPECT_EQ(image.pixel(x, 10), qRgb(240, 240, 240)) << x;
}

TEST_F(GradientProgressTest, AtAHundredBandsRunTheWholeLengthWithoutBackground) {
  bar_.m_backgroundColor = 0x000000FF;
  bar_.m_position = 100;
  const QImage image = Render(bar_);
  Bands bands(qRgb(197, 197, 170), qRgb(81, 165, 0), 300);
  for (int i : {0, 1, 85, 169}) {
    EXPECT_EQ(image.pixel(bands.Edge(i), 10), bands.Colour(i)) << "band " << i;
    EXPECT_EQ(image.pixel(bands.Edge(i), 0), bands.Colour(i)) << "top row, band " << i;
    EXPECT_EQ(image.pixel(bands.Edge(i), 19), bands.Colour(i)) << "bottom row, band " << i;
  }
  EXPECT_EQ(image.pixel(299, 10), bands.Colour(169));
  EXPECT_EQ(image.pixel(0, 10), qRgb(197, 197, 170));
}

TEST_F(GradientProgressTest, AtFiftyTheBandsStopAtTheFirstEdgePastTheMiddle) {
  bar_.m_position = 50;
  const QImage image = Render(bar_);
  Bands bands(qRgb(197, 197, 170), qRgb(81, 165, 0), 300);
  // F = 150: the first band whose far edge passes it is the last one drawn.
  int last = 0;
  while (bands.Edge(last + 1) <= 150) ++last;
  const int edge = bands.Edge(last + 1);
  ASSERT_GT(edge, 150);
  EXPECT_EQ(image.pixel(edge - 1, 10), bands.Colour(last));
  EXPECT_EQ(image.pixel(edge, 10), qRgb(240, 240, 240));
  EXPECT_EQ(image.pixel(299, 10), qRgb(240, 240, 240));
  EXPECT_EQ(image.pixel(0, 10), qRgb(197, 197, 170));
}

TEST_F(GradientProgressTest, EqualColoursGiveASolidBarOfTheStartColour) {
  bar_.m_endColor = bar_.m_startColor;
  bar_.m_position = 50;
  const QImage image = Render(bar_);
  EXPECT_EQ(image.pixel(10, 10), qRgb(197, 197, 170));
  EXPECT_EQ(image.pixel(149, 10), qRgb(197, 197, 170));
  EXPECT_EQ(image.pixel(150, 10), qRgb(240, 240, 240));
}

// --- D2D1Label -------------------------------------------------------------

class LabelTest : public testing::Test {
 protected:
  void SetUp() override {
    label_.m_fontFamily = QString::fromUtf8("\xeb\xa7\x91\xec\x9d\x80 \xea\xb3\xa0\xeb\x94\x95");
    label_.m_fontSize = 13;
    label_.m_textAlignment = bvlui::kTextAlignmentLeading;
    label_.resize(120, 80);
  }
  bvlui::D2D1Label label_;
};

TEST_F(LabelTest, TheKoreanFamilyResolvesToTheProjectsKoreanFont) {
  // tools/install-deps.sh installs the fontconfig alias to fonts-nanum.
  const QFontInfo info(bvlui::MakeFont(label_.m_fontFamily, 13, 400));
  EXPECT_EQ(info.family(), QStringLiteral("NanumGothic"));
  EXPECT_EQ(info.pixelSize(), 13);
}

TEST_F(LabelTest, EmptyTextPaintsOnlyTheBackground) {
  label_.m_backgroundColor = {0.0f, 165 / 255.0f, 81 / 255.0f, 1.0f};
  const QImage image = Render(label_);
  EXPECT_TRUE(InkBox(image, qRgb(0, 165, 81)).isNull());
  EXPECT_EQ(image.pixel(60, 40), qRgb(0, 165, 81));
}

TEST_F(LabelTest, TheTitleIsWhiteOnGreen) {
  label_.m_backgroundColor = {0.0f, 0.647f, 0.318f, 1.0f};
  label_.m_textColor = {1, 1, 1, 1};
  label_.setText(QString::fromUtf8("\xeb\xb8\x8c\xeb\xa6\xbc\xeb\xb2\xa0\xec\x9d\xbc"));
  const QImage image = Render(label_);
  EXPECT_EQ(image.pixel(119, 0), qRgb(0, 165, 81));
  int white = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) white += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) > 230;
  EXPECT_GT(white, 10) << "the text is drawn in white";
}

TEST_F(LabelTest, LongTextWrapsOntoFurtherLines) {
  label_.setText(QStringLiteral("one two three four five six seven eight nine ten"));
  const QRect ink = InkBox(Render(label_), qRgb(255, 255, 255));
  ASSERT_FALSE(ink.isNull());
  EXPECT_GT(ink.height(), 2 * 13) << "more than one line of 13-pixel text";
  EXPECT_LE(ink.right(), 119);
}

TEST_F(LabelTest, LineBreaksOfTheTextBreakTheLine) {
  label_.resize(400, 80);
  label_.setText(QStringLiteral("first\r\nsecond"));
  const QRect ink = InkBox(Render(label_), qRgb(255, 255, 255));
  EXPECT_GT(ink.height(), 2 * 13 - 4);
}

TEST_F(LabelTest, ParagraphAlignmentCentrePutsOneLineInTheMiddle) {
  label_.setText(QStringLiteral("x"));
  const QRect ink = InkBox(Render(label_), qRgb(255, 255, 255));
  EXPECT_NEAR(ink.center().y(), 40, 4);
  EXPECT_LT(ink.left(), 6) << "leading alignment";
}

// --- ImageButton -----------------------------------------------------------

class ImageButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    RESBOX::Clear();
    RESBOX::LoadImage({IDB_BUTTON_HOVER, IDB_BUTTON_NORMAL, IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED, IDB_CLOSE_HOVER}, nullptr,
                      0x0412);
    window_.resize(200, 100);
    button_ = new bvlui::ImageButton(&window_);
    button_->setGeometry(10, 10, 90, 25);
    button_->m_bitmaps[bvlui::kStateNormal] = RESBOX::GetImage(IDB_BUTTON_NORMAL);
    button_->m_bitmaps[bvlui::kStateHover] = RESBOX::GetImage(IDB_BUTTON_HOVER);
    button_->m_textColor = {0x707070, 1.0f};
    button_->SetTextFont(QString(), 12);
    window_.show();
  }
  void TearDown() override { RESBOX::Clear(); }

  void SendMouse(QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, button_->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button_, &event);
  }

  testing_support::ScopedMachine machine_;
  QWidget window_;
  bvlui::ImageButton* button_ = nullptr;
};

TEST_F(ImageButtonTest, TheNormalFaceIsImage1105) {
  const QImage image = Render(*button_);
  EXPECT_EQ(image.pixel(0, 12), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(3, 3), qRgb(255, 255, 255));
}

TEST_F(ImageButtonTest, ATextButtonDrawsNothingPressedOrDisabled) {
  button_->setText(QStringLiteral("OK"));
  button_->setDown(true);
  EXPECT_EQ(button_->CurrentState(), bvlui::kStatePressed);
  EXPECT_TRUE(InkBox(Render(*button_), kMagenta).isNull()) << "no bitmap, no caption";

  button_->setDown(false);
  button_->setEnabled(false);
  EXPECT_EQ(button_->CurrentState(), bvlui::kStateDisabled);
  EXPECT_TRUE(InkBox(Render(*button_), kMagenta).isNull());
}

TEST_F(ImageButtonTest, HoverComesAfterTheHoverTimeWithTheHandCursor) {
  QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
  QApplication::sendEvent(button_, &enter);
  EXPECT_FALSE(button_->Hovered()) << "not on the first move";
  EXPECT_EQ(Render(*button_).pixel(3, 3), qRgb(255, 255, 255));
  EXPECT_TRUE(button_->HoverTimer().isActive());
  EXPECT_EQ(button_->HoverTimer().interval(), 1);

  ASSERT_TRUE(QTest::qWaitFor([&] { return button_->Hovered(); }));
  EXPECT_EQ(Render(*button_).pixel(3, 3), qRgb(248, 248, 248)) << "the hover face 1104";
  EXPECT_EQ(button_->cursor().shape(), Qt::PointingHandCursor);

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button_, &leave);
  EXPECT_FALSE(button_->Hovered());
  EXPECT_EQ(Render(*button_).pixel(3, 3), qRgb(255, 255, 255));
  EXPECT_EQ(button_->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ImageButtonTest, ADoubleClickGivesTwoPresses) {
  QSignalSpy pressed(button_, &QAbstractButton::pressed);
  QSignalSpy clicked(button_, &QAbstractButton::clicked);
  const QPoint at(20, 10);
  SendMouse(QEvent::MouseButtonPress, at);
  SendMouse(QEvent::MouseButtonRelease, at);
  SendMouse(QEvent::MouseButtonDblClick, at);
  SendMouse(QEvent::MouseButtonRelease, at);
  EXPECT_EQ(pressed.count(), 2);
  EXPECT_EQ(clicked.count(), 2);
}

TEST_F(ImageButtonTest, ACaptionOffsetOfFourMovesTheCentredCaptionByTwo) {
  button_->setText(QStringLiteral("OK"));
  const QRect before = InkBox(Render(*button_), qRgb(255, 255, 255));
  button_->m_captionOffsetX = 4;
  const QRect after = InkBox(Render(*button_), qRgb(255, 255, 255));
  ASSERT_FALSE(before.isNull());
  // The border is ink too; compare the caption's box inside the border.
  EXPECT_EQ(after.top(), before.top());
  QImage a = Render(*button_).copy(2, 2, 86, 21);
  button_->m_captionOffsetX = 0;
  QImage b = Render(*button_).copy(2, 2, 86, 21);
  const QRect shifted = InkBox(a, qRgb(255, 255, 255));
  const QRect centred = InkBox(b, qRgb(255, 255, 255));
  EXPECT_EQ(shifted.left() - centred.left(), 2);
  EXPECT_EQ(shifted.top(), centred.top());
}

TEST_F(ImageButtonTest, TheCaptionIsDrawnInItsTextColour) {
  button_->setText(QStringLiteral("OK"));
  const QImage image = Render(*button_).copy(2, 2, 86, 21);
  const QRect ink = InkBox(image, qRgb(255, 255, 255));
  ASSERT_FALSE(ink.isNull());
  // The darkest pixel of the caption is its colour (112, 112, 112).
  int darkest = 255;
  for (int y = ink.top(); y <= ink.bottom(); ++y)
    for (int x = ink.left(); x <= ink.right(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
  EXPECT_NEAR(darkest, 112, 20) << "grey, not black";
}

TEST_F(ImageButtonTest, AtTwiceTheResolutionTheBorderIsTwoSharpDevicePixels) {
  const QImage image = Render(*button_, 2.0);
  ASSERT_EQ(image.width(), 180);
  EXPECT_EQ(image.pixel(0, 24), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(1, 24), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(2, 24), qRgb(255, 255, 255)) << "sharp, not blurred";
  EXPECT_EQ(image.pixel(179, 24), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(177, 24), qRgb(255, 255, 255));
}

TEST_F(ImageButtonTest, TheCloseButtonShowsItsPressedFace) {
  button_->m_bitmaps[bvlui::kStateNormal] = RESBOX::GetImage(IDB_CLOSE_NORMAL);
  button_->m_bitmaps[bvlui::kStateHover] = RESBOX::GetImage(IDB_CLOSE_HOVER);
  button_->m_bitmaps[bvlui::kStatePressed] = RESBOX::GetImage(IDB_CLOSE_PRESSED);
  button_->setGeometry(10, 10, 15, 15);
  EXPECT_EQ(Render(*button_).pixel(1, 1), qRgb(0, 165, 81));
  button_->setDown(true);
  EXPECT_EQ(Render(*button_).pixel(1, 1), qRgb(0, 180, 89));
}

}  // namespace
