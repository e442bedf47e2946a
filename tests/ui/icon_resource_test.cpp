// Icon resources: the program's icon 128 with its sizes, and group
// directories that are damaged or name images that are missing or broken.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "app/resource.h"
#include "platform/sim/machine/paths.h"
#include "support/scoped_machine.h"
#include "ui/icon_resource.h"

namespace {

constexpr win::WORD kKorean = 0x0412;

// How far apart two colours are: the largest difference of a channel.
int Distance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The share of the picture's pixels that stand out from `background` once
// the picture is laid over it.
double ShareStandingOut(const QImage& picture, QRgb background) {
  QImage over(picture.size(), QImage::Format_RGB32);
  over.fill(background);
  QPainter(&over).drawImage(0, 0, picture);
  int standing = 0;
  for (int y = 0; y < over.height(); ++y)
    for (int x = 0; x < over.width(); ++x) standing += Distance(over.pixel(x, y), background) > 64;
  return double(standing) / (over.width() * over.height());
}

TEST(IconResourceTest, TheProgramsIconHasItsSizesAndReadsOnLightAndDarkBackgrounds) {
  testing_support::ScopedMachine machine;
  const QIcon icon = bvlui::LoadIconResource(nullptr, IDR_MAINFRAME, kKorean);
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {48, 48}, {256, 256}}));
  for (int size : {16, 24, 32, 48, 256}) {
    const QImage picture = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(picture.size(), QSize(size, size)) << size;
    EXPECT_GT(ShareStandingOut(picture, qRgb(255, 255, 255)), 0.6) << size << " on a light taskbar";
    EXPECT_GT(ShareStandingOut(picture, qRgb(0, 0, 0)), 0.6) << size << " on a dark taskbar";
    // The rounded square's corner is transparent, its edge the title green,
    // and the shield in its middle white.
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << size;
    EXPECT_EQ(picture.pixel(size / 2, size - 1), qRgba(0, 165, 81, 255)) << size;
    EXPECT_EQ(picture.pixel(size / 2, size / 4), qRgba(255, 255, 255, 255)) << size;
  }
}

TEST(IconResourceTest, AModuleWithoutTheIconGivesTheEmptyIcon) {
  testing_support::ScopedMachine machine;
  EXPECT_TRUE(bvlui::LoadIconResource(nullptr, 129, kKorean).isNull());
  const std::filesystem::path file = std::filesystem::path(BVL_BINARY_DIR) / "tests" / "other_module.res";
  win::HMODULE other =
      win::LoadLibraryExW(platform::ToWindowsPath(file).c_str(), nullptr, win::LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(bvlui::LoadIconResource(other, IDR_MAINFRAME, kKorean).isNull());
  platform::FreeResourceModule(other);
}

// A group directory and the images it names by id.
struct Group {
  std::string directory = std::string("\0\0\1\0\0\0", 6);  // reserved, type 1 (icon), no entries yet
  std::map<unsigned, std::string> images;

  // One more entry: a square image of `size` pixels with RT_ICON id `id`.
  void Add(int size, unsigned id) {
    // width, height, colours, reserved, planes, bits, byte count, image id
    const char entry[14] = {char(size % 256), char(size % 256), 0, 0, 1, 0, 32, 0,
                            0,                0,                0, 0, char(id & 0xFF), char(id >> 8)};
    directory.append(entry, sizeof entry);
    directory[4] = char(directory[4] + 1);
  }

  QIcon Icon() const {
    return bvlui::IconFromGroup(directory, [this](unsigned id) -> std::string_view {
      auto found = images.find(id);
      return found == images.end() ? std::string_view() : std::string_view(found->second);
    });
  }
};

std::string Png(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(qRgba(0, 165, 81, 255));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

TEST(IconResourceTest, ImagesThatAreMissingOrBrokenAreLeftOutAndTheRestKept) {
  Group group;
  group.Add(16, 1);
  group.Add(32, 2);
  group.Add(48, 3);
  group.images[1] = Png(16);
  group.images[2] = "\x89PNG\r\n\x1a\n broken";  // 3 is missing
  EXPECT_EQ(group.Icon().availableSizes(), QList<QSize>{QSize(16, 16)});
}

TEST(IconResourceTest, ADamagedDirectoryGivesTheEmptyIcon) {
  Group group;
  group.Add(16, 1);
  group.images[1] = Png(16);
  ASSERT_FALSE(group.Icon().isNull());

  Group cut = group;
  cut.directory.resize(cut.directory.size() - 1);
  EXPECT_TRUE(cut.Icon().isNull()) << "an entry cut short";
  Group overcounted = group;
  overcounted.directory[4] = 2;
  EXPECT_TRUE(overcounted.Icon().isNull()) << "a count beyond the entries";
  Group cursor = group;
  cursor.directory[2] = 2;
  EXPECT_TRUE(cursor.Icon().isNull()) << "a cursor directory";
  const auto none = [](unsigned) { return std::string_view(); };
  EXPECT_TRUE(bvlui::IconFromGroup(std::string_view("\0\0\1", 3), none).isNull()) << "a directory cut short";
  EXPECT_TRUE(bvlui::IconFromGroup({}, none).isNull());
}

}  // namespace
