// The wizard at a scale factor of 2: 1160 x 600 device pixels, the frame and
// the button borders two device pixels wide and sharp (2x images), text
// rendered at the device resolution.
#include "wizard_fixture.h"

namespace {

using wizard_testing::WizardTest;

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
