// The wizard at a scale factor of 2: 1160 x 600 device pixels, the frame and
// the button borders two device pixels wide and sharp (2x images), text
// rendered at the device resolution. At fractional factors the frame is as
// wide on every side, whatever the pages beside it paint.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "app/stop_dlg.h"
#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

const QRgb kFrame = qRgb(209, 209, 209);

// How many device pixels of frame colour lie on the line from `edge` inwards.
int FrameRun(const QImage& image, QPoint edge, QPoint inwards) {
  int run = 0;
  for (QPoint at = edge; image.valid(at) && image.pixel(at) == kFrame; at += inwards) ++run;
  return run;
}

// The frame's width at points of each side (beside the title bar, the page
// and the button band): side name and point -> width.
std::vector<std::pair<std::string, int>> FrameWidths(const QImage& image, const std::vector<int>& rows,
                                                     const std::vector<int>& columns) {
  std::vector<std::pair<std::string, int>> widths;
  const int right = image.width() - 1, bottom = image.height() - 1;
  for (int y : rows) {
    widths.push_back({"left at y " + std::to_string(y), FrameRun(image, {0, y}, {1, 0})});
    widths.push_back({"right at y " + std::to_string(y), FrameRun(image, {right, y}, {-1, 0})});
  }
  for (int x : columns) {
    widths.push_back({"top at x " + std::to_string(x), FrameRun(image, {x, 0}, {0, 1})});
    widths.push_back({"bottom at x " + std::to_string(x), FrameRun(image, {x, bottom}, {0, -1})});
  }
  return widths;
}

class FractionalScaleTest : public WizardTest, public testing::WithParamInterface<qreal> {
 protected:
  // Every width equals the first and is at least one device pixel and at
  // most the logical pixel's share.
  static void ExpectOneWidth(const std::vector<std::pair<std::string, int>>& widths, qreal ratio) {
    ASSERT_FALSE(widths.empty());
    const int first = widths.front().second;
    EXPECT_GE(first, 1);
    EXPECT_LE(first, std::ceil(ratio));
    for (const auto& [where, width] : widths) EXPECT_EQ(width, first) << where << " at ratio " << ratio;
  }
};

TEST_P(FractionalScaleTest, TheMainWindowsFrameIsAsWideOnEverySide) {
  Open();
  const qreal ratio = GetParam();
  const QImage image = Picture(ratio);
  SavePicture(image, "licence-" + std::to_string(int(ratio * 100)));
  auto device = [ratio](int logical) { return int(logical * ratio); };
  // Beside the title bar, the licence page and the button band.
  const std::vector<int> rows = {device(20), device(150), device(270)}, columns = {device(100), device(300)};
  ExpectOneWidth(FrameWidths(image, rows, columns), ratio);

  // The same on the completion page, whose page paints beside the frame too.
  dialog_->OnBnClickedAgree();
  session_->wizard->ShowCompletionPage(RESBOX::GetString(IDS_OK));
  ExpectOneWidth(FrameWidths(Picture(ratio), rows, columns), ratio);
}

// The width of a box's border (colour `border`) at the middle of each side of
// the device rectangle that the logical `box` covers, counted inwards from
// the first border pixel found within two device pixels of the edge.
std::vector<std::pair<std::string, int>> BoxBorderWidths(const QImage& image, QRect box, qreal ratio, QRgb border) {
  const QRectF device(box.x() * ratio, box.y() * ratio, box.width() * ratio, box.height() * ratio);
  const int midX = int(device.center().x()), midY = int(device.center().y());
  auto run = [&](QPoint outside, QPoint inwards) {
    QPoint at = outside;
    for (int i = 0; i < 4 && image.valid(at) && image.pixel(at) != border; ++i) at += inwards;
    int width = 0;
    for (; image.valid(at) && image.pixel(at) == border; at += inwards) ++width;
    return width;
  };
  return {{"left", run({int(device.left()) - 1, midY}, {1, 0})},
          {"right", run({int(device.right()) + 1, midY}, {-1, 0})},
          {"top", run({midX, int(device.top()) - 1}, {0, 1})},
          {"bottom", run({midX, int(device.bottom()) + 1}, {0, -1})}};
}

TEST_P(FractionalScaleTest, TheAgreementBoxAndTheProgressListHaveEvenBorders) {
  Open();
  const qreal ratio = GetParam();
  // The pages stand one logical pixel inside the window, so at 1.5 their
  // boxes begin half way into a device pixel.
  const QTextEdit& box = dialog_->m_pLicenseView->m_licenseEdit;
  const QRect boxInWindow(box.mapTo(dialog_.get(), QPoint(0, 0)), box.size());
  const QRgb boxBorder = box.palette().color(QPalette::WindowText).rgb();
  ExpectOneWidth(BoxBorderWidths(Picture(ratio), boxInWindow, ratio, boxBorder), ratio);

  dialog_->OnBnClickedAgree();
  const QListWidget& list = dialog_->m_pProgressView->m_list;
  const QRect listInWindow(list.mapTo(dialog_.get(), QPoint(0, 0)), list.size());
  const QRgb listBorder = list.palette().color(QPalette::WindowText).rgb();
  ExpectOneWidth(BoxBorderWidths(Picture(ratio), listInWindow, ratio, listBorder), ratio);
}

TEST_P(FractionalScaleTest, TheMessageDialogsFrameIsAsWideOnEverySide) {
  dialog_->OnInitDialog();
  StopDlg stop(RESBOX::GetString(IDS_STOP_CONFIRM), 1, nullptr);
  stop.OnInitDialog();
  const qreal ratio = GetParam();
  QImage image(stop.size() * ratio, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  stop.render(&image);
  auto device = [ratio](int logical) { return int(logical * ratio); };
  ExpectOneWidth(FrameWidths(image, {device(20), device(80), device(140)}, {device(30), device(135)}), ratio);
}

INSTANTIATE_TEST_SUITE_P(Ratios, FractionalScaleTest, testing::Values(1.25, 1.5, 1.75, 2.0, 3.0),
                         [](const testing::TestParamInfo<qreal>& info) {
                           return "Scale" + std::to_string(int(info.param * 100));
                         });

TEST_F(WizardTest, AtScaleTwoTheWindowIs1160By600DevicePixelsAndSharp) {
  Open();
  const QImage image = Picture(2.0);
  SavePicture(image, "licence-2x");
  ASSERT_EQ(image.size(), QSize(1160, 600));
  // The frame: one logical pixel, two device pixels.
  EXPECT_EQ(image.pixel(0, 300), qRgb(209, 209, 209));
  EXPECT_EQ(image.pixel(1, 300), qRgb(209, 209, 209));
  EXPECT_EQ(image.pixel(2, 300), qRgb(255, 255, 255));
  // The agree button's border at (373, 265): device pixels 746 and 747, then
  // the face — from the 2x image, not a blurred enlargement.
  EXPECT_EQ(image.pixel(746, 555), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(747, 555), qRgb(170, 170, 170));
  EXPECT_EQ(image.pixel(748, 555), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(745, 555), qRgb(240, 240, 240));
}

TEST_F(WizardTest, AtScaleTwoTextHasTheDetailOfTheDeviceResolution) {
  Open();
  // The title's ink at 2x covers about four times the pixels of 1x, and its
  // edges are not doubled pixels of the 1x rendering.
  auto ink = [](const QImage& image, QRect area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x) count += qRed(image.pixel(x, y)) > 128;
    return count;
  };
  const QImage one = Picture(1.0);
  const QImage two = Picture(2.0);
  const int inkOne = ink(one, QRect(40, 12, 180, 14));
  const int inkTwo = ink(two, QRect(80, 24, 360, 28));
  ASSERT_GT(inkOne, 0);
  EXPECT_GT(inkTwo, 3 * inkOne);
  EXPECT_LT(inkTwo, 5 * inkOne);
  bool differsFromDoubled = false;
  for (int y = 24; y < 52 && !differsFromDoubled; ++y)
    for (int x = 80; x < 440 && !differsFromDoubled; ++x)
      differsFromDoubled = two.pixel(x, y) != one.pixel(x / 2, y / 2);
  EXPECT_TRUE(differsFromDoubled);
}

}  // namespace
